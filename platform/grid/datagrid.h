// The data grid: a group-by box, one table view of a dataset, a filter box and a navigator bar. The
// owner binds the view to a dataset and names it; everything the program asks of the grid (the records
// shown, the focus, the filter) is asked of the view.
#pragma once

#include <QWidget>

#include "platform/grid/gridview.h"
#include "platform/grid/stylesheet.h"

namespace qv::grid {

class FilterBox;
class GroupByBox;
class NavigatorBar;

class DataGrid : public QWidget {
    Q_OBJECT
public:
    explicit DataGrid(QWidget* parent = nullptr);

    GridView* view() const { return view_; }
    GroupByBox* groupByBox() const { return groupBox_; }
    FilterBox* filterBox() const { return filterBox_; }
    NavigatorBar* navigator() const { return navigator_; }

    // Applies the style sheet to every part of the grid.
    void setGridStyleSheet(const StyleSheet& sheet);

private:
    GridView* view_;
    GroupByBox* groupBox_;
    FilterBox* filterBox_;
    NavigatorBar* navigator_;
};

}  // namespace qv::grid
