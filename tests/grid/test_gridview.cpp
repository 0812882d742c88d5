// The data grid bound to a real query on the test server, driven the way a user drives it: typing in
// the filter row, clicking and dragging headers, the header drop-down, the keyboard, and the dataset
// moving underneath.
#include <QApplication>
#include <QCheckBox>
#include <QToolButton>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/grid/datagrid.h"
#include "platform/grid/parts.h"
#include "platform/pg/pg.h"
#include "testdb.h"

using namespace qv;
using namespace qv::grid;
using Ids = std::vector<long long>;

// Readable QStrings in failure messages.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

// Letter case and Romanian letters in both forms, nulls and empty text in every kind of column, equal
// amounts written differently, and an id that begins like another.
const char* kTable = R"sql(
create table t_inv (id bigint primary key, chan varchar(3), name text, amount numeric(12,2), doc_date date,
                    taken timestamp, note text);
insert into t_inv values
 (1,  'B2B', 'Ștefan Pop',     10.50, '2025-07-01', '2025-07-01 09:15:00',    null),
 (2,  'B2C', 'ȘTEFĂNESCU SRL', 200,   '2025-07-02', '2025-07-01 18:00:00',    'x'),
 (3,  'b2b', 'Stefan Mare',    10.5,  '2025-07-01', '2025-07-02 08:00:00',    ''),
 (4,  'B2C', 'ŢARA NOUĂ',      7,     null,         '2025-07-03 10:00:00',    null),
 (5,  'B2B', 'îngeraș',        null,  '2025-06-30', null,                     'abc'),
 (30, 'B2C', null,             3,     '2025-07-02', '2025-07-03 11:30:45.5',  'ABC');
)sql";

enum Col { Id, Chan, Name, Amount, DocDate, Taken, Note };

class GridTest : public ::testing::Test {
protected:
    void SetUp() override {
        QV_REQUIRE_SERVERS();
        db = std::make_unique<qvtest::TempDb>(qvtest::plainServer(), "qv_tpl_qem");
        db->exec(kTable);
        con = std::make_unique<pg::Connection>("conTest");
        con->setServer(QString::fromStdString(db->server().host));
        con->setPort(db->server().port);
        con->setDatabase(QString::fromStdString(db->name()));
        con->setUsername("qem");
        con->setPassword(QString::fromStdString(qvtest::password()));
        con->setSslMode(pg::SslMode::Prefer);
        q = std::make_unique<pg::Query>("dsTest", con.get());
        q->setSql({"select id, chan, name, amount, doc_date, taken, note", "from t_inv", "order by id", ";"});
        q->declareField("id", pg::FieldType::LargeInt);
        q->declareField("chan", pg::FieldType::String, 3);
        q->declareField("name", pg::FieldType::Memo);
        q->declareField("amount", pg::FieldType::Float);
        q->declareField("doc_date", pg::FieldType::Date);
        q->declareField("taken", pg::FieldType::DateTime);
        q->declareField("note", pg::FieldType::Memo);
        q->setKeyField("id");
        q->setReadOnly(true);
        grid = std::make_unique<DataGrid>();
        grid->resize(900, 400);
        view()->setDataSet(q.get());
        grid->show();
        q->open();
    }
    void TearDown() override {
        grid.reset();
        q.reset();
        con.reset();
    }

    GridView* view() const { return grid->view(); }
    long long idOf(int row) const { return std::stoll(std::string(q->rawValue(row, Id))); }
    Ids ids(const std::vector<int>& rows) const {
        Ids out;
        for (int r : rows) out.push_back(idOf(r));
        return out;
    }
    Ids shown() const { return ids(view()->records()); }
    long long currentId() const { return q->recNo() < 0 ? -1 : idOf(q->recNo()); }
    long long focusedId() const { return view()->focusedRecord() < 0 ? -1 : idOf(view()->focusedRecord()); }
    QString recordInfo() const { return grid->navigator()->recordInfo()->text(); }

    void type(int col, const QString& text) {
        QLineEdit* e = view()->filterEditor(col);
        e->clear();
        // Key by key; QTest::keyClicks knows only Latin-1 keys, so the text rides on the events.
        for (QChar ch : text) QTest::sendKeyEvent(QTest::Click, e, Qt::Key_unknown, QString(ch), Qt::NoModifier);
    }
    QWidget* headerPort() const { return view()->header()->viewport(); }
    QPoint sectionPoint(int col) const {
        // Left part of the section: away from the resize grip and the drop-down button.
        return QPoint(view()->header()->sectionViewportPosition(col) + 15, view()->header()->height() / 2);
    }
    void clickHeader(int col, Qt::KeyboardModifiers mods = {}) {
        QTest::mouseClick(headerPort(), Qt::LeftButton, mods, sectionPoint(col));
    }
    // Press on `from`, move a few steps, release over `to` (a point of another widget).
    static void drag(QWidget* from, QPoint start, QWidget* over, QPoint end) {
        const QPoint target = from->mapFromGlobal(over->mapToGlobal(end));
        QTest::mousePress(from, Qt::LeftButton, {}, start);
        QTest::mouseMove(from, start + QPoint(10, 0));
        QTest::mouseMove(from, target);
        QTest::mouseRelease(from, Qt::LeftButton, {}, target);
    }
    void dragHeaderToGroupBox(int col) {
        drag(headerPort(), sectionPoint(col), grid->groupByBox(), QPoint(grid->groupByBox()->width() - 20, 10));
    }
    QRect rowRect(long long id) const {
        for (int v = 0; v < view()->engine().viewRowCount(); ++v) {
            const int p = view()->engine().positionAt(v);
            if (p >= 0 && idOf(view()->records()[size_t(p)]) == id) return view()->viewRowRect(v);
        }
        return {};
    }

    std::unique_ptr<qvtest::TempDb> db;
    std::unique_ptr<pg::Connection> con;
    std::unique_ptr<pg::Query> q;
    std::unique_ptr<DataGrid> grid;
};

TEST_F(GridTest, ColumnsAreTheDeclaredFieldsHeadedByTheirNames) {
    ASSERT_EQ(view()->columnCount(), 7);
    EXPECT_EQ(view()->columnCaption(Taken), "taken");
    view()->setColumnWidth("name", 257);
    EXPECT_EQ(view()->columnWidth(Name), 257);
    EXPECT_EQ(shown(), (Ids{1, 2, 3, 4, 5, 30}));
    EXPECT_EQ(view()->displayText(0, DocDate), "01.07.2025");
    EXPECT_EQ(view()->displayText(5, Taken), "03.07.2025 11:30:45");
    EXPECT_EQ(view()->displayText(5, Name), "");
    EXPECT_EQ(recordInfo(), "Record 1 of 6");
}

struct FilterCase {
    Col col;
    QString typed;
    Ids expected;
};

TEST_F(GridTest, FilterRowNarrowsAsTyped) {
    const FilterCase cases[] = {
        {Name, "ștef", {1, 2}},
        {Name, "ȘTEFAN", {1}},            // ă is not a
        {Name, "ștefă", {2}},
        {Name, "stefan", {3}},            // ș is not s
        {Name, "ţara", {4}},              // cedilla Ţ folds to ţ
        {Name, "țara", {}},               // comma-below ț is another letter
        {Name, "ÎNGERAȘ", {5}},
        {Name, "%pop", {1}},
        {Name, "_tefan", {1, 3}},         // "_" takes ș whole; ă is not a
        {Name, "%ș", {1, 2, 5}},
        {Name, "st%re", {3}},
        {Name, "%", {1, 2, 3, 4, 5}},     // anything but null
        {Chan, "b2b", {1, 3, 5}},
        {Id, "3", {3}},                   // numbers are equal, not "begins with": 30 stays out
        {Id, "x", {}},
        {Amount, "10.5", {1, 3}},
        {Amount, "10,50", {1, 3}},
        {DocDate, "01.07.2025", {1, 3}},
        {DocDate, "2025-07-02", {2, 30}},
        {Taken, "01.07.2025", {1, 2}},    // a date alone takes the whole day
        {Taken, "03.07.2025 11:30:45", {30}},
        {Note, "abc", {5, 30}},
    };
    for (const FilterCase& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        type(c.col, c.typed);
        EXPECT_EQ(shown(), c.expected);
        EXPECT_EQ(view()->filteredRecordCount(), int(c.expected.size()));
        EXPECT_TRUE(recordInfo().endsWith(QStringLiteral(" of %1").arg(c.expected.size())));
        view()->filterEditor(c.col)->clear();
        EXPECT_EQ(shown().size(), 6u);
    }
}

TEST_F(GridTest, FilterRowAppliesAtEachKeystrokeAndColumnsCombineWithAnd) {
    QLineEdit* chan = view()->filterEditor(Chan);
    QTest::keyClick(chan, Qt::Key_B);
    EXPECT_EQ(shown().size(), 6u);
    QTest::keyClick(chan, Qt::Key_2);
    QTest::keyClick(chan, Qt::Key_C);
    EXPECT_EQ(shown(), (Ids{2, 4, 30}));
    type(Amount, "7");
    EXPECT_EQ(shown(), (Ids{4}));
    EXPECT_TRUE(grid->filterBox()->isVisible());
    EXPECT_EQ(grid->filterBox()->textLabel()->text(), "chan LIKE 'b2c%' AND amount = 7");
    // Switched off in the filter box, the conditions stay but let everything through.
    grid->filterBox()->enabledBox()->click();
    EXPECT_EQ(shown().size(), 6u);
    grid->filterBox()->enabledBox()->click();
    EXPECT_EQ(shown(), (Ids{4}));
    grid->filterBox()->clearButton()->click();
    EXPECT_EQ(shown().size(), 6u);
    EXPECT_TRUE(view()->filterEditor(Chan)->text().isEmpty());
    EXPECT_FALSE(grid->filterBox()->isVisible());
}

TEST_F(GridTest, HeaderDropDownListsDistinctValuesAndFiltersByThem) {
    QTest::mouseClick(headerPort(), Qt::LeftButton, {}, view()->header()->filterButtonRect(Chan).center());
    FilterPopup* popup = view()->headerFilterPopup();
    ASSERT_NE(popup, nullptr);
    QStringList labels;
    for (const auto& e : popup->model()->entries()) labels << e.label;
    EXPECT_EQ(labels, (QStringList{"(All)", "B2B", "B2C"}));   // b2b is the same value as B2B
    ASSERT_TRUE(popup->tick("B2B"));
    EXPECT_EQ(shown(), (Ids{1, 3, 5}));
    popup->close();

    // Blanks: null and empty text alike; several columns combine with AND, also with the filter row.
    view()->showHeaderFilterPopup(Note);
    popup = view()->headerFilterPopup();
    ASSERT_EQ(popup->model()->entries()[1].label, "(Blanks)");
    ASSERT_TRUE(popup->tick("(Blanks)"));
    EXPECT_EQ(shown(), (Ids{1, 3}));
    ASSERT_TRUE(popup->tick("abc"));
    EXPECT_EQ(shown(), (Ids{1, 3, 5}));
    type(Name, "ș");
    EXPECT_EQ(shown(), (Ids{1}));
    view()->filterEditor(Name)->clear();

    // Dates are ticked as shown; "(All)" takes the condition away.
    view()->showHeaderFilterPopup(DocDate);
    popup = view()->headerFilterPopup();
    ASSERT_TRUE(popup->tick("01.07.2025"));
    EXPECT_EQ(shown(), (Ids{1, 3}));
    ASSERT_TRUE(popup->tick("(All)"));
    EXPECT_EQ(shown(), (Ids{1, 3, 5}));
    EXPECT_FALSE(view()->engine().hasValueFilter(DocDate));
}

struct SortCase {
    Col col;
    Ids ascending;
};

TEST_F(GridTest, HeaderClickSortsAndClickingAgainReverses) {
    const SortCase cases[] = {
        {Name, {30, 3, 5, 4, 1, 2}},       // nulls first, letter case ignored, code point order
        {Amount, {5, 30, 4, 1, 3, 2}},     // as numbers; equal values keep the dataset's order
        {DocDate, {4, 5, 1, 3, 2, 30}},
        {Taken, {5, 1, 2, 3, 4, 30}},
    };
    for (const SortCase& c : cases) {
        SCOPED_TRACE(int(c.col));
        clickHeader(c.col);
        EXPECT_EQ(shown(), c.ascending);
        clickHeader(c.col);
        Ids desc = shown();
        Ids expected(c.ascending.rbegin(), c.ascending.rend());
        // Equal values keep the dataset's order in both directions.
        if (c.col == Amount) expected = {2, 1, 3, 4, 30, 5};
        if (c.col == DocDate) expected = {2, 30, 1, 3, 5, 4};
        EXPECT_EQ(desc, expected);
    }
    // Shift adds a key: chan (B2B and b2b together), then amount descending.
    clickHeader(Chan);
    clickHeader(Amount, Qt::ShiftModifier);
    clickHeader(Amount, Qt::ShiftModifier);
    EXPECT_EQ(shown(), (Ids{1, 3, 5, 2, 4, 30}));
    // Ctrl takes a key away.
    clickHeader(Chan, Qt::ControlModifier);
    EXPECT_EQ(shown(), (Ids{2, 1, 3, 4, 30, 5}));
}

TEST_F(GridTest, DraggingAHeaderMovesTheColumn) {
    drag(headerPort(), sectionPoint(Note), headerPort(), sectionPoint(Id) - QPoint(10, 0));
    EXPECT_EQ(view()->visibleColumnOrder(), (std::vector<int>{Note, Id, Chan, Name, Amount, DocDate, Taken}));
    // Enter walks the cells in the order shown, then on to the next row.
    view()->setFocusedColumn(Taken);
    QTest::keyClick(view(), Qt::Key_Return);
    EXPECT_EQ(view()->focusedColumn(), int(Note));
    EXPECT_EQ(currentId(), 2);
    QTest::keyClick(view(), Qt::Key_Enter);
    EXPECT_EQ(view()->focusedColumn(), int(Id));
    EXPECT_EQ(currentId(), 2);
}

TEST_F(GridTest, DraggingAHeaderIntoTheBoxGroupsAndBackUngroups) {
    clickHeader(Name);   // sorted by name inside the groups
    dragHeaderToGroupBox(Chan);
    ASSERT_EQ(view()->groupedColumns(), (std::vector<int>{Chan}));
    EXPECT_TRUE(view()->header()->isSectionHidden(Chan));
    const auto& groups = view()->engine().groups();
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0].count(), 3);
    EXPECT_EQ(groups[1].count(), 3);
    // Records in grouped order, group rows left out.
    EXPECT_EQ(shown(), (Ids{3, 5, 1, 30, 4, 2}));

    // A second level, before the first.
    drag(headerPort(), sectionPoint(DocDate), grid->groupByBox(), QPoint(2, 10));
    ASSERT_EQ(view()->groupedColumns(), (std::vector<int>{DocDate, Chan}));
    EXPECT_EQ(shown(), (Ids{4, 5, 3, 1, 30, 2}));

    // Dragging a grouped column back onto the headers ungroups it where it is dropped.
    GroupByBox* box = grid->groupByBox();
    drag(box, box->chipRect(0).center() - QPoint(10, 0), headerPort(), sectionPoint(Id) - QPoint(10, 0));
    EXPECT_EQ(view()->groupedColumns(), (std::vector<int>{Chan}));
    EXPECT_EQ(view()->visibleColumnOrder().front(), int(DocDate));
    // The cross on the group's box ungroups too.
    QTest::mouseClick(box, Qt::LeftButton, {}, box->closeRect(0).center());
    EXPECT_TRUE(view()->groupedColumns().empty());
    EXPECT_FALSE(view()->header()->isSectionHidden(Chan));
    EXPECT_EQ(shown(), (Ids{30, 3, 5, 4, 1, 2}));
}

TEST_F(GridTest, GroupRowsExpandAndCollapse) {
    q->setRecNo(1);   // id 2, in B2C
    view()->groupByColumn(Chan);
    // The focused record's group opens so the focus stays on it; the other stays closed.
    ASSERT_EQ(view()->engine().viewRowCount(), 1 + 1 + 3);
    EXPECT_EQ(focusedId(), 2);
    const QRect b2b = view()->viewRowRect(0);
    QTest::mouseDClick(view()->viewport(), Qt::LeftButton, {}, b2b.center());
    EXPECT_EQ(view()->engine().viewRowCount(), 2 + 6);
    // Collapsing the group that holds the focus leaves the focus on its group row.
    const int b2cRow = view()->engine().viewRowOfGroup(1);
    QTest::mouseClick(view()->viewport(), Qt::LeftButton, {}, QPoint(8, view()->viewRowRect(b2cRow).center().y()));
    EXPECT_EQ(view()->engine().viewRowCount(), 2 + 3);
    EXPECT_TRUE(view()->focusedRowIsGroup());
    EXPECT_EQ(currentId(), 2);   // the dataset stands on the group's first record
}

TEST_F(GridTest, FocusAndCurrentRecordFollowEachOther) {
    q->setRecNo(3);
    EXPECT_EQ(focusedId(), 4);
    EXPECT_EQ(recordInfo(), "Record 4 of 6");

    QTest::mouseClick(view()->viewport(), Qt::LeftButton, {}, rowRect(2).center());
    EXPECT_EQ(currentId(), 2);

    // Under a sort the keyboard moves in the order shown, and the dataset goes along.
    clickHeader(Name);
    EXPECT_EQ(currentId(), 2);   // sorting keeps the focused record
    q->setRecNo(0);              // id 1: shown fifth
    QTest::keyClick(view(), Qt::Key_Down);
    EXPECT_EQ(currentId(), 2);
    QTest::keyClick(view(), Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(currentId(), 30);

    // A record the filter hides: the dataset may stand there, the grid shows no focus.
    type(Chan, "b2b");
    EXPECT_EQ(currentId(), 3);   // the focus went to the first record shown, and the dataset with it
    q->setRecNo(1);
    EXPECT_EQ(view()->focusedRecord(), -1);

    q->close();
    EXPECT_EQ(view()->filteredRecordCount(), 0);
    EXPECT_EQ(recordInfo(), "Record 0 of 0");
}

TEST_F(GridTest, RefreshKeepsFocusFilterAndSort) {
    type(Chan, "b2");
    clickHeader(Name);
    clickHeader(Name);   // descending
    q->setRecNo(3);      // id 4
    db->exec("insert into t_inv values (6, 'B2C', 'Zeta', 1, '2025-07-05', now(), null);"
             "delete from t_inv where id = 2;"
             "update t_inv set name = 'a' where id = 3;");
    q->refresh();
    EXPECT_EQ(focusedId(), 4);
    EXPECT_EQ(currentId(), 4);
    EXPECT_EQ(shown(), (Ids{1, 4, 5, 6, 3, 30}));
    EXPECT_EQ(view()->filterEditor(Chan)->text(), "b2");
    EXPECT_EQ(recordInfo(), "Record 2 of 6");

    // The record the dataset keeps no longer passes the filter: the first record shown takes the focus
    // and the dataset follows it.
    type(Chan, "b2c");
    q->setRecNo(q->recordCount() - 2);   // id 6
    ASSERT_EQ(focusedId(), 6);
    db->exec("update t_inv set chan = 'B2B' where id = 6;");
    q->refresh();
    EXPECT_EQ(shown(), (Ids{4, 30}));
    EXPECT_EQ(focusedId(), 4);
    EXPECT_EQ(currentId(), 4);
}

TEST_F(GridTest, RowReReadInPlaceGoesWhereSortAndFilterNowPutIt) {
    clickHeader(Name);
    type(Chan, "b2");
    q->setRecNo(0);   // id 1, "Ștefan Pop", shown fifth
    db->exec("update t_inv set name = 'Aaron' where id = 1;");
    ASSERT_TRUE(q->refreshCurrentKey());
    EXPECT_EQ(shown(), (Ids{30, 1, 3, 5, 4, 2}));
    EXPECT_EQ(focusedId(), 1);
    db->exec("update t_inv set chan = 'X' where id = 1;");
    ASSERT_TRUE(q->refreshCurrentKey());
    EXPECT_EQ(shown(), (Ids{30, 3, 5, 4, 2}));
    // Filtered out: the first record shown takes the focus and the dataset goes with it.
    EXPECT_EQ(focusedId(), 30);
    EXPECT_EQ(currentId(), 30);
}

TEST_F(GridTest, FocusFirstAndNextStepThroughRecordsInGroupedOrder) {
    clickHeader(Name);
    view()->groupByColumn(Chan);
    type(Note, "%");   // 2, 3, 5, 30 have a note (empty text counts)
    const int n = view()->filteredRecordCount();
    ASSERT_EQ(n, 4);
    ASSERT_TRUE(view()->focusFirst());
    Ids visited;
    for (int i = 0; i < n; ++i) {
        visited.push_back(currentId());
        EXPECT_EQ(focusedId(), currentId());
        view()->focusNext();
    }
    EXPECT_EQ(visited, (Ids{3, 5, 30, 2}));
    EXPECT_EQ(visited, shown());
    EXPECT_FALSE(view()->focusNext());
    EXPECT_EQ(currentId(), 2);
}

TEST_F(GridTest, StyleSheetColoursTheParts) {
    grid->setGridStyleSheet(devExpressStyleSheet());
    view()->setColumnWidth(Note, 200);
    QApplication::processEvents();
    auto pixel = [&](QWidget* w, QPoint p) {
        return grid->grab().toImage().pixelColor(w->mapTo(grid.get(), p)).name();
    };
    const int noteX = view()->header()->sectionViewportPosition(Note) + 150;
    const int rh = view()->rowHeight();
    EXPECT_EQ(pixel(grid->groupByBox(), QPoint(grid->groupByBox()->width() - 5, 5)), "#fed547");
    EXPECT_EQ(pixel(headerPort(), QPoint(noteX, 3)), "#316ac5");
    // Row 0 holds the focus: Selection while the grid has the keyboard, Inactive when it has not.
    grid->activateWindow();
    view()->setFocus();
    QApplication::processEvents();
    ASSERT_TRUE(view()->hasFocus());
    EXPECT_EQ(pixel(view()->viewport(), QPoint(noteX, rh / 2)), "#316ac5");
    view()->filterEditor(Id)->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(pixel(view()->viewport(), QPoint(noteX, rh / 2)), "#a4c4eb");
    EXPECT_EQ(pixel(view()->viewport(), QPoint(noteX, rh + rh / 2)), "#eaf3fb");
    EXPECT_EQ(pixel(view()->viewport(), QPoint(noteX, 2 * rh + rh / 2)), "#d9eaf7");
    EXPECT_EQ(pixel(view()->viewport(), QPoint(noteX, view()->viewport()->height() - 3)), "#fffbf0");
    EXPECT_EQ(pixel(view()->indicator(), QPoint(2, rh + rh / 2)), "#a4c4eb");
}

}  // namespace
