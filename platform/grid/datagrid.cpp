#include "platform/grid/datagrid.h"

#include <QVBoxLayout>

#include "platform/grid/parts.h"

namespace qv::grid {

DataGrid::DataGrid(QWidget* parent) : QWidget(parent) {
    auto* lay = new QVBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->setSpacing(0);
    view_ = new GridView(this);
    view_->setObjectName(QStringLiteral("view"));
    groupBox_ = new GroupByBox(view_, this);
    filterBox_ = new FilterBox(view_, this);
    navigator_ = new NavigatorBar(view_, this);
    view_->setGroupDropTarget(groupBox_);
    lay->addWidget(groupBox_);
    lay->addWidget(view_, 1);
    lay->addWidget(filterBox_);
    lay->addWidget(navigator_);
    // Tab into the grid lands on its rows.
    setFocusProxy(view_);
}

void DataGrid::setGridStyleSheet(const StyleSheet& sheet) {
    view_->setGridStyleSheet(sheet);
    groupBox_->updateGeometry();
    groupBox_->update();
    filterBox_->refresh();
    navigator_->update();
}

}  // namespace qv::grid
