#include "platform/grid/parts.h"

#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QListView>
#include <QMouseEvent>
#include <QPainter>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

#include "platform/grid/gridview.h"
#include "platform/pg/pg.h"

namespace qv::grid {
namespace {

constexpr int kFilterButton = 12;
constexpr int kChipClose = 14;

QColor styleColor(const Style& s, QColor Style::*member, const QColor& fallback) {
    return (s.*member).isValid() ? s.*member : fallback;
}

void drawArrow(QPainter& p, const QRect& r, bool up, const QColor& c) {
    const QPoint m = r.center();
    QPolygon tri;
    if (up) tri << QPoint(m.x() - 4, m.y() + 2) << QPoint(m.x() + 4, m.y() + 2) << QPoint(m.x(), m.y() - 2);
    else tri << QPoint(m.x() - 4, m.y() - 2) << QPoint(m.x() + 4, m.y() - 2) << QPoint(m.x(), m.y() + 2);
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPolygon(tri);
    p.restore();
}

// A raised box in the header's colours, as headers and grouped columns are drawn.
void drawHeaderBox(QPainter& p, const QRect& r, const QColor& bg) {
    p.fillRect(r, bg);
    p.setPen(bg.lighter(140));
    p.drawLine(r.topLeft(), r.topRight());
    p.drawLine(r.topLeft(), r.bottomLeft());
    p.setPen(bg.darker(160));
    p.drawLine(r.bottomLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomRight());
}

bool overWidget(const QWidget* w, const QPoint& globalPos, int slack = 0) {
    return w && w->isVisible() && w->rect().adjusted(0, -slack, 0, slack).contains(w->mapFromGlobal(globalPos));
}

}  // namespace

// --- drag label ----------------------------------------------------------------------------------

DragLabel::DragLabel(const QString& text, QWidget* window) : QLabel(text, window) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFrameShape(QFrame::Box);
    setAutoFillBackground(true);
    setMargin(3);
    adjustSize();
    raise();
    show();
}

void DragLabel::follow(const QPoint& globalPos) { move(parentWidget()->mapFromGlobal(globalPos) + QPoint(10, 6)); }

// --- header --------------------------------------------------------------------------------------

GridHeader::GridHeader(GridView* view) : QHeaderView(Qt::Horizontal, view), view_(view) {
    setObjectName(QStringLiteral("header"));
    setSectionsClickable(true);
    // Moving is done here rather than by QHeaderView, because a header may also be dragged out of the
    // header into the group-by box.
    setSectionsMovable(false);
    setHighlightSections(false);
    setStretchLastSection(false);
    setMinimumSectionSize(24);
    setDefaultSectionSize(100);
    setSectionResizeMode(QHeaderView::Interactive);
    setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setFocusPolicy(Qt::NoFocus);
}

void GridHeader::setIndent(int px) {
    if (px == indent_) return;
    indent_ = px;
    setViewportMargins(px, 0, 0, 0);
}

QRect GridHeader::filterButtonRect(int logical) const {
    const int right = sectionViewportPosition(logical) + sectionSize(logical);
    return QRect(right - kFilterButton - 4, (height() - kFilterButton) / 2, kFilterButton, kFilterButton);
}

int GridHeader::dropSlotAt(int x) const {
    const int n = count();
    for (int vis = 0; vis < n; ++vis) {
        const int l = logicalIndex(vis);
        if (isSectionHidden(l)) continue;
        const int left = sectionViewportPosition(l);
        if (x < left + sectionSize(l) / 2) return vis;
    }
    return n;
}

void GridHeader::showDropMark(int slot) {
    if (slot == dropMark_) return;
    dropMark_ = slot;
    viewport()->update();
}

void GridHeader::paintSection(QPainter* p, const QRect& rect, int logical) const {
    const StyleSheet& s = view_->gridStyleSheet();
    const Style& hs = s[StyleElement::Header];
    const QColor bg = styleColor(hs, &Style::background, palette().button().color());
    const QColor fg = styleColor(hs, &Style::text, palette().buttonText().color());
    p->save();
    drawHeaderBox(*p, rect.adjusted(0, 0, -1, -1), bg);
    QRect tr = rect.adjusted(4, 0, -4, 0);

    // The value drop-down; filled while the column has ticked values.
    const QRect fb(rect.right() - kFilterButton - 4, rect.top() + (rect.height() - kFilterButton) / 2, kFilterButton,
                   kFilterButton);
    const bool filtered = view_->engine().hasValueFilter(logical);
    if (filtered) p->fillRect(fb, fg);
    p->setPen(fg);
    p->drawRect(fb.adjusted(0, 0, -1, -1));
    drawArrow(*p, fb, false, filtered ? bg : fg);
    tr.setRight(fb.left() - 3);

    for (const SortKey& k : view_->sortKeys()) {
        if (k.column != logical) continue;
        const QRect ar(tr.right() - 10, rect.top(), 10, rect.height());
        drawArrow(*p, ar, k.order == Qt::AscendingOrder, fg);
        tr.setRight(ar.left() - 2);
    }
    p->setPen(fg);
    p->setFont(font());
    const QString caption = model()->headerData(logical, Qt::Horizontal, Qt::DisplayRole).toString();
    p->drawText(tr, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                p->fontMetrics().elidedText(caption, Qt::ElideRight, tr.width()));
    p->restore();
}

void GridHeader::paintEvent(QPaintEvent* e) {
    QHeaderView::paintEvent(e);
    if (dropMark_ < 0) return;
    int x = 0;
    int vis = dropMark_;
    while (vis < count() && isSectionHidden(logicalIndex(vis))) ++vis;
    if (vis < count()) x = sectionViewportPosition(logicalIndex(vis));
    else x = length() - offset();
    QPainter p(viewport());
    p.fillRect(QRect(x - 1, 0, 3, viewport()->height()), Qt::red);
}

void GridHeader::mousePressEvent(QMouseEvent* e) {
    pressed_ = -1;
    dragging_ = false;
    if (e->button() == Qt::LeftButton) {
        const QPoint pos = e->position().toPoint();
        const int logical = logicalIndexAt(pos.x());
        if (logical >= 0 && filterButtonRect(logical).contains(pos)) {
            emit filterButtonClicked(logical);
            return;
        }
        if (logical >= 0) {
            // Not on a resize handle: QHeaderView resizes from a few pixels either side of an edge.
            const int left = sectionViewportPosition(logical), right = left + sectionSize(logical);
            const int grip = style()->pixelMetric(QStyle::PM_HeaderGripMargin, nullptr, this) + 1;
            if (pos.x() - left > grip && right - pos.x() > grip) {
                pressed_ = logical;
                pressPos_ = pos;
            }
        }
    }
    QHeaderView::mousePressEvent(e);
}

void GridHeader::mouseMoveEvent(QMouseEvent* e) {
    if (pressed_ >= 0 && (e->buttons() & Qt::LeftButton)) {
        const QPoint pos = e->position().toPoint();
        if (!dragging_ && (pos - pressPos_).manhattanLength() >= QApplication::startDragDistance()) {
            dragging_ = true;
            label_ = new DragLabel(model()->headerData(pressed_, Qt::Horizontal).toString(), window());
        }
        if (dragging_) {
            const QPoint g = e->globalPosition().toPoint();
            if (label_) label_->follow(g);
            GroupDropTarget* target = view_->groupDropTarget();
            const int level = target ? target->dropLevelAt(g) : -1;
            if (target) target->showDropMark(level);
            showDropMark(level < 0 && overWidget(viewport(), g, 20) ? dropSlotAt(pos.x()) : -1);
            return;
        }
    }
    QHeaderView::mouseMoveEvent(e);
}

void GridHeader::mouseReleaseEvent(QMouseEvent* e) {
    clickModifiers_ = e->modifiers();
    if (dragging_) {
        finishDrag(e->globalPosition().toPoint());
        cancelBaseState();
        return;
    }
    pressed_ = -1;
    QHeaderView::mouseReleaseEvent(e);
}

void GridHeader::cancelBaseState() {
    // QHeaderView still thinks a click is under way; a release far outside every section ends it
    // without a click.
    QMouseEvent off(QEvent::MouseButtonRelease, QPointF(-10000, -10000), QPointF(-10000, -10000), Qt::LeftButton,
                    Qt::NoButton, Qt::NoModifier);
    QHeaderView::mouseReleaseEvent(&off);
}

void GridHeader::finishDrag(const QPoint& globalPos) {
    const int col = pressed_;
    pressed_ = -1;
    dragging_ = false;
    delete label_;
    showDropMark(-1);
    GroupDropTarget* target = view_->groupDropTarget();
    const int level = target ? target->dropLevelAt(globalPos) : -1;
    if (target) target->showDropMark(-1);
    if (level >= 0) {
        view_->groupByColumn(col, level);
        return;
    }
    if (overWidget(viewport(), globalPos, 20)) {
        const int slot = dropSlotAt(viewport()->mapFromGlobal(globalPos).x());
        view_->moveColumn(col, slotToVisual(visualIndex(col), slot));
    }
}

// --- header drop-down ----------------------------------------------------------------------------

void FilterValuesModel::setEntries(std::vector<Entry> entries) {
    beginResetModel();
    entries_ = std::move(entries);
    endResetModel();
}

int FilterValuesModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(entries_.size()); }

QVariant FilterValuesModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= int(entries_.size())) return {};
    const Entry& e = entries_[size_t(index.row())];
    if (role == Qt::DisplayRole) return e.label;
    if (role == Qt::CheckStateRole && !e.all) return e.checked ? Qt::Checked : Qt::Unchecked;
    return {};
}

bool FilterValuesModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || role != Qt::CheckStateRole) return false;
    Entry& e = entries_[size_t(index.row())];
    if (e.all) {
        for (Entry& x : entries_) x.checked = false;
        emit dataChanged(this->index(0), this->index(int(entries_.size()) - 1));
    } else {
        e.checked = value.toInt() == Qt::Checked;
        emit dataChanged(index, index);
    }
    emit tickedChanged();
    return true;
}

Qt::ItemFlags FilterValuesModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (!entries_[size_t(index.row())].all) f |= Qt::ItemIsUserCheckable;
    return f;
}

FilterPopup::FilterPopup(GridView* view, int column)
    : QFrame(view, Qt::Popup), view_(view), column_(column) {
    setObjectName(QStringLiteral("headerFilterPopup"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFrameShape(QFrame::Box);
    auto* lay = new QVBoxLayout(this);
    lay->setContentsMargins(1, 1, 1, 1);
    list_ = new QListView(this);
    list_->setUniformItemSizes(true);
    model_ = new FilterValuesModel(this);
    list_->setModel(model_);
    lay->addWidget(list_);

    const GridEngine& eng = view->engine();
    const bool text = eng.columns()[size_t(column)].kind == ValueKind::Text;
    const QStringList& ticked = eng.valueFilter(column);
    std::vector<FilterValuesModel::Entry> entries;
    entries.push_back({QStringLiteral("(All)"), {}, false, true, false});
    if (eng.hasBlanks(column))
        entries.push_back({QStringLiteral("(Blanks)"), {}, true, false, eng.valueFilterBlanks(column)});
    pg::Query* q = view->dataSet();
    for (int row : eng.distinctRows(column)) {
        // Text is filtered by its stored value (a value may hold line breaks), the rest as shown.
        QString value = view->displayText(row, column);
        if (text && q) {
            const std::string_view raw = q->rawValue(row, column);
            value = QString::fromUtf8(raw.data(), qsizetype(raw.size()));
        }
        const bool on = std::any_of(ticked.begin(), ticked.end(), [&](const QString& t) {
            return text ? t.compare(value, Qt::CaseInsensitive) == 0 : t == value;
        });
        entries.push_back({view->displayText(row, column).simplified(), value, false, false, on});
    }
    model_->setEntries(std::move(entries));
    connect(model_, &FilterValuesModel::tickedChanged, this, &FilterPopup::apply);
    // A click anywhere on a line ticks it, not only on its box.
    connect(list_, &QListView::clicked, this, [this](const QModelIndex& i) {
        const auto& e = model_->entries()[size_t(i.row())];
        if (e.all) {
            model_->setData(i, Qt::Checked, Qt::CheckStateRole);
            close();
        }
    });
}

bool FilterPopup::tick(const QString& label, bool on) {
    const auto& entries = model_->entries();
    for (size_t i = 0; i < entries.size(); ++i)
        if (entries[i].label == label)
            return model_->setData(model_->index(int(i)), on ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
    return false;
}

void FilterPopup::apply() {
    QStringList values;
    bool blanks = false;
    for (const auto& e : model_->entries()) {
        if (!e.checked) continue;
        if (e.blanks) blanks = true;
        else if (!e.all) values << e.value;
    }
    view_->setHeaderFilter(column_, values, blanks);
}

// --- group-by box --------------------------------------------------------------------------------

GroupByBox::GroupByBox(GridView* view, QWidget* parent) : GroupDropTarget(parent), view_(view) {
    setObjectName(QStringLiteral("groupByBox"));
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    connect(view, &GridView::groupingChanged, this, [this] {
        updateGeometry();
        update();
    });
    connect(view, &GridView::sortChanged, this, qOverload<>(&QWidget::update));
}

QString GroupByBox::hintText() { return QStringLiteral("Drag a column header here to group by that column"); }

std::vector<QRect> GroupByBox::chips() const {
    std::vector<QRect> out;
    const QFont f = view_->gridStyleSheet()[StyleElement::Header].font.value_or(font());
    const QFontMetrics fm(f);
    const int h = view_->header()->height();
    int x = 8;
    const auto& levels = view_->grouping();
    for (size_t l = 0; l < levels.size(); ++l) {
        const int w = fm.horizontalAdvance(view_->columnCaption(levels[l].column)) + 8 + 12 + kChipClose + 4;
        // Each level a step lower, as a staircase from the outermost group.
        out.emplace_back(x, 6 + int(l) * (h / 2), w, h);
        x += w + 10;
    }
    return out;
}

QSize GroupByBox::sizeHint() const {
    const int h = view_->header()->height();
    const int levels = std::max<int>(1, int(view_->grouping().size()));
    return QSize(200, 12 + h + (levels - 1) * (h / 2));
}

QRect GroupByBox::chipRect(int level) const {
    const auto c = chips();
    return level >= 0 && level < int(c.size()) ? c[size_t(level)] : QRect();
}

QRect GroupByBox::closeRect(int level) const {
    const QRect r = chipRect(level);
    return r.isNull() ? r : QRect(r.right() - kChipClose - 2, r.top(), kChipClose, r.height());
}

int GroupByBox::levelAt(const QPoint& pos) const {
    const auto c = chips();
    for (size_t l = 0; l < c.size(); ++l)
        if (c[l].contains(pos)) return int(l);
    return -1;
}

int GroupByBox::dropLevelAt(const QPoint& globalPos) const {
    if (!isVisible()) return -1;
    const QPoint p = mapFromGlobal(globalPos);
    if (!rect().contains(p)) return -1;
    const auto c = chips();
    for (size_t l = 0; l < c.size(); ++l)
        if (p.x() < c[l].center().x()) return int(l);
    return int(c.size());
}

void GroupByBox::showDropMark(int level) {
    if (level == dropMark_) return;
    dropMark_ = level;
    update();
}

void GroupByBox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const StyleSheet& s = view_->gridStyleSheet();
    const Style& box = s[StyleElement::GroupByBox];
    const Style& hs = s[StyleElement::Header];
    p.fillRect(rect(), styleColor(box, &Style::background, palette().window().color()));
    const auto c = chips();
    if (c.empty()) {
        p.setPen(styleColor(box, &Style::text, palette().windowText().color()));
        p.drawText(rect().adjusted(8, 0, -8, 0), Qt::AlignLeft | Qt::AlignVCenter, hintText());
    }
    const QColor bg = styleColor(hs, &Style::background, palette().button().color());
    const QColor fg = styleColor(hs, &Style::text, palette().buttonText().color());
    p.setFont(hs.font.value_or(font()));
    const auto& levels = view_->grouping();
    for (size_t l = 0; l < c.size(); ++l) {
        const QRect r = c[l];
        if (l > 0) {
            // The connector from the outer group down to this one.
            p.setPen(styleColor(box, &Style::text, palette().windowText().color()));
            const QRect prev = c[l - 1];
            p.drawLine(prev.left() + 10, prev.bottom(), prev.left() + 10, r.center().y());
            p.drawLine(prev.left() + 10, r.center().y(), r.left(), r.center().y());
        }
        drawHeaderBox(p, r, bg);
        p.setPen(fg);
        const QRect close = closeRect(int(l));
        QRect tr = r.adjusted(6, 0, -(kChipClose + 4), 0);
        const QRect arrow(tr.right() - 10, r.top(), 10, r.height());
        drawArrow(p, arrow, levels[l].order == Qt::AscendingOrder, fg);
        tr.setRight(arrow.left() - 2);
        p.drawText(tr, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, view_->columnCaption(levels[l].column));
        // The cross that ungroups.
        const QPoint m = close.center();
        p.drawLine(m.x() - 3, m.y() - 3, m.x() + 3, m.y() + 3);
        p.drawLine(m.x() - 3, m.y() + 3, m.x() + 3, m.y() - 3);
    }
    if (dropMark_ >= 0) {
        int x = 6;
        if (dropMark_ < int(c.size())) x = c[size_t(dropMark_)].left() - 5;
        else if (!c.empty()) x = c.back().right() + 5;
        p.fillRect(QRect(x - 1, 2, 3, height() - 4), Qt::red);
    }
}

void GroupByBox::mousePressEvent(QMouseEvent* e) {
    pressed_ = -1;
    dragging_ = false;
    if (e->button() != Qt::LeftButton) return;
    const QPoint pos = e->position().toPoint();
    const int level = levelAt(pos);
    if (level < 0) return;
    if (closeRect(level).contains(pos)) {
        view_->ungroupColumn(view_->grouping()[size_t(level)].column);
        return;
    }
    pressed_ = level;
    pressPos_ = pos;
}

void GroupByBox::mouseMoveEvent(QMouseEvent* e) {
    if (pressed_ < 0 || !(e->buttons() & Qt::LeftButton)) return;
    const QPoint pos = e->position().toPoint();
    if (!dragging_ && (pos - pressPos_).manhattanLength() >= QApplication::startDragDistance()) {
        dragging_ = true;
        label_ = new DragLabel(view_->columnCaption(view_->grouping()[size_t(pressed_)].column), window());
    }
    if (!dragging_) return;
    const QPoint g = e->globalPosition().toPoint();
    if (label_) label_->follow(g);
    showDropMark(dropLevelAt(g));
    GridHeader* h = view_->header();
    h->showDropMark(overWidget(h->viewport(), g, 20) ? h->dropSlotAt(h->viewport()->mapFromGlobal(g).x()) : -1);
}

void GroupByBox::mouseReleaseEvent(QMouseEvent* e) {
    const int level = pressed_;
    pressed_ = -1;
    if (level < 0 || level >= int(view_->grouping().size())) return;
    const int col = view_->grouping()[size_t(level)].column;
    if (!dragging_) {
        // A click reverses the order of the groups.
        if (levelAt(e->position().toPoint()) == level) view_->toggleGroupOrder(col);
        return;
    }
    dragging_ = false;
    delete label_;
    showDropMark(-1);
    GridHeader* h = view_->header();
    h->showDropMark(-1);
    const QPoint g = e->globalPosition().toPoint();
    const int to = dropLevelAt(g);
    if (to >= 0) {
        // Moved within the box: another level.
        const int newLevel = to > level ? to - 1 : to;
        if (newLevel != level) view_->groupByColumn(col, newLevel);
        return;
    }
    int visual = -1;
    if (overWidget(h->viewport(), g, 20))
        visual = GridHeader::slotToVisual(h->visualIndex(col), h->dropSlotAt(h->viewport()->mapFromGlobal(g).x()));
    view_->ungroupColumn(col, visual);
}

// --- filter box ----------------------------------------------------------------------------------

FilterBox::FilterBox(GridView* view, QWidget* parent) : QWidget(parent), view_(view) {
    setObjectName(QStringLiteral("filterBox"));
    auto* lay = new QHBoxLayout(this);
    lay->setContentsMargins(4, 2, 4, 2);
    clear_ = new QToolButton(this);
    clear_->setObjectName(QStringLiteral("filterBoxClear"));
    clear_->setText(QStringLiteral("\u00D7"));
    clear_->setToolTip(QStringLiteral("Clear the filter"));
    clear_->setAutoRaise(true);
    // Mouse-only, like the navigator: Tab goes from the grid's rows straight to the next control.
    clear_->setFocusPolicy(Qt::NoFocus);
    enabled_ = new QCheckBox(this);
    enabled_->setFocusPolicy(Qt::NoFocus);
    enabled_->setObjectName(QStringLiteral("filterBoxEnabled"));
    enabled_->setToolTip(QStringLiteral("Apply the filter"));
    text_ = new QLabel(this);
    text_->setObjectName(QStringLiteral("filterBoxText"));
    lay->addWidget(clear_);
    lay->addWidget(enabled_);
    lay->addWidget(text_, 1);
    connect(clear_, &QToolButton::clicked, view, &GridView::clearFilter);
    connect(enabled_, &QCheckBox::toggled, view, [view](bool on) {
        if (view->engine().filterEnabled() != on) view->setFilterEnabled(on);
    });
    connect(view, &GridView::filterChanged, this, &FilterBox::refresh);
    refresh();
}

void FilterBox::refresh() {
    const Style& st = view_->gridStyleSheet()[StyleElement::FilterBox];
    QPalette pal = text_->palette();
    pal.setColor(QPalette::WindowText, styleColor(st, &Style::text, palette().windowText().color()));
    text_->setPalette(pal);
    if (st.font) text_->setFont(*st.font);
    {
        QSignalBlocker b(enabled_);
        enabled_->setChecked(view_->engine().filterEnabled());
    }
    text_->setText(view_->filterDescription());
    setVisible(view_->hasFilter());
    update();
}

void FilterBox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), styleColor(view_->gridStyleSheet()[StyleElement::FilterBox], &Style::background,
                                  palette().window().color()));
}

// --- navigator -----------------------------------------------------------------------------------

NavigatorBar::NavigatorBar(GridView* view, QWidget* parent) : QWidget(parent), view_(view) {
    setObjectName(QStringLiteral("navigator"));
    auto* lay = new QHBoxLayout(this);
    lay->setContentsMargins(2, 2, 2, 2);
    lay->setSpacing(1);
    struct Button { const char* name; const char* text; const char* tip; bool (GridView::*go)(); };
    const Button buttons[] = {
        {"navFirst", "|\u25C0", "First record", &GridView::focusFirst},
        {"navPrior", "\u25C0", "Prior record", &GridView::focusPrior},
        {"navNext", "\u25B6", "Next record", &GridView::focusNext},
        {"navLast", "\u25B6|", "Last record", &GridView::focusLast},
    };
    for (const Button& b : buttons) {
        auto* t = new QToolButton(this);
        t->setObjectName(QLatin1String(b.name));
        t->setText(QString::fromUtf8(b.text));
        t->setToolTip(QLatin1String(b.tip));
        t->setAutoRaise(true);
        t->setFocusPolicy(Qt::NoFocus);
        const auto go = b.go;
        connect(t, &QToolButton::clicked, view, [view, go] { (view->*go)(); });
        lay->addWidget(t);
    }
    info_ = new QLabel(this);
    info_->setObjectName(QStringLiteral("recordInfo"));
    info_->setMinimumWidth(120);
    lay->addSpacing(6);
    lay->addWidget(info_);
    lay->addStretch(1);
    connect(view, &GridView::focusChanged, this, &NavigatorBar::refresh);
    connect(view, &GridView::rowsChanged, this, &NavigatorBar::refresh);
    refresh();
}

void NavigatorBar::refresh() {
    const int n = view_->filteredRecordCount();
    int i = 0;
    const int v = view_->focusedViewRow();
    if (v >= 0) {
        const GridEngine& e = view_->engine();
        // On a group row, the record the dataset stands on: the group's first.
        const int pos = e.isGroupRow(v) ? e.groups()[size_t(e.groupAt(v))].begin : e.positionAt(v);
        i = pos + 1;
    }
    info_->setText(QStringLiteral("Record %1 of %2").arg(i).arg(n));
}

}  // namespace qv::grid
