// The road of one invoice through the whole program: sign in to the demo company, open the import window,
// fetch both channels from the back office, move one invoice, move the rest, fetch again, and look at what
// the database holds at the end.
#include <QDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include "app/u_fMenuQuorvela.h"
#include "data/u_dmCon.h"
#include "import/u_fQuorvelaImportFactCI.h"
#include "platform/grid/datagrid.h"
#include "platform/grid/parts.h"
#include "platform/pg/pg.h"
#include "platform/ui/ui.h"
#include "road.h"

namespace {

TEST(Road, OneInvoiceFromTheBackOfficeIntoQem) {
    QV_REQUIRE_SERVERS();
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    // Every fifth invoice is one QEM must refuse.
    qvtest::Road road({"--b2b-count", "6", "--b2c-count", "4", "--refuse-every", "5"});
    auto q = [&](const std::string& sql) { return road.world.qem.exec(sql); };

    fMenuQuorvela->show();
    ASSERT_EQ(road.signIn(), QDialog::Accepted) << road.messages.join('\n').toStdString();
    EXPECT_TRUE(fMenuQuorvela->PanelMenu->isVisible());
    EXPECT_EQ(fMenuQuorvela->LabelUser->text(), "User contabil");
    EXPECT_EQ(fMenuQuorvela->LabelDataBase->text().toStdString(), road.world.qem.name());
    EXPECT_EQ(dmCon->glUser, "contabil");

    QTest::mouseClick(fMenuQuorvela->ButtonImportFact, Qt::LeftButton);
    TfQuorvelaImportFactCI* w = fQuorvelaImportFactCI;
    ASSERT_TRUE(w->isVisible());

    QTest::mouseClick(w->ButtonPreiaFactQuorvela, Qt::LeftButton);
    ASSERT_EQ(w->dsLogQuorvela->recordCount(), 10);

    // The first invoice in the list, by hand.
    w->cxGrid1->view()->focusFirst();
    const QString first = w->dsLogQuorvela->fieldByName("id_fact").asString();
    QTest::mouseClick(w->ButtonMutaFactCurenta, Qt::LeftButton);
    QTest::mouseClick(w->ButtonMutaToateFacturile, Qt::LeftButton);
    QTest::mouseClick(w->ButtonPreiaFactQuorvela, Qt::LeftButton);   // nothing new after the highest ids

    // Every invoice logged once per channel.
    EXPECT_EQ(q("select count(*) from log_quorvela"), "10");
    EXPECT_EQ(q("select count(*) from (select distinct id_fact, api_end_point from log_quorvela) x"), "10");
    EXPECT_EQ(q("select count(*) from log_quorvela where api_end_point = 'B2C'"), "4");
    // One document per moved invoice; the refused ones keep their message and have none.
    const std::string refused = q("select count(*) from log_quorvela where coalesce(err_la_import, '') <> ''");
    EXPECT_GE(std::stoi(refused), 1);
    EXPECT_EQ(q("select count(*) from doc"), std::to_string(10 - std::stoi(refused)));
    EXPECT_EQ(q("select count(*) from (select id_fact from doc group by id_fact having count(*) > 1) x"), "0");
    EXPECT_EQ(q("select count(*) from log_quorvela l join doc d on d.id_fact = l.id_fact "
                "where coalesce(l.err_la_import, '') <> ''"),
              "0");

    // The log, in order: two fetches around the moves, each move once.
    const QStringList lines = w->Memo1->toPlainText().split('\n');
    const QStringList fetch = {"Incepe preluarea facturilor B2B...", "Sfarsit preluare facturi B2B",
                               "----------------------------------", "Incepe preluarea facturilor B2C...",
                               "Sfarsit preluare facturi B2C"};
    ASSERT_EQ(lines.size(), 5 + 10 + 5) << lines.join('\n').toStdString();
    EXPECT_EQ(lines.mid(0, 5), fetch);
    EXPECT_EQ(lines.mid(15, 5), fetch);
    EXPECT_TRUE(lines[5].startsWith("S-a importat factura cu idFact \"" + first + "\"") ||
                lines[5].startsWith("Eroare import idFact \"" + first + "\" - "))
        << lines[5].toStdString();
    QStringList movedIds;
    for (const QString& line : lines.mid(5, 10)) {
        ASSERT_TRUE(line.startsWith("S-a importat factura cu idFact \"") || line.startsWith("Eroare import idFact \""))
            << line.toStdString();
        movedIds << line.section('"', 1, 1);
    }
    movedIds.removeDuplicates();
    EXPECT_EQ(movedIds.size(), 10);
    EXPECT_EQ(lines.mid(5, 10).filter("Eroare import").size(), std::stoi(refused));
    EXPECT_TRUE(road.messages.isEmpty()) << road.messages.join('\n').toStdString();
}

}  // namespace
