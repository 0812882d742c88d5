// The whole program on a demo company of its own: a directory and a QEM database copied from the demo
// templates, the back-office simulator, and the program's windows made by the real start-up, with its
// directory connection pointed at the test server. Shared by the end-to-end test and the screenshot driver.
#pragma once

#include <QString>
#include <QStringList>

#include <memory>
#include <string>
#include <vector>

#include "simulator.h"
#include "testdb.h"

namespace qvtest {

class Road {
public:
    explicit Road(const std::vector<std::string>& simulatorOptions);
    ~Road();

    // Presses "Login" in the main window and, in the dialog it opens, types the demo company, user and
    // password and presses its "Login". Returns what the dialog ended with.
    int signIn(const QString& password = QStringLiteral("Quorvela-2025"));
    // The messages the error handler showed.
    QStringList messages;

    SignInWorld world;
    Simulator simulator;
};

}  // namespace qvtest
