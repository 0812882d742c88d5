// The grid's rows without the widget: per-column caches of a dataset's values, the filter conditions of
// the filter row and of the header drop-downs, sorting, grouping, and the list of rows the view shows.
//
// The caches are built once when the rows arrive (open or refresh); a keystroke in the filter row then
// re-evaluates one column against its cache and walks a permutation that is already sorted, so no
// QString or QVariant is made per cell.
#pragma once

#include <QString>
#include <QStringList>
#include <Qt>

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/grid/values.h"

namespace qv::grid {

enum class ValueKind { Text, Integer, Float, Boolean, Date, DateTime };

struct ColumnDef {
    QString name;
    ValueKind kind = ValueKind::Text;
};

// The rows as the server sent them (text format).
class RowSource {
public:
    virtual ~RowSource() = default;
    virtual int rowCount() const = 0;
    virtual bool isNull(int row, int col) const = 0;
    virtual std::string_view raw(int row, int col) const = 0;
};

struct SortKey {
    int column = -1;
    Qt::SortOrder order = Qt::AscendingOrder;
    bool operator==(const SortKey&) const = default;
};

// A group row: the records()[begin, end) that share the values of the grouped columns down to `level`.
struct GroupNode {
    int level = 0;
    int begin = 0;
    int end = 0;
    int count() const { return end - begin; }
};

class GridEngine {
public:
    GridEngine();

    // Replaces the columns; conditions, sort and grouping are dropped.
    void setColumns(std::vector<ColumnDef> columns);
    const std::vector<ColumnDef>& columns() const { return columns_; }
    int columnCount() const { return int(columns_.size()); }

    // How dates are shown; typed dates are read in this form as well as in ISO form and d.M.yyyy.
    void setDateFormats(const QString& date, const QString& dateTime);
    QString displayText(int col, bool isNull, std::string_view raw) const;

    // New rows (open, refresh, values changed): caches rebuilt, conditions, sort and grouping applied
    // again.
    void load(const RowSource& source);
    // Values of rows first..last changed in place (the row count is the same): only those rows are read
    // again and put where the filter and the sort now want them.
    void reload(const RowSource& source, int first, int last);
    void clear();   // no rows (dataset closed); conditions stay
    int rowCount() const { return rows_; }

    // Filter row. An empty text removes the condition. Returns false when the text cannot be a value of
    // the column (letters in a number column): the condition then lets no row through.
    bool setFilterText(int col, const QString& typed);
    const QString& filterText(int col) const { return cond_[size_t(col)].typed; }
    bool filterTextValid(int col) const { return cond_[size_t(col)].typedValid; }

    // Header drop-down: the ticked values, as shown in the grid, and whether "(Blanks)" is ticked. No
    // values and no blanks remove the condition.
    void setValueFilter(int col, const QStringList& values, bool blanks);
    const QStringList& valueFilter(int col) const { return cond_[size_t(col)].values; }
    bool valueFilterBlanks(int col) const { return cond_[size_t(col)].blanks; }
    bool hasValueFilter(int col) const { return cond_[size_t(col)].hasValues(); }
    bool hasCondition(int col) const { return cond_[size_t(col)].active(); }

    void clearFilters();
    // The filter can be switched off without losing its conditions.
    void setFilterEnabled(bool on);
    bool filterEnabled() const { return filterEnabled_; }
    bool hasFilter() const;

    // One source row per distinct non-blank value of the column (letter case ignored), in ascending
    // order; whether the column has blanks (null or empty text).
    std::vector<int> distinctRows(int col) const;
    bool hasBlanks(int col) const;

    void setSort(std::vector<SortKey> keys);
    const std::vector<SortKey>& sortKeys() const { return sort_; }
    // Grouping levels, outermost first. Groups start collapsed.
    void setGrouping(std::vector<SortKey> levels);
    const std::vector<SortKey>& grouping() const { return group_; }

    // Source rows that pass the filter, in the order shown (grouped order when grouped).
    const std::vector<int>& records() const { return records_; }
    int positionOf(int sourceRow) const;   // in records(), -1 when filtered out
    const std::vector<GroupNode>& groups() const { return groups_; }

    // The rows of the view: group rows and the records of expanded groups.
    int viewRowCount() const { return group_.empty() ? int(records_.size()) : int(viewRows_.size()); }
    bool isGroupRow(int v) const { return !group_.empty() && viewRows_[size_t(v)] < 0; }
    int groupAt(int v) const { return isGroupRow(v) ? -viewRows_[size_t(v)] - 1 : -1; }
    int positionAt(int v) const;   // position in records(), -1 for a group row
    int viewRowOfPosition(int pos) const;   // -1 when inside a collapsed group
    int viewRowOfGroup(int g) const;
    int parentGroup(int g) const;
    // The innermost group that holds records()[pos].
    int groupOfPosition(int pos) const;

    bool isExpanded(int g) const;
    void setExpanded(int g, bool on);
    void expandAll();
    void collapseAll();
    // Expands every group above the record so that it has a view row.
    void expandTo(int pos);
    // Identifies a group across a rebuild (the values of its grouped columns).
    std::string groupKey(int g) const;
    int groupOfKey(const std::string& key) const;

private:
    enum class Storage { Text, Int, Real };
    struct Column {
        Storage storage = Storage::Text;
        std::vector<std::uint64_t> nulls;    // one bit per row
        // Text is held one of two ways. Columns with few distinct values (a channel, a document type, a
        // pool of partners) keep each value once and a 16-bit code per row; the others keep every
        // folded value back to back. Null rows read as empty text either way.
        bool dict = false;
        std::string text;                    // folded values, back to back
        std::vector<std::uint32_t> offsets;  // per row + 1, or per code + 1 when dict
        std::vector<std::uint16_t> codes;    // per row, when dict
        std::vector<std::uint32_t> rank;     // per code: its place in sorted order
        std::vector<std::int64_t> ints;
        std::vector<double> reals;
        // Rows of a back-to-back text column whose values changed in place since the column was built.
        std::unordered_map<int, std::string> changed;
        bool isNull(int r) const { return (nulls[size_t(r) >> 6] >> (r & 63)) & 1; }
        std::string_view entry(size_t i) const {
            return {text.data() + offsets[i], size_t(offsets[i + 1] - offsets[i])};
        }
        std::string_view textAt(int r) const {
            if (dict) return entry(codes[size_t(r)]);
            if (!changed.empty()) {
                auto it = changed.find(r);
                if (it != changed.end()) return it->second;
            }
            return entry(size_t(r));
        }
        bool isBlank(int r) const { return isNull(r) || (storage == Storage::Text && textAt(r).empty()); }
    };
    struct Range {
        std::int64_t lo, hi;   // [lo, hi)
        bool operator<(const Range& o) const { return lo < o.lo || (lo == o.lo && hi < o.hi); }
    };
    struct Condition {
        QString typed;
        bool typedValid = true;
        TextPattern pattern;
        Range typedRange{0, 0};
        double typedReal = 0;
        QStringList values;
        bool blanks = false;
        bool valuesValid = true;
        std::vector<std::string> textValues;   // sorted
        std::vector<Range> ranges;             // sorted
        std::vector<double> reals;             // sorted
        std::vector<std::uint64_t> mask;       // rows that pass this column's conditions
        bool hasValues() const { return !values.isEmpty() || blanks; }
        bool active() const { return !typed.isEmpty() || hasValues(); }
    };

    static Storage storageOf(ValueKind k);
    void buildColumn(const RowSource& source, int col);
    bool buildDictionary(const RowSource& source, int col);
    bool parseValue(int col, const QString& text, Range& range, double& real) const;
    void computeMask(int col);
    bool passesValues(const Condition& k, const Column& c, int r) const;
    bool passesTyped(const Condition& k, const Column& c, int r) const;
    void updateCell(const RowSource& source, int col, int r);
    std::vector<SortKey> orderKeys() const;   // grouping levels, then sort keys
    int compareRows(const SortKey& k, int a, int b) const;
    bool sameValue(int col, int a, int b) const;
    std::uint64_t sortPrefix(const SortKey& k, int row) const;
    void sortAll();       // perm_ from grouping and sort keys
    void applyFilter();   // records_ from perm_ and the masks
    void buildGroups();   // groups_ and viewRows_
    void buildViewRows();
    void appendValueKey(std::string& out, int col, int row) const;

    std::vector<ColumnDef> columns_;
    std::vector<Column> cache_;
    std::vector<Condition> cond_;
    QString dateFormat_ = QStringLiteral("dd.MM.yyyy");
    QString dateTimeFormat_ = QStringLiteral("dd.MM.yyyy HH:mm:ss");
    int rows_ = 0;
    bool filterEnabled_ = true;
    std::vector<SortKey> sort_;
    std::vector<SortKey> group_;
    std::vector<int> perm_;      // all rows in shown order; empty means source order
    std::vector<int> records_;
    std::vector<GroupNode> groups_;   // depth-first
    std::vector<int> viewRows_;       // >= 0: position in records_; < 0: -(group + 1)
    std::unordered_set<std::string> expanded_;
};

}  // namespace qv::grid
