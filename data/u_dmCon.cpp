#include "data/u_dmCon.h"

#include "data/declared_fields.h"

#ifndef QV_DEFAULT_DIRECTORY_HOST
#define QV_DEFAULT_DIRECTORY_HOST "localhost"
#endif

TdmCon* dmCon = nullptr;

using namespace qv::pg;

namespace {
Query* makeQuery(const char* name, Connection* con, QObject* parent, const QStringList& sql, const char* fields) {
    auto* q = new Query(QString::fromLatin1(name), con, parent);
    q->setSql(sql);
    declareFields(*q, fields);
    return q;
}
}  // namespace

TdmCon::TdmCon(QObject* parent) : QObject(parent) {
    setObjectName(QStringLiteral("dmCon"));

    // The directory server is a deployment setting: libpq's PGHOST / PGPORT / service file when given,
    // else the host this build was made for. The password of "qem" never lives here: libpq takes it from
    // PGPASSWORD or ~/.pgpass.
    conQemMob = new Connection(QStringLiteral("conQemMob"), this);
    if (qEnvironmentVariableIsEmpty("PGHOST") && qEnvironmentVariableIsEmpty("PGSERVICE"))
        conQemMob->setServer(QStringLiteral(QV_DEFAULT_DIRECTORY_HOST));
    conQemMob->setDatabase(QStringLiteral("qem_mob"));
    conQemMob->setUsername(QStringLiteral("qem"));
    conQemMob->setSslMode(SslMode::Require);
    conQemMob->setConnectTimeout(15);

    // Re-pointed at the company's server by each sign-in.
    conQem = new Connection(QStringLiteral("conQem"), this);
    conQem->setServer(QStringLiteral("192.168.1.100"));
    conQem->setDatabase(QStringLiteral("qem1"));
    conQem->setUsername(QStringLiteral("qem"));
    conQem->setSslMode(SslMode::Require);
    conQem->setConnectTimeout(15);
    conQem->setDisconnectedMode(true);

    dsEmitent = makeQuery("dsEmitent", conQem, this,
                          {"select *", "from emitent", "where emitent = :pEmitent", "  and operator_parola = :pP", ";"},
                          qv::data::kEmitentFields);
    dsAplicatieMob = makeQuery("dsAplicatieMob", conQem, this,
                               {"select *", "from aplicatie_mob", "where lower(aplicatie_mob) = lower(:pAplicatieMob)",
                                "  and activ", ";"},
                               qv::data::kAplicatieMobFields);
    dsAplicatieMobEmitent =
        makeQuery("dsAplicatieMobEmitent", conQem, this,
                  {"select *", "from aplicatie_mob_emitent", "where emitent = :pEmitent",
                   "  and lower(aplicatie_mob) = lower(:pAplicatieMob)", ";"},
                  qv::data::kAplicatieMobEmitentFields);
    dsEu = makeQuery("dsEu", conQem, this, {"select *", "from eu", ";"}, qv::data::kEuFields);

    GridTableViewStyleSheetDevExpress = qv::grid::devExpressStyleSheet();
}
