// The grid's engine over a generated table large enough for its two ways of keeping text (a dictionary
// for columns with few values, every value for the others), checked against a plain reference: Qt's own
// case-insensitive regular expressions and comparisons over QStrings.
#include "platform/grid/engine.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

using namespace qv::grid;

namespace {

using Cell = std::optional<std::string>;

class Table : public RowSource {
public:
    std::vector<std::vector<Cell>> cols;
    int rowCount() const override { return cols.empty() ? 0 : int(cols[0].size()); }
    bool isNull(int row, int col) const override { return !cols[size_t(col)][size_t(row)].has_value(); }
    std::string_view raw(int row, int col) const override {
        const Cell& c = cols[size_t(col)][size_t(row)];
        return c ? std::string_view(*c) : std::string_view();
    }
    QString text(int row, int col) const {
        const Cell& c = cols[size_t(col)][size_t(row)];
        return c ? QString::fromStdString(*c) : QString();
    }
};

enum { Chan, Name, Code, Mid, Num, Day, ColumnCount };

constexpr int kRows = 10000;

Table makeTable() {
    Table t;
    t.cols.resize(ColumnCount);
    const char* chans[] = {"B2B", "b2b", "B2C", nullptr, ""};
    const char* names[] = {"Ștefan", "ştefan", "ȘTEFĂN", "Ţara", "țara", "îngeraș", "Alfa", "alfa%", "a_b"};
    for (int i = 0; i < kRows; ++i) {
        const char* ch = chans[(i * 7) % 5];
        t.cols[Chan].push_back(ch ? Cell(ch) : std::nullopt);
        t.cols[Name].push_back(std::string(names[i % 9]) + " " + std::to_string(i % 50));   // 450 values
        t.cols[Code].push_back("QV" + std::to_string((i * 7919) % 100003));                 // all distinct
        // Few values in the first rows, many after: a dictionary begun is given up.
        t.cols[Mid].push_back(std::to_string(i < 4096 ? i % 1000 : i));
        t.cols[Num].push_back(i % 17 == 0 ? Cell() : Cell(std::to_string((i * 31) % 1000 - 500)));
        char day[16];
        std::snprintf(day, sizeof day, "2025-%02d-%02d", 1 + i % 12, 1 + i % 28);
        t.cols[Day].push_back(i % 13 == 0 ? Cell() : Cell(day));
    }
    return t;
}

GridEngine makeEngine(const Table& t) {
    GridEngine e;
    e.setColumns({{"chan", ValueKind::Text}, {"name", ValueKind::Text}, {"code", ValueKind::Text},
                  {"mid", ValueKind::Text}, {"num", ValueKind::Integer}, {"day", ValueKind::Date}});
    e.load(t);
    return e;
}

// The filter row's rule written another way: an anchored, case-insensitive regular expression.
QRegularExpression referenceLike(const QString& typed) {
    QString rx = QStringLiteral("^");
    for (QChar c : typed) {
        if (c == u'%') rx += QStringLiteral(".*");
        else if (c == u'_') rx += QLatin1Char('.');
        else rx += QRegularExpression::escape(QString(c));
    }
    return QRegularExpression(rx, QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
}

std::vector<int> allRows() {
    std::vector<int> rows(kRows);
    std::iota(rows.begin(), rows.end(), 0);
    return rows;
}

int compareText(const Table& t, int col, int a, int b) {
    return QString::compare(t.text(a, col), t.text(b, col), Qt::CaseInsensitive);
}

int compareNum(const Table& t, int col, int a, int b) {
    const Cell &x = t.cols[size_t(col)][size_t(a)], &y = t.cols[size_t(col)][size_t(b)];
    if (!x || !y) return x.has_value() - y.has_value();
    const long long u = std::stoll(*x), v = std::stoll(*y);
    return u < v ? -1 : u > v;
}

TEST(GridEngine, FilterRowMatchesTheReferenceInEveryWayOfKeepingText) {
    const Table t = makeTable();
    GridEngine e = makeEngine(t);
    const char* patterns[] = {"ș", "ȘTEF", "stef", "ţ", "ț", "%Ş", "a_", "al%a", "%", "_", "%5", "b2", "ÎNGERAȘ 4",
                              "%%_%", "qv1", "29", "2_9"};
    for (int col : {Chan, Name, Code, Mid}) {
        for (const char* p : patterns) {
            SCOPED_TRACE(std::to_string(col) + " / " + p);
            const QString typed = QString::fromUtf8(p);
            e.setFilterText(col, typed);
            const QRegularExpression like = referenceLike(typed);
            std::vector<int> expected;
            for (int r : allRows())
                if (t.cols[size_t(col)][size_t(r)] && like.match(t.text(r, col)).hasMatch()) expected.push_back(r);
            EXPECT_EQ(e.records(), expected);
        }
        e.setFilterText(col, QString());
    }
}

TEST(GridEngine, SortAndGroupingMatchAStableReferenceSort) {
    const Table t = makeTable();
    GridEngine e = makeEngine(t);
    struct Case { std::vector<SortKey> group, sort; };
    const Case cases[] = {
        {{}, {{Name, Qt::AscendingOrder}}},
        {{}, {{Chan, Qt::DescendingOrder}}},
        {{}, {{Code, Qt::AscendingOrder}}},
        {{}, {{Mid, Qt::DescendingOrder}, {Num, Qt::AscendingOrder}}},
        {{}, {{Num, Qt::DescendingOrder}}},
        {{{Chan, Qt::AscendingOrder}}, {{Name, Qt::DescendingOrder}}},
        {{{Day, Qt::DescendingOrder}, {Chan, Qt::AscendingOrder}}, {{Code, Qt::AscendingOrder}}},
    };
    for (const Case& c : cases) {
        std::vector<SortKey> keys = c.group;
        keys.insert(keys.end(), c.sort.begin(), c.sort.end());
        std::vector<int> expected = allRows();
        std::stable_sort(expected.begin(), expected.end(), [&](int a, int b) {
            for (const SortKey& k : keys) {
                // ISO dates order as text; null reads as empty text and comes first.
                int x = k.column == Num ? compareNum(t, k.column, a, b) : compareText(t, k.column, a, b);
                if (k.order == Qt::DescendingOrder) x = -x;
                if (x) return x < 0;
            }
            return false;
        });
        e.setGrouping(c.group);
        e.setSort(c.sort);
        EXPECT_EQ(e.records(), expected);
        if (!c.group.empty()) {
            // One outer group per distinct value (null and empty text are one blank value).
            std::vector<QString> seen;
            for (int r : expected) {
                const QString v = t.text(r, c.group[0].column).toCaseFolded();
                if (seen.empty() || seen.back() != v) seen.push_back(v);
            }
            const auto& groups = e.groups();
            EXPECT_EQ(std::count_if(groups.begin(), groups.end(), [](const GroupNode& g) { return g.level == 0; }),
                      std::ptrdiff_t(seen.size()));
        }
    }
}

TEST(GridEngine, HeaderValuesCombineWithTheFilterRow) {
    const Table t = makeTable();
    GridEngine e = makeEngine(t);
    e.setValueFilter(Chan, {"b2b"}, true);
    e.setFilterText(Name, QStringLiteral("%ş"));
    e.setValueFilter(Num, {"-500", "  469 "}, false);
    const QRegularExpression like = referenceLike(QStringLiteral("%ş"));
    std::vector<int> expected;
    for (int r : allRows()) {
        const QString chan = t.text(r, Chan);
        const bool chanOk = chan.isEmpty() || chan.compare(QStringLiteral("B2B"), Qt::CaseInsensitive) == 0;
        const bool nameOk = like.match(t.text(r, Name)).hasMatch();
        const bool numOk = t.cols[Num][size_t(r)] && (t.text(r, Num) == "-500" || t.text(r, Num) == "469");
        if (chanOk && nameOk && numOk) expected.push_back(r);
    }
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(e.records(), expected);
}

TEST(GridEngine, RowsChangedInPlaceEndWhereAFreshLoadPutsThem) {
    Table t = makeTable();
    GridEngine e = makeEngine(t);
    auto sameState = [](GridEngine& g) {
        g.setGrouping({{Chan, Qt::AscendingOrder}});
        g.setSort({{Name, Qt::DescendingOrder}, {Num, Qt::AscendingOrder}});
        g.setFilterText(Code, QStringLiteral("qv%1"));
        g.setValueFilter(Mid, {}, false);
    };
    sameState(e);
    // New values: one the dictionary has not seen, blanks, a longer text, null numbers.
    for (int r = 4000; r <= 4010; ++r) {
        t.cols[Chan][size_t(r)] = r % 2 ? Cell("B2X") : std::nullopt;
        t.cols[Name][size_t(r)] = r % 3 ? Cell("zzz " + std::to_string(r)) : Cell("");
        t.cols[Code][size_t(r)] = "QV1" + std::to_string(r) + "999";
        t.cols[Num][size_t(r)] = r % 2 ? Cell() : Cell("-1000");
    }
    e.reload(t, 4000, 4010);
    GridEngine fresh = makeEngine(t);
    sameState(fresh);
    EXPECT_EQ(e.records(), fresh.records());
    ASSERT_EQ(e.groups().size(), fresh.groups().size());
    for (size_t g = 0; g < e.groups().size(); ++g) EXPECT_EQ(e.groups()[g].count(), fresh.groups()[g].count());
}

}  // namespace
