// The import window driven as a user would, through the real start-up, against the real server and the
// back-office simulator.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include "app/startup.h"
#include "data/u_dmCon.h"
#include "import/u_fProc_Quorvela.h"
#include "import/u_fQuorvelaImportFactCI.h"
#include "platform/grid/datagrid.h"
#include "platform/grid/parts.h"
#include "platform/pg/pg.h"
#include "platform/ui/ui.h"
#include "simulator.h"
#include "testdb.h"

namespace {

class ImportWindow : public ::testing::Test {
protected:
    void SetUp() override {
        QV_REQUIRE_SERVERS();
        ASSERT_TRUE(config.isValid());
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        db = std::make_unique<qvtest::TempDb>(qvtest::tlsServer(), "qv_tpl_qem_demo");
        createApplicationObjects();
        dmCon->conQem->setServer(QString::fromStdString(db->server().host));
        dmCon->conQem->setPort(db->server().port);
        dmCon->conQem->setDatabase(QString::fromStdString(db->name()));
        dmCon->conQem->setSslMode(qv::pg::SslMode::Prefer);
        dmCon->glUser = QStringLiteral("contabil");
        qv::ui::setMessageSink([this](const QString&, const QString& text) { messages << text; });
        qv::ui::setFileOpener([this](const QString& path) {
            opened << path;
            return false;
        });
        w = fQuorvelaImportFactCI;
        w->show();
    }
    void TearDown() override {
        if (dmCon) destroyApplicationObjects();
        qv::ui::setMessageSink({});
        qv::ui::setFileOpener({});
    }

    void useBackOffice(const qvtest::Simulator& sim) {
        db->exec("update config_quorvela set base_url_quorvela = '" + sim.url() + "'");
    }
    void click(QPushButton* b) { QTest::mouseClick(b, Qt::LeftButton); }
    QStringList logLines() const { return w->Memo1->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts); }
    std::string q(const std::string& sql) const { return db->exec(sql); }
    qv::grid::GridView* view() const { return w->cxGrid1->view(); }
    QString current(const char* field) const { return w->dsLogQuorvela->fieldByName(QString::fromLatin1(field)).asString(); }
    // Focuses the list's record with this id (the first when it is listed twice).
    void focusId(const std::string& id) {
        for (int r = 0; r < w->dsLogQuorvela->recordCount(); ++r)
            if (w->dsLogQuorvela->rawValue(r, 0) == id) {
                view()->focusRecord(r);
                return;
            }
        FAIL() << "id " << id << " is not listed";
    }

    QTemporaryDir config;
    std::unique_ptr<qvtest::TempDb> db;
    TfQuorvelaImportFactCI* w = nullptr;
    QStringList messages;
    QStringList opened;
};

TEST_F(ImportWindow, ShowingTheWindowRunsNoQuery) {
    EXPECT_FALSE(w->dsLogQuorvela->isActive());
    EXPECT_FALSE(dmCon->conQem->isConnected());
    EXPECT_EQ(view()->filteredRecordCount(), 0);
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(ImportWindow, TheLogHasTheFocusFirstAndTabFollowsTheWindowsOrder) {
    QApplication::setActiveWindow(w);
    ASSERT_EQ(QApplication::focusWidget(), w->Memo1);
    QStringList visited;
    for (int i = 0; i < 6; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget* f = QApplication::focusWidget();
        visited << (w->cxGrid1->isAncestorOf(f) ? QStringLiteral("cxGrid1") : f->objectName());
    }
    EXPECT_EQ(visited, (QStringList{"cxGrid1", "ButtonFactPreluate", "Button2", "ButtonPreiaFactQuorvela",
                                    "ButtonMutaToateFacturile", "ButtonMutaFactCurenta"}));
    EXPECT_TRUE(w->Memo1->toPlainText().isEmpty());
}

TEST_F(ImportWindow, FetchLogsBothChannelsAndResumesFromTheHighestId) {
    qvtest::Simulator sim({"--b2b-count", "3", "--b2c-count", "2", "--page-size", "2"});
    useBackOffice(sim);
    click(w->ButtonPreiaFactQuorvela);
    const QStringList expected = {"Incepe preluarea facturilor B2B...", "Sfarsit preluare facturi B2B",
                                  "----------------------------------", "Incepe preluarea facturilor B2C...",
                                  "Sfarsit preluare facturi B2C"};
    EXPECT_EQ(logLines(), expected);
    EXPECT_EQ(q("select count(*) from log_quorvela"), "4");  // one page of two per channel
    EXPECT_TRUE(w->dsLogQuorvela->isActive());
    EXPECT_EQ(w->dsLogQuorvela->recordCount(), 4);

    click(w->ButtonPreiaFactQuorvela);   // the third B2B invoice; B2C has nothing after its highest id
    click(w->ButtonPreiaFactQuorvela);
    EXPECT_EQ(q("select count(*) from log_quorvela where api_end_point = 'B2B'"), "3");
    EXPECT_EQ(q("select count(*) from log_quorvela where api_end_point = 'B2C'"), "2");
    EXPECT_EQ(q("select count(*) - count(distinct (id_fact, api_end_point)) from log_quorvela"), "0");
    EXPECT_EQ(w->dsLogQuorvela->recordCount(), 5);
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
}

TEST_F(ImportWindow, AStartIdPast32BitsIsAskedForAsItself) {
    qvtest::Simulator sim({"--first-id", "2999999999", "--b2b-count", "3", "--b2c-count", "0"});
    useBackOffice(sim);
    q("insert into log_quorvela (id_fact, api_end_point, fact_c_json) values (3000000000, 'B2B', '{}')");
    click(w->ButtonPreiaFactQuorvela);
    // Only the invoice after 3000000000; a cut id would have asked for all three.
    EXPECT_EQ(q("select string_agg(id_fact::text, ',' order by id_fact) from log_quorvela"), "3000000000,3000000001");
}

TEST_F(ImportWindow, AFailingBackOfficeLogsEachChannelAndTheRunGoesOn) {
    db->exec("update config_quorvela set base_url_quorvela = 'http://127.0.0.1:1'");
    click(w->ButtonPreiaFactQuorvela);
    const QStringList lines = logLines();
    ASSERT_EQ(lines.size(), 5) << lines.join('\n').toStdString();
    EXPECT_EQ(lines[0], "Incepe preluarea facturilor B2B...");
    EXPECT_TRUE(lines[1].startsWith("Eroare preluare B2B = REST request failed: ")) << lines[1].toStdString();
    EXPECT_EQ(lines[2], "----------------------------------");
    EXPECT_EQ(lines[3], "Incepe preluarea facturilor B2C...");
    EXPECT_TRUE(lines[4].startsWith("Eroare preluare B2C = REST request failed: ")) << lines[4].toStdString();
    EXPECT_TRUE(w->dsLogQuorvela->isActive());
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(ImportWindow, FetchWithoutConfigurationStopsWithAMessage) {
    q("delete from config_quorvela");
    click(w->ButtonPreiaFactQuorvela);
    EXPECT_EQ(messages, QStringList{"Nu aveti configurata tabela config_quorvela."});
    EXPECT_TRUE(logLines().isEmpty());
}

TEST_F(ImportWindow, ButtonsThatNeedARecordRefuseAnEmptyList) {
    click(w->ButtonMutaFactCurenta);     // list not opened yet
    click(w->ButtonMutaToateFacturile);
    click(w->Button2);
    click(w->ButtonFactPreluate);        // opened, but empty
    click(w->ButtonMutaFactCurenta);
    click(w->Button2);
    EXPECT_EQ(messages, QStringList(5, "Nu aveti inregistrari."));
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_FALSE(QFile::exists(config.path() + "/.json"));
}

TEST_F(ImportWindow, TheListShowsLongIdsEmptyTextsNullsAndLongTextsAsStored) {
    const std::string longName(300, 'x');
    q("insert into log_quorvela (id_fact, api_end_point, err_la_import, fact_c_json) values "
      "(9223372036854775807, 'B2B', '', '{\"header\": {\"generalInformation\": {\"invoiceNumber\": \"\"}, "
      "\"buyerInformation\": {\"buyerName\": \"" + longName + "\"}}}'), "
      "(1, 'B2C', null, null)");
    click(w->ButtonFactPreluate);
    ASSERT_EQ(w->dsLogQuorvela->recordCount(), 2);
    qv::grid::GridView* v = view();
    auto cell = [&](int row, const char* column) { return v->displayText(row, v->columnIndex(column)); };
    EXPECT_EQ(cell(0, "id_fact"), "9223372036854775807");
    EXPECT_EQ(cell(0, "err_la_import"), "");
    EXPECT_EQ(cell(0, "nr_doc_json"), "");
    EXPECT_EQ(cell(0, "partener_json").toStdString(), longName);
    EXPECT_EQ(cell(1, "id_fact"), "1");
    EXPECT_EQ(cell(1, "partener_json"), "");
    EXPECT_TRUE(w->dsLogQuorvela->isNull(1, w->dsLogQuorvela->fieldIndex("partener_json")));
    EXPECT_FALSE(w->dsLogQuorvela->isNull(0, w->dsLogQuorvela->fieldIndex("nr_doc_json")));
    // The 64-bit id reaches the stored function whole.
    view()->focusRecord(0);
    click(w->ButtonMutaFactCurenta);
    EXPECT_EQ(logLines().last().toStdString().rfind("Eroare import idFact \"9223372036854775807\" - ", 0), 0u);
}

class WithInvoices : public ImportWindow {
protected:
    void SetUp() override {
        ImportWindow::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        sim = std::make_unique<qvtest::Simulator>(std::vector<std::string>{"--b2b-count", "3", "--b2c-count", "0"});
        useBackOffice(*sim);
        click(w->ButtonPreiaFactQuorvela);
        ASSERT_EQ(w->dsLogQuorvela->recordCount(), 3);
    }
    std::unique_ptr<qvtest::Simulator> sim;
};

TEST_F(WithInvoices, TheListShowsMatchingDocumentsOncePerDocument) {
    const std::string id = q("select min(id_fact) from log_quorvela");
    const std::string date = q("select fact_c_json::json->'header'->'generalInformation'->>'invoiceDate' from "
                               "log_quorvela where id_fact = " + id);
    const std::string nr = q("select fact_c_json::json->'header'->'generalInformation'->>'invoiceNumber' from "
                             "log_quorvela where id_fact = " + id);
    const std::string values = "'" + date + "', '" + nr + "'";
    q("insert into doc (tip_doc, data_doc, nr_doc, partener) values ('FactCI', " + values + ", 'Client Unu'), "
      "('FactCI', " + values + ", 'Client Doi'), ('AvizCI', " + values + ", 'Nu se vede')");
    click(w->ButtonFactPreluate);
    ASSERT_EQ(w->dsLogQuorvela->recordCount(), 4);
    QStringList partners;
    for (int r = 0; r < 4; ++r) {
        view()->focusRecord(r);
        if (current("id_fact").toStdString() != id) {
            EXPECT_TRUE(w->dsLogQuorvela->fieldByName("nr_doc_qem").isNull());
            EXPECT_TRUE(w->dsLogQuorvela->fieldByName("tip_doc_qem").isNull());
            continue;
        }
        EXPECT_EQ(current("tip_doc_qem"), "FactCI");
        EXPECT_EQ(current("nr_doc_qem").toStdString(), nr);
        EXPECT_EQ(current("data_doc_qem").toStdString(), date);
        EXPECT_EQ(current("nr_doc_json").toStdString(), nr);
        EXPECT_FALSE(current("partener_json").isEmpty());
        partners << current("partener_qem");
    }
    partners.sort();
    EXPECT_EQ(partners, (QStringList{"Client Doi", "Client Unu"}));
    // The grid shows the columns in its own order, headed by their field names.
    EXPECT_EQ(view()->columnCaption(0), "id_fact");
    EXPECT_EQ(view()->columnCaption(1), "data_preluare_json");
    EXPECT_EQ(view()->columnWidth(2), 257);
}

TEST_F(WithInvoices, RefreshKeepsTheFocusedInvoice) {
    const std::string id = q("select min(id_fact) from log_quorvela");
    focusId(id);
    q("insert into log_quorvela (id_fact, api_end_point, fact_c_json) values (999999999999, 'B2C', '{}')");
    click(w->ButtonFactPreluate);
    EXPECT_EQ(w->dsLogQuorvela->recordCount(), 4);
    EXPECT_EQ(current("id_fact").toStdString(), id);
    EXPECT_EQ(view()->focusedRecord(), w->dsLogQuorvela->recNo());
}

TEST_F(WithInvoices, TheJsonViewWritesTheStoredTextWithBomAndCrLf) {
    const std::string id = q("select max(id_fact) from log_quorvela");
    focusId(id);
    click(w->Button2);
    click(w->Button2);   // the same file again, replaced
    const QString path = config.path() + "/" + QString::fromStdString(id) + ".json";
    EXPECT_EQ(opened, QStringList({path, path}));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray expected =
        QByteArray("\xEF\xBB\xBF") + QByteArray::fromStdString(q("select fact_c_json from log_quorvela where id_fact = " + id)) +
        QByteArray("\r\n");
    EXPECT_EQ(f.readAll(), expected);
    EXPECT_FALSE(w->dsLogQuorvelaUnu->isActive());

    q("insert into log_quorvela (id_fact, api_end_point, fact_c_json) values (5, 'B2C', null)");
    click(w->ButtonFactPreluate);
    focusId("5");
    click(w->Button2);
    QFile empty(config.path() + "/5.json");
    ASSERT_TRUE(empty.open(QIODevice::ReadOnly));
    EXPECT_EQ(empty.readAll(), QByteArray("\xEF\xBB\xBF\r\n"));
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(WithInvoices, AnUnwritableJsonFileIsReported) {
    const std::string id = q("select max(id_fact) from log_quorvela");
    focusId(id);
    QDir(config.path()).mkdir(QString::fromStdString(id) + ".json");   // a folder where the file should go
    click(w->Button2);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith("Nu pot scrie fisierul")) << messages[0].toStdString();
}

TEST_F(WithInvoices, ABadInvoiceDateFailsTheRefreshButKeepsTheRows) {
    q("insert into log_quorvela (id_fact, api_end_point, fact_c_json) values (7, 'B2C', "
      "'{\"header\": {\"generalInformation\": {\"invoiceDate\": \"2025-13-45\"}}}')");
    click(w->ButtonFactPreluate);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains("date/time field value out of range")) << messages[0].toStdString();
    EXPECT_TRUE(w->dsLogQuorvela->isActive());
    EXPECT_EQ(w->dsLogQuorvela->recordCount(), 3);
    q("delete from log_quorvela where id_fact = 7");
    click(w->ButtonFactPreluate);
    EXPECT_EQ(messages.size(), 1);
}

TEST_F(WithInvoices, MoveCurrentRecordsARefusalAndClearsItOnSuccess) {
    const std::string id = q("select max(id_fact) from log_quorvela");
    focusId(id);
    dmCon->glUser = QStringLiteral("nimeni");
    click(w->ButtonMutaFactCurenta);
    const std::string refusal = q("select err_la_import from log_quorvela where id_fact = " + id);
    EXPECT_EQ(refusal, "Utilizatorul \"nimeni\" nu exista in QEM");
    EXPECT_EQ(logLines().last().toStdString(), "Eroare import idFact \"" + id + "\" - " + refusal);
    EXPECT_EQ(current("err_la_import").toStdString(), refusal);
    EXPECT_EQ(current("id_fact").toStdString(), id);

    dmCon->glUser = QStringLiteral("contabil");
    click(w->ButtonMutaFactCurenta);
    EXPECT_EQ(logLines().last().toStdString(), "S-a importat factura cu idFact \"" + id + "\"");
    EXPECT_EQ(q("select coalesce(err_la_import, '<null>') from log_quorvela where id_fact = " + id), "");
    EXPECT_EQ(q("select count(*) from doc where id_fact = " + id), "1");
    EXPECT_EQ(current("id_fact").toStdString(), id);
    EXPECT_FALSE(w->dsLogQuorvela->fieldByName("nr_doc_qem").isNull());

    click(w->ButtonMutaFactCurenta);
    EXPECT_EQ(messages, QStringList{"Factura exista in QEM."});
    EXPECT_EQ(q("select count(*) from doc"), "1");

    // A first-time success leaves a null error alone.
    const std::string other = q("select min(id_fact) from log_quorvela");
    focusId(other);
    click(w->ButtonMutaFactCurenta);
    EXPECT_EQ(q("select coalesce(err_la_import, '<null>') from log_quorvela where id_fact = " + other), "<null>");
}

TEST_F(WithInvoices, MoveAllSkipsMovedInvoicesAndKeepsTheButtonsAwayMeanwhile) {
    // The middle invoice is already in QEM.
    const std::string middle = q("select id_fact from log_quorvela order by id_fact offset 1 limit 1");
    focusId(middle);
    click(w->ButtonMutaFactCurenta);
    const int before = int(logLines().size());

    QList<bool> enabledDuringLoop;
    QObject::connect(w->Memo1, &QPlainTextEdit::textChanged, [&] {
        if (w->isMovingAll())
            enabledDuringLoop << (w->ButtonPreiaFactQuorvela->isEnabled() || w->ButtonMutaFactCurenta->isEnabled() ||
                                  w->ButtonMutaToateFacturile->isEnabled());
    });
    click(w->ButtonMutaToateFacturile);
    const QStringList lines = logLines().mid(before);
    const std::string ids = q("select string_agg(id_fact::text, ',' order by id_fact desc) from log_quorvela where "
                              "id_fact <> " + middle);
    const QStringList moved = QString::fromStdString(ids).split(',');
    ASSERT_EQ(lines.size(), 2) << lines.join('\n').toStdString();
    EXPECT_EQ(lines[0], "S-a importat factura cu idFact \"" + moved[0] + "\"");
    EXPECT_EQ(lines[1], "S-a importat factura cu idFact \"" + moved[1] + "\"");
    EXPECT_EQ(q("select count(*) from doc"), "3");
    EXPECT_EQ(q("select count(distinct id_fact) from doc"), "3");
    EXPECT_FALSE(enabledDuringLoop.isEmpty());
    EXPECT_FALSE(enabledDuringLoop.contains(true));
    EXPECT_TRUE(w->ButtonPreiaFactQuorvela->isEnabled());
    EXPECT_TRUE(w->ButtonMutaToateFacturile->isEnabled());
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
    for (int r = 0; r < w->dsLogQuorvela->recordCount(); ++r)
        EXPECT_FALSE(w->dsLogQuorvela->isNull(r, w->dsLogQuorvela->fieldIndex("nr_doc_qem")));
}

TEST_F(WithInvoices, AListReadWholeDuringMoveAllShiftsNoInvoice) {
    // Mid-loop the user reads the list again, and a newer invoice has arrived meanwhile: every row moves
    // down one place. The loop must go on with the invoices it started with, each once.
    const std::string snapshot = q("select string_agg(id_fact::text, ',' order by id_fact desc) from log_quorvela");
    bool reread = false;
    QObject::connect(w->Memo1, &QPlainTextEdit::textChanged, [&] {
        if (!w->isMovingAll() || reread) return;
        reread = true;
        q("insert into log_quorvela (id_fact, api_end_point, fact_c_json) values (999999999, 'B2C', '{}')");
        click(w->ButtonFactPreluate);
    });
    click(w->ButtonMutaToateFacturile);
    ASSERT_TRUE(reread);
    EXPECT_EQ(q("select string_agg(id_fact::text, ',' order by id_fact desc) from doc"), snapshot);
    EXPECT_EQ(logLines().filter("S-a importat").size(), 3);
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
}

TEST_F(WithInvoices, MoveAllMovesOnlyTheFilteredInvoices) {
    const std::string id = q("select min(id_fact) from log_quorvela");
    const std::string nr = q("select fact_c_json::json->'header'->'generalInformation'->>'invoiceNumber' from "
                             "log_quorvela where id_fact = " + id);
    view()->setFilterText(view()->columnIndex("nr_doc_json"), QString::fromStdString(nr).toLower());
    ASSERT_EQ(view()->filteredRecordCount(), 1);
    click(w->ButtonMutaToateFacturile);
    EXPECT_EQ(q("select string_agg(id_fact::text, ',') from doc"), id);
}

TEST_F(WithInvoices, MoveAllStopsAfterTheCurrentInvoiceWhenAsked) {
    QObject::connect(w->Memo1, &QPlainTextEdit::textChanged, [&] {
        if (w->isMovingAll() && w->ButtonOpresteMutarea->isVisible()) click(w->ButtonOpresteMutarea);
    });
    click(w->ButtonMutaToateFacturile);
    EXPECT_EQ(q("select count(*) from doc"), "1");
    EXPECT_EQ(logLines().last(), "Mutarea a fost oprita de utilizator.");
    EXPECT_FALSE(w->ProgressMutaToate->isVisible());
}

TEST_F(ImportWindow, MoveAllRecordsRefusalsAndGoesOn) {
    qvtest::Simulator sim({"--b2b-count", "4", "--b2c-count", "0", "--refuse-every", "2"});
    useBackOffice(sim);
    click(w->ButtonPreiaFactQuorvela);
    click(w->ButtonMutaToateFacturile);
    EXPECT_EQ(q("select count(*) from doc"), "2");
    EXPECT_EQ(q("select count(*) from log_quorvela where err_la_import <> ''"), "2");
    EXPECT_EQ(q("select count(*) from log_quorvela l where err_la_import <> '' and exists "
                "(select 1 from doc d where d.id_fact = l.id_fact)"),
              "0");
    EXPECT_EQ(logLines().filter("Eroare import idFact").size(), 2);
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(ImportWindow, MoveAllFollowsTheGroupedOrderAndSkipsGroupRows) {
    qvtest::Simulator sim({"--b2b-count", "2", "--b2c-count", "2"});
    useBackOffice(sim);
    click(w->ButtonPreiaFactQuorvela);
    // The list puts B2C first (higher ids); grouped by channel, B2B comes first.
    view()->groupByColumn(view()->columnIndex("api_end_point"));
    QStringList shown;
    for (int row : view()->records()) shown << QString::fromUtf8(w->dsLogQuorvela->rawValue(row, 0).data());
    ASSERT_EQ(shown.size(), 4);
    ASSERT_LT(shown.first().toLongLong(), shown.last().toLongLong());   // B2B's group first
    const int before = int(logLines().size());
    click(w->ButtonMutaToateFacturile);
    QStringList moved;
    for (const QString& line : logLines().mid(before)) moved << line.section('"', 1, 1);
    EXPECT_EQ(moved, shown);
    EXPECT_EQ(q("select count(*) from doc"), "4");
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
}

TEST_F(ImportWindow, TheDatabaseGoingAwayEndsMoveAllWithoutLosingOrDoublingAnything) {
    qvtest::Simulator sim({"--b2b-count", "5", "--b2c-count", "0"});
    useBackOffice(sim);
    click(w->ButtonPreiaFactQuorvela);
    int imported = 0;
    bool cut = false;
    QObject::connect(w->Memo1, &QPlainTextEdit::textChanged, [&] {
        if (!w->isMovingAll() || cut || !w->Memo1->toPlainText().endsWith('"')) return;
        if (++imported < 2) return;
        cut = true;
        qvtest::adminExec(db->server(), "postgres",
                          "alter database " + db->name() + " allow_connections false; "
                          "select pg_terminate_backend(pid) from pg_stat_activity where datname = '" + db->name() + "'");
    });
    click(w->ButtonMutaToateFacturile);
    ASSERT_TRUE(cut);
    EXPECT_EQ(messages.size(), 1) << messages.join('\n').toStdString();
    EXPECT_TRUE(w->ButtonMutaToateFacturile->isEnabled());

    qvtest::adminExec(db->server(), "postgres", "alter database " + db->name() + " allow_connections true");
    messages.clear();
    click(w->ButtonMutaToateFacturile);
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
    EXPECT_EQ(q("select count(*) from doc"), "5");
    EXPECT_EQ(q("select count(distinct id_fact) from doc"), "5");
}

}  // namespace
