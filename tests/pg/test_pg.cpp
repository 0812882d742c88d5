#include "platform/pg/pg.h"
#include "testdb.h"

#include <gtest/gtest.h>

#include <libpq-fe.h>

using namespace qv::pg;

namespace {

struct SqlCase {
    const char* in;
    const char* out;
    std::vector<QString> names;
};

class ParseNamedParams : public ::testing::TestWithParam<SqlCase> {};

TEST_P(ParseNamedParams, RewritesOnlyRealPlaceholders) {
    ParsedSql p = parseNamedParams(GetParam().in);
    EXPECT_EQ(p.sql, GetParam().out);
    EXPECT_EQ(p.paramNames, GetParam().names);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseNamedParams,
    ::testing::Values(
        SqlCase{"select * from t where a = :pA and b = :pB", "select * from t where a = $1 and b = $2", {"pA", "pB"}},
        SqlCase{"where x = :p or y = :p", "where x = $1 or y = $1", {"p"}},
        SqlCase{"select a::date, ':notme', \":nor\" from t -- :comment\nwhere z = :z",
                "select a::date, ':notme', \":nor\" from t -- :comment\nwhere z = $1", {"z"}},
        SqlCase{"select 'it''s :x' /* :y /* nested :w */ */, E'\\' :v', :real",
                "select 'it''s :x' /* :y /* nested :w */ */, E'\\' :v', $1", {"real"}},
        SqlCase{"select $tag$ :inside $tag$, $1x, :id_fact", "select $tag$ :inside $tag$, $1x, $1", {"id_fact"}},
        SqlCase{"SELECT * FROM f(:pemitent, :pidfact)", "SELECT * FROM f($1, $2)", {"pemitent", "pidfact"}}));

class PgTest : public ::testing::Test {
protected:
    void SetUp() override {
        QV_REQUIRE_SERVERS();
        db = std::make_unique<qvtest::TempDb>(qvtest::tlsServer(), "qv_tpl_qem");
        con = std::make_unique<Connection>("conTest");
        point(*con, *db);
    }
    static void point(Connection& c, const qvtest::TempDb& d) {
        c.setServer(QString::fromStdString(d.server().host));
        c.setPort(d.server().port);
        c.setDatabase(QString::fromStdString(d.name()));
        c.setUsername("qem");
    }
    std::unique_ptr<qvtest::TempDb> db;
    std::unique_ptr<Connection> con;
};

TEST_F(PgTest, RequireGetsTlsFromTheTlsServer) {
    con->open();
    EXPECT_TRUE(con->usesSsl());
}

TEST_F(PgTest, SslModesAgainstAServerWithoutTls) {
    qvtest::TempDb plain(qvtest::plainServer(), "qv_tpl_qem");
    Connection c("conPlain");
    point(c, plain);
    c.setSslMode(SslMode::Require);
    try {
        c.open();
        FAIL() << "require connected to a server without TLS";
    } catch (const qv::AppError& e) {
        EXPECT_STREQ(e.what(), "SSL connection is not allowed");
    }
    c.setSslMode(SslMode::Prefer);
    c.open();
    EXPECT_TRUE(c.isConnected());
    EXPECT_FALSE(c.usesSsl());
}

TEST_F(PgTest, ConnectionFailuresCarryLibpqText) {
    struct Case { const char* what; std::function<void(Connection&)> set; const char* expect; };
    std::vector<Case> cases = {
        {"wrong password", [](Connection& c) { c.setPassword("not-the-password"); }, "password authentication failed"},
        {"closed port", [](Connection& c) { c.setPort(1); }, "Connection refused"},
        {"unknown database", [](Connection& c) { c.setDatabase("no_such_db"); }, "does not exist"},
    };
    for (const Case& k : cases) {
        Connection c("conBad");
        point(c, *db);
        k.set(c);
        try {
            c.open();
            ADD_FAILURE() << k.what << ": connected";
        } catch (const qv::AppError& e) {
            EXPECT_NE(std::string(e.what()).find(k.expect), std::string::npos) << k.what << ": " << e.what();
        }
    }
}

TEST_F(PgTest, SettingTheSameTargetKeepsTheConnectionAndANewOneClosesIt) {
    con->open();
    con->setServer(QString::fromStdString(db->server().host));
    con->setPort(db->server().port);
    con->setSslMode(SslMode::Require);
    EXPECT_TRUE(con->isConnected());
    EXPECT_THROW(con->setSslMode(SslMode::Prefer), qv::AppError);
    con->setDatabase("postgres");
    EXPECT_FALSE(con->isConnected());
    con->setSslMode(SslMode::Prefer);
    EXPECT_EQ(con->sslMode(), SslMode::Prefer);
}

TEST_F(PgTest, DisconnectedModeConnectsPerOperationAndHoldSpansSeveral) {
    db->exec("create table t(id int primary key, name text); insert into t values (1, 'a'), (2, 'b')");
    con->setDisconnectedMode(true);
    Query q("dsT", con.get());
    q.setSql({"select id, name", "from t", "order by id", ";"});
    q.declareField("id", FieldType::Integer);
    q.declareField("name", FieldType::Memo);
    q.open();
    EXPECT_FALSE(con->isConnected());
    EXPECT_EQ(q.recordCount(), 2);
    EXPECT_EQ(q.fieldByName("name").asString(), "a");
    {
        Connection::Hold hold(*con);
        q.refresh();
        EXPECT_TRUE(con->isConnected());
        q.refresh();
        EXPECT_TRUE(con->isConnected());
    }
    EXPECT_FALSE(con->isConnected());
}

TEST_F(PgTest, ParametersTravelAsData) {
    db->exec("create table t(name varchar(100) not null)");
    const QStringList nasty = {"O'Brien", "a\\b", "x; drop table t; --", "%_", "ăîșțâ 😀", ":pName", "' or '1'='1"};
    for (const QString& v : nasty) {
        StoredProc ins("insT", con.get());
        ins.setSql("insert into t values (:pName)");
        ins.paramByName("pName").setAsString(v);
        ins.execute();
    }
    Query q("dsT", con.get());
    q.setSql({"select name from t where name = :pName", ";"});
    q.declareField("name", FieldType::String, 100);
    for (const QString& v : nasty) {
        q.close();
        q.paramByName("pName").setAsString(v);
        q.open();
        ASSERT_EQ(q.recordCount(), 1) << v.toStdString();
        EXPECT_EQ(q.fieldByName("name").asString(), v);
    }
}

TEST_F(PgTest, DeclaredFieldsAreCheckedOnOpen) {
    db->exec("create table t(id bigint, code varchar(3), note text, n int)");
    struct Case { FieldType type; const char* column; const char* expect; };
    std::vector<Case> cases = {
        {FieldType::LargeInt, "missing", "dsT: Field 'missing' not found"},
        {FieldType::Integer, "id", "dsT: Type mismatch for field 'id', expecting: Integer actual: LargeInt"},
        {FieldType::Memo, "code", "dsT: Type mismatch for field 'code', expecting: WideMemo actual: WideString"},
        {FieldType::String, "note", "dsT: Type mismatch for field 'note', expecting: WideString actual: WideMemo"},
        {FieldType::LargeInt, "n", "dsT: Type mismatch for field 'n', expecting: LargeInt actual: Integer"},
    };
    for (const Case& k : cases) {
        Query q("dsT", con.get());
        q.setSql({"select * from t"});
        q.declareField(k.column, k.type, 3);
        try {
            q.open();
            ADD_FAILURE() << k.column << " opened";
        } catch (const qv::AppError& e) {
            EXPECT_STREQ(e.what(), k.expect);
        }
        EXPECT_FALSE(q.isActive());
    }
}

class ListTest : public PgTest {
protected:
    void SetUp() override {
        PgTest::SetUp();
        if (IsSkipped()) return;
        db->exec("create table h(id bigint not null, ch varchar(3) not null, err text, n int);"
                 "create unique index h_key on h(id, ch);"
                 "insert into h values (3, 'B2B', null, 1), (2, 'B2B', 'old', 2), (2, 'B2C', null, 3), (1, 'B2C', null, 4)");
        q = std::make_unique<Query>("dsH", con.get());
        q->setSql({"select id, ch, err, n", "from h", "order by id desc, ch", ";"});
        q->declareField("id", FieldType::LargeInt);
        q->declareField("ch", FieldType::String, 3);
        q->declareField("err", FieldType::Memo);
        q->declareField("n", FieldType::Integer);
        q->setKeyField("id");
        q->open();
    }
    std::unique_ptr<Query> q;
};

TEST_F(ListTest, RefreshKeepsTheRecordByKeyOrGoesToTheFirst) {
    q->setRecNo(2);  // (2, B2C): refresh lands on the first record with id 2
    db->exec("insert into h values (9, 'B2B', null, 0)");
    q->refresh();
    EXPECT_EQ(q->recordCount(), 5);
    EXPECT_EQ(q->fieldByName("id").asInt64(), 2);
    EXPECT_EQ(q->fieldByName("ch").asString(), "B2B");
    db->exec("delete from h where id = 2");
    q->refresh();
    EXPECT_EQ(q->recNo(), 0);
    EXPECT_EQ(q->fieldByName("id").asInt64(), 9);
}

TEST_F(ListTest, AFailedRefreshKeepsTheRows) {
    q->setRecNo(1);
    db->exec("alter table h rename column n to m");
    EXPECT_THROW(q->refresh(), qv::AppError);
    EXPECT_TRUE(q->isActive());
    EXPECT_EQ(q->recordCount(), 4);
    EXPECT_EQ(q->fieldByName("err").asString(), "old");
}

TEST_F(ListTest, PostUpdatesOneRowByTheUniqueIndex) {
    q->setRecNo(1);  // (2, B2B) - shares its id with (2, B2C)
    q->edit();
    q->setFieldValue("err", "");
    q->post();
    EXPECT_EQ(db->exec("select coalesce(err, '<null>') from h where id = 2 and ch = 'B2B'"), "");
    EXPECT_EQ(db->exec("select coalesce(err, '<null>') from h where id = 2 and ch = 'B2C'"), "<null>");
    EXPECT_FALSE(q->isNull(1, q->fieldIndex("err")));
    EXPECT_EQ(q->fieldByName("err").asString(), "");
}

TEST_F(ListTest, PostWithoutAUniqueIndexMatchesOldValuesAndCountsRows) {
    db->exec("drop index h_key; insert into h values (3, 'B2B', null, 1)");
    q->refresh();
    q->setRecNo(0);  // (3, B2B, null, 1) now twice: the old values match two rows
    q->edit();
    q->setFieldValue("err", "x");
    try {
        q->post();
        FAIL() << "posted into two rows";
    } catch (const qv::AppError& e) {
        EXPECT_STREQ(e.what(), "Update failed. Found 2 records");
    }
    EXPECT_EQ(q->state(), Query::State::Edit);
    q->cancel();
    q->setRecNo(2);  // (2, B2B, 'old', 2): unique by old values, err compared as text
    q->edit();
    q->setFieldNull("err");
    q->post();
    EXPECT_EQ(db->exec("select count(*) from h where err is null"), "5");
    db->exec("update h set n = 7 where id = 1");
    q->setRecNo(4);  // (1, B2C): changed beneath us
    q->edit();
    q->setFieldValue("err", "y");
    EXPECT_THROW(q->post(), qv::AppError);
}

TEST_F(ListTest, MasterDetailFollowsTheMaster) {
    Query d("dsHUnu", con.get());
    d.setSql({"select id, ch, err from h", "where id = :id", "  and ch = :ch", ";"});
    d.declareParam("id", ParamType::LargeInt);
    d.declareField("id", FieldType::LargeInt);
    d.declareField("ch", FieldType::String, 3);
    d.declareField("err", FieldType::Memo);
    d.setMaster(q.get(), {"id", "ch"});
    q->setRecNo(1);
    d.open();
    ASSERT_EQ(d.recordCount(), 1);
    EXPECT_EQ(d.fieldByName("err").asString(), "old");
    q->setRecNo(2);
    ASSERT_EQ(d.recordCount(), 1);
    EXPECT_EQ(d.fieldByName("ch").asString(), "B2C");
}

TEST_F(ListTest, RefreshCurrentKeyRereadsInPlaceOrFallsBack) {
    q->setRecNo(2);  // id 2 has two records
    db->exec("update h set err = 'new' where id = 2");
    int changedFirst = -1, changedLast = -1, reopened = 0;
    QObject::connect(q.get(), &Query::rowsChanged, [&](int a, int b) { changedFirst = a; changedLast = b; });
    QObject::connect(q.get(), &Query::opened, [&] { ++reopened; });
    EXPECT_TRUE(q->refreshCurrentKey());
    EXPECT_EQ(changedFirst, 1);
    EXPECT_EQ(changedLast, 2);
    EXPECT_EQ(reopened, 0);
    EXPECT_EQ(std::string(q->rawValue(1, 2)), "new");
    EXPECT_EQ(std::string(q->rawValue(2, 2)), "new");
    db->exec("insert into h values (2, 'XYZ', null, 5)");
    EXPECT_FALSE(q->refreshCurrentKey());
    EXPECT_EQ(reopened, 1);
    EXPECT_EQ(q->recordCount(), 5);
    EXPECT_EQ(q->fieldByName("id").asInt64(), 2);
}

TEST_F(PgTest, StoredProcErrorsCarryOnlyThePrimaryMessage) {
    db->exec("create function boom(p text) returns void language plpgsql as $$ begin "
             "raise exception 'Factura % nu exista', p using detail = 'detail', hint = 'hint'; end $$");
    StoredProc o("o_boom", con.get());
    o.setSql("SELECT * FROM boom(:p)");
    o.paramByName("p").setAsString("X-1");
    try {
        o.execute();
        FAIL();
    } catch (const qv::AppError& e) {
        EXPECT_STREQ(e.what(), "Factura X-1 nu exista");
    }
}

TEST_F(PgTest, ADeadServerConnectionIsReplacedOnTheNextOperation) {
    con->open();
    int pid = PQbackendPID(con->raw());
    db->exec("select pg_terminate_backend(" + std::to_string(pid) + ")");
    Query q("dsOne", con.get());
    q.setSql({"select 1::int as one"});
    q.declareField("one", FieldType::Integer);
    EXPECT_THROW(q.open(), qv::AppError);
    q.open();
    EXPECT_EQ(q.fieldByName("one").asInteger(), 1);
}

}  // namespace
