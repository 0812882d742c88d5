// The data module: the two database connections, the sign-in datasets, the sign-in fields that the rest of
// the program reads, and the grid style sheet of the import window.
#pragma once

#include <QObject>
#include <QString>

#include "platform/grid/stylesheet.h"
#include "platform/pg/pg.h"

class TdmCon : public QObject {
    Q_OBJECT
public:
    explicit TdmCon(QObject* parent = nullptr);

    // The directory database and the company's QEM database.
    qv::pg::Connection* conQemMob;
    qv::pg::Connection* conQem;

    // Sign-in datasets, all on conQem.
    qv::pg::Query* dsEmitent;
    qv::pg::Query* dsAplicatieMob;
    qv::pg::Query* dsAplicatieMobEmitent;
    qv::pg::Query* dsEu;

    // Sign-in fields: empty until a sign-in writes them.
    QString glNumeFirma;
    QString glUser;
    QString glUserPass;
    QString glDataBase;
    QString glUserRol;
    QString glEuPL;
    QString glJasIP;
    QString glJasProtocol;

    // The colours and fonts of the import window's grid.
    qv::grid::StyleSheet GridTableViewStyleSheetDevExpress;
};

extern TdmCon* dmCon;
