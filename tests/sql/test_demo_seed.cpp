// The demo seed: a company in the directory and an accountant who can sign in to its QEM database with the
// demo password, through the same queries the sign-in runs.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QCryptographicHash>
#include <string>

#include "qem_client.h"
#include "testdb.h"

namespace {

using qvsql::Client;
using qvsql::Row;

std::string sha256Hex(const char* password) {
    return QCryptographicHash::hash(QByteArray(password), QCryptographicHash::Sha256).toHex().toStdString();
}

TEST(DemoSeed, TheDemoAccountantSignsIn) {
    QV_REQUIRE_SERVERS();
    qvtest::SignInWorld world;
    Client directory(world.directory.conninfo("require"));
    Client qem(world.qem.conninfo("require"));

    auto company = directory.rows("select * from m_firma where nume_firma = $1", {"Demo Turism SRL"});
    ASSERT_EQ(company.size(), 1u);
    auto firm = directory.rows("select db_name, activ, m_site, pw_hash_type from m_firma");
    EXPECT_EQ(firm.at(0), (Row{world.qem.name(), "t", "f", "HashSHA2"}));

    const char* user = "select * from emitent where emitent = $1 and operator_parola = $2";
    EXPECT_EQ(qem.rows(user, {"contabil", sha256Hex("Quorvela-2025")}).size(), 1u);
    EXPECT_EQ(qem.rows(user, {"contabil", sha256Hex("quorvela-2025")}).size(), 0u);
    EXPECT_EQ(qem.rows(user, {"contabil", "Quorvela-2025"}).size(), 0u);
    EXPECT_EQ(qem.value("select eu_punct_lucru from emitent where emitent = 'contabil'"), "Sediu");

    EXPECT_EQ(qem.rows("select * from aplicatie_mob where lower(aplicatie_mob) = lower($1) and activ", {"wQuorvela"}).size(),
              1u);
    EXPECT_EQ(qem.value("select rol from aplicatie_mob_emitent where emitent = $1 and lower(aplicatie_mob) = lower($2)",
                        {"contabil", "wquorvela"}),
              "admin");
    auto eu = qem.rows("select jas_ip from eu");
    ASSERT_EQ(eu.size(), 1u);
    EXPECT_EQ(eu[0][0], "192.168.10.5:8080");
}

TEST(DemoSeed, TakesItsAddressesFromTheVariables) {
    // The templates are seeded with the test cluster's own port and database, and a back office that
    // answers nowhere; nothing of it is written into the seed itself.
    QV_REQUIRE_SERVERS();
    const qvtest::PgServer server = qvtest::plainServer();
    qvtest::TempDb directoryDb(server, "qv_tpl_directory_demo");
    qvtest::TempDb qemDb(server, "qv_tpl_qem_demo");
    Client directory(directoryDb.conninfo("disable"));
    Client qem(qemDb.conninfo("disable"));

    auto firm = directory.rows("select ip, port, db_name from m_firma");
    ASSERT_EQ(firm.size(), 1u);
    EXPECT_EQ(firm[0], (Row{"127.0.0.1", std::to_string(server.port), "qv_tpl_qem_demo"}));

    auto config = qem.rows("select user_quorvela, pass_quorvela, base_url_quorvela from config_quorvela");
    ASSERT_EQ(config.size(), 1u);
    EXPECT_EQ(config[0], (Row{"quorvela", "quorvela-demo", "http://127.0.0.1:9"}));
}

}  // namespace
