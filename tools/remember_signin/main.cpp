// Fills the remembered sign-in with a company and a user, the way the sign-in dialog itself saves them
// (scripts/demo uses it so that the demo opens with the demo company and user filled in).
//   remember_signin <company> <user>
#include <QApplication>

#include <cstdio>

#include "app/startup.h"
#include "signin/memtable.h"
#include "signin/u_frmLogin.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: remember_signin <company> <user>\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    createApplicationObjects();
    int rc = 0;
    try {
        frmLogin->dsLogin->open();
        frmLogin->dsLogin->setValue(QStringLiteral("company"), QString::fromLocal8Bit(argv[1]));
        frmLogin->dsLogin->setValue(QStringLiteral("username"), QString::fromLocal8Bit(argv[2]));
        frmLogin->dsLogin->saveToFile(TfrmLogin::loginFilePath());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        rc = 1;
    }
    destroyApplicationObjects();
    return rc;
}
