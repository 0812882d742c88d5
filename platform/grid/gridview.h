// A table view of a dataset: column headers with sort and a value drop-down, a filter row, grouping,
// a row indicator, keyboard and mouse navigation. Its focused record and the dataset's current record
// follow each other.
//
// The view paints only the rows on screen; which rows those are comes from GridEngine, whose caches are
// rebuilt when the dataset is opened or refreshed.
#pragma once

#include <QAbstractScrollArea>
#include <QHash>
#include <QStaticText>
#include <QPointer>
#include <QStringList>

#include <memory>
#include <string>
#include <vector>

#include "platform/grid/engine.h"
#include "platform/grid/stylesheet.h"
#include "platform/pg/pg.h"

class QLineEdit;

namespace qv::grid {

class GridHeader;
class GroupDropTarget;
class FilterPopup;

class GridView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit GridView(QWidget* parent = nullptr);
    ~GridView() override;

    // Columns are the dataset's declared fields, in order, each headed by its field name. The view
    // follows the dataset from then on (open, refresh, close, current record).
    void setDataSet(pg::Query* query);
    pg::Query* dataSet() const { return query_; }

    int columnCount() const { return engine_.columnCount(); }
    int columnIndex(const QString& fieldName) const;   // -1 when there is no such column
    void setColumnWidth(int col, int width);
    void setColumnWidth(const QString& fieldName, int width);
    int columnWidth(int col) const;
    void setColumnCaption(int col, const QString& caption);
    QString columnCaption(int col) const;
    // Logical column indexes in the order the user sees them (grouped columns are not shown).
    std::vector<int> visibleColumnOrder() const;
    void moveColumn(int col, int toVisualIndex);

    void setGridStyleSheet(const StyleSheet& sheet);
    const StyleSheet& gridStyleSheet() const { return sheet_; }
    void setDateFormats(const QString& date, const QString& dateTime);

    // Filter row: the same as typing `text` into the column's filter cell.
    void setFilterText(int col, const QString& text);
    QString filterText(int col) const;
    // Header drop-down: tick these values (as shown) and, with `blanks`, "(Blanks)".
    void setHeaderFilter(int col, const QStringList& values, bool blanks);
    void clearFilter();
    void setFilterEnabled(bool on);
    bool hasFilter() const { return engine_.hasFilter(); }
    // The filter in words, as the filter box shows it.
    QString filterDescription() const;

    // A click on a header: sorts by that column alone, or reverses it when it already is the sort;
    // with `add` (Shift) it becomes one more sort key.
    void sortByColumn(int col, Qt::SortOrder order, bool add = false);
    void toggleSort(int col, bool add = false);
    void clearSort();
    const std::vector<SortKey>& sortKeys() const { return engine_.sortKeys(); }

    // Grouping: `level` -1 appends. A grouped column leaves the headers while it is grouped.
    void groupByColumn(int col, int level = -1);
    void ungroupColumn(int col, int toVisualIndex = -1);
    void toggleGroupOrder(int col);
    std::vector<int> groupedColumns() const;
    const std::vector<SortKey>& grouping() const { return engine_.grouping(); }
    void expandAll();
    void collapseAll();

    // The source records in the order and under the filter the view shows them (grouped order when
    // grouped; group rows are not records).
    const std::vector<int>& records() const { return engine_.records(); }
    int filteredRecordCount() const { return int(engine_.records().size()); }
    // The focused record's source row; -1 when nothing or a group row has the focus.
    int focusedRecord() const;
    bool focusedRowIsGroup() const;
    int focusedColumn() const { return focusCol_; }
    int focusedViewRow() const { return focusView_; }
    // Record by record in the order shown, opening groups on the way. Return false when there is none.
    bool focusFirst();
    bool focusNext();
    bool focusPrior();
    bool focusLast();
    bool focusRecord(int sourceRow);
    void setFocusedColumn(int col);

    // Text of a cell as shown.
    QString displayText(int sourceRow, int col) const;
    // The rows on screen, for painting and for tests that click: view row `v` spans this rectangle of
    // the viewport.
    QRect viewRowRect(int v) const;
    QRect cellRect(int v, int col) const;
    int viewRowAt(int y) const;
    int columnAt(int x) const;
    int rowHeight() const { return rowHeight_; }

    const GridEngine& engine() const { return engine_; }
    GridHeader* header() const { return header_; }
    QLineEdit* filterEditor(int col) const;
    QWidget* filterRow() const { return filterRow_; }
    QWidget* indicator() const { return indicator_; }

    // Where header drags can be dropped to group (the group-by box).
    void setGroupDropTarget(GroupDropTarget* target);
    GroupDropTarget* groupDropTarget() const { return dropTarget_; }
    void showHeaderFilterPopup(int col);
    FilterPopup* headerFilterPopup() const { return popup_; }

signals:
    // The rows shown changed: filter, sort, grouping, expansion or new data.
    void rowsChanged();
    void focusChanged();
    void groupingChanged();
    void filterChanged();
    void sortChanged();

protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;

private:
    friend class IndicatorColumn;
    friend class CornerCell;
    class Source;

    void onOpened();
    void onClosed();
    void onRowsChanged(int first, int last);
    void onCurrentChanged(int row);
    void loadRows();

    void afterRowsChanged(bool keepFocus);
    void setFocusView(int v, bool syncDataSet = true);
    void noteFocusIdentity();
    void restoreFocus();
    void followDataSet();
    void ensureVisible(int v);
    void updateGeometries();
    void updateScrollRanges();
    void layoutFilterEditors();
    void applyStyles();
    int groupIndent() const;
    int fullRowsPerPage() const;
    void moveFocusedCell(int step);
    void toggleGroupAt(int v);

    const QStaticText& cellText(const QString& text, int width);
    void paintDataRow(QPainter& p, int v, int y);
    void paintGroupRow(QPainter& p, int v, int y);
    void paintIndicator(QPainter& p);

    GridEngine engine_;
    std::unique_ptr<Source> source_;
    QPointer<pg::Query> query_;
    std::vector<QMetaObject::Connection> queryConns_;
    GridHeader* header_ = nullptr;
    QWidget* filterRow_ = nullptr;
    QWidget* indicator_ = nullptr;
    QWidget* corner_ = nullptr;
    std::vector<QLineEdit*> editors_;
    QPointer<GroupDropTarget> dropTarget_;
    QPointer<FilterPopup> popup_;
    StyleSheet sheet_;
    QFont contentFont_;
    struct TextKey {
        QString text;
        int width;
        bool operator==(const TextKey&) const = default;
        friend size_t qHash(const TextKey& k, size_t seed = 0) { return qHashMulti(seed, k.text, k.width); }
    };
    QHash<TextKey, QStaticText> textCache_;

    int rowHeight_ = 20;
    int filterRowHeight_ = 22;
    int focusView_ = -1;
    int focusCol_ = -1;
    int focusRecord_ = -1;          // source row of the focused record
    std::string focusGroupKey_;     // or the focused group row
    bool syncing_ = false;          // the dataset is being moved by the view
};

}  // namespace qv::grid
