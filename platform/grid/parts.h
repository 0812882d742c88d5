// The pieces a grid view is made of besides its rows: the column header, the header filter drop-down,
// the group-by box, the filter box and the navigator bar.
#pragma once

#include <QAbstractListModel>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QWidget>

#include <vector>

class QCheckBox;
class QListView;
class QToolButton;

namespace qv::grid {

class GridView;

// Something a header can be dragged onto to group by its column (the group-by box).
class GroupDropTarget : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    // The grouping level a drop at this global position would take, -1 when it is not over the target.
    virtual int dropLevelAt(const QPoint& globalPos) const = 0;
    // Shows where a drop would go (-1 hides the mark).
    virtual void showDropMark(int level) = 0;
};

// A floating label that follows the mouse while a column is dragged.
class DragLabel : public QLabel {
    Q_OBJECT
public:
    DragLabel(const QString& text, QWidget* window);
    void follow(const QPoint& globalPos);
};

class GridHeader : public QHeaderView {
    Q_OBJECT
public:
    explicit GridHeader(GridView* view);
    void setIndent(int px);
    int indent() const { return indent_; }
    // The drop-down button inside a section, in header coordinates.
    QRect filterButtonRect(int logical) const;
    // Where a column dropped at this viewport x would go: before the section at that visual index
    // (the section count: after the last).
    int dropSlotAt(int x) const;
    void showDropMark(int slot);   // -1 hides it
    // The visual index a section now at `from` takes when dropped in `slot`.
    static int slotToVisual(int from, int slot) { return slot > from ? slot - 1 : slot; }
    // The keyboard modifiers of the last click (Shift adds a sort key, Ctrl removes one).
    Qt::KeyboardModifiers clickModifiers() const { return clickModifiers_; }

signals:
    void filterButtonClicked(int logical);

protected:
    void paintSection(QPainter* p, const QRect& rect, int logical) const override;
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    void finishDrag(const QPoint& globalPos);
    void cancelBaseState();

    GridView* view_;
    int indent_ = 0;
    int pressed_ = -1;        // logical section pressed, not on a resize handle
    QPoint pressPos_;
    bool dragging_ = false;
    int dropMark_ = -1;
    QPointer<DragLabel> label_;
    Qt::KeyboardModifiers clickModifiers_;
};

// The values of one column to tick, for the header drop-down.
class FilterValuesModel : public QAbstractListModel {
    Q_OBJECT
public:
    struct Entry {
        QString label;    // as listed
        QString value;    // as given to the filter
        bool blanks = false;
        bool all = false;
        bool checked = false;
    };
    explicit FilterValuesModel(QObject* parent = nullptr) : QAbstractListModel(parent) {}
    void setEntries(std::vector<Entry> entries);
    const std::vector<Entry>& entries() const { return entries_; }
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

signals:
    void tickedChanged();

private:
    std::vector<Entry> entries_;
};

class FilterPopup : public QFrame {
    Q_OBJECT
public:
    FilterPopup(GridView* view, int column);
    int column() const { return column_; }
    FilterValuesModel* model() const { return model_; }
    QListView* list() const { return list_; }
    // Ticks (or unticks) the entry with this label, as a click on it would.
    bool tick(const QString& label, bool on = true);

private:
    void apply();

    GridView* view_;
    int column_;
    FilterValuesModel* model_;
    QListView* list_;
};

class GroupByBox : public GroupDropTarget {
    Q_OBJECT
public:
    explicit GroupByBox(GridView* view, QWidget* parent = nullptr);
    int dropLevelAt(const QPoint& globalPos) const override;
    void showDropMark(int level) override;
    QRect chipRect(int level) const;
    QRect closeRect(int level) const;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

    static QString hintText();

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    int levelAt(const QPoint& pos) const;
    std::vector<QRect> chips() const;

    GridView* view_;
    int dropMark_ = -1;
    int pressed_ = -1;
    QPoint pressPos_;
    bool dragging_ = false;
    QPointer<DragLabel> label_;
};

// Shown while a filter is set: the filter in words, a box to switch it off and a button to clear it.
class FilterBox : public QWidget {
    Q_OBJECT
public:
    explicit FilterBox(GridView* view, QWidget* parent = nullptr);
    QToolButton* clearButton() const { return clear_; }
    QCheckBox* enabledBox() const { return enabled_; }
    QLabel* textLabel() const { return text_; }
    void refresh();

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    GridView* view_;
    QToolButton* clear_;
    QCheckBox* enabled_;
    QLabel* text_;
};

class NavigatorBar : public QWidget {
    Q_OBJECT
public:
    explicit NavigatorBar(GridView* view, QWidget* parent = nullptr);
    QLabel* recordInfo() const { return info_; }
    void refresh();

private:
    GridView* view_;
    QLabel* info_;
};

}  // namespace qv::grid
