#include "platform/grid/gridview.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

#include "platform/grid/parts.h"
#include "platform/pg/pg.h"

namespace qv::grid {
namespace {

constexpr int kIndicatorWidth = 14;
constexpr int kGroupIndent = 18;

// The first colour that is set, going down the chain.
QColor pickColor(std::initializer_list<const Style*> chain, QColor Style::*member, const QColor& fallback) {
    for (const Style* s : chain)
        if (s && (s->*member).isValid()) return s->*member;
    return fallback;
}

ValueKind kindOf(pg::FieldType t) {
    switch (t) {
    case pg::FieldType::Integer:
    case pg::FieldType::LargeInt: return ValueKind::Integer;
    case pg::FieldType::Float: return ValueKind::Float;
    case pg::FieldType::Boolean: return ValueKind::Boolean;
    case pg::FieldType::Date: return ValueKind::Date;
    case pg::FieldType::DateTime: return ValueKind::DateTime;
    default: return ValueKind::Text;
    }
}

bool isNumeric(ValueKind k) { return k == ValueKind::Integer || k == ValueKind::Float; }

// Resets a flag however the scope is left (a dataset that refuses to move throws).
struct FlagGuard {
    explicit FlagGuard(bool& f) : f_(f) { f_ = true; }
    ~FlagGuard() { f_ = false; }
    bool& f_;
};

// Column captions for the header; the header needs a model for its section count.
class HeaderModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;
    void setCaptions(QStringList c) {
        beginResetModel();
        captions_ = std::move(c);
        endResetModel();
    }
    void setCaption(int col, const QString& c) {
        captions_[col] = c;
        emit headerDataChanged(Qt::Horizontal, col, col);
    }
    int rowCount(const QModelIndex& = {}) const override { return 0; }
    int columnCount(const QModelIndex& = {}) const override { return int(captions_.size()); }
    QVariant data(const QModelIndex&, int) const override { return {}; }
    QVariant headerData(int section, Qt::Orientation o, int role) const override {
        if (o == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < captions_.size())
            return captions_[section];
        return {};
    }

private:
    QStringList captions_;
};

}  // namespace

class GridView::Source : public RowSource {
public:
    explicit Source(const pg::Query* q) : q_(q) {}
    int rowCount() const override { return q_->recordCount(); }
    bool isNull(int row, int col) const override { return q_->isNull(row, col); }
    std::string_view raw(int row, int col) const override { return q_->rawValue(row, col); }

private:
    const pg::Query* q_;
};

// The row indicator down the left side.
class IndicatorColumn : public QWidget {
public:
    explicit IndicatorColumn(GridView* v) : QWidget(v), view_(v) { setObjectName(QStringLiteral("indicator")); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        view_->paintIndicator(p);
    }
    void mousePressEvent(QMouseEvent* e) override {
        // A click beside a row selects it, as on its cells.
        const int v = view_->viewRowAt(e->position().toPoint().y());
        view_->setFocus(Qt::MouseFocusReason);
        if (v >= 0) view_->setFocusView(v);
    }

private:
    GridView* view_;
};

// The square above the indicator, beside the header and the filter row.
class CornerCell : public QWidget {
public:
    explicit CornerCell(GridView* v) : QWidget(v), view_(v) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const StyleSheet& s = view_->gridStyleSheet();
        const QColor bg = pickColor({&s[StyleElement::Header]}, &Style::background, palette().button().color());
        p.fillRect(rect(), bg);
        p.setPen(bg.darker(150));
        p.drawLine(rect().topRight(), rect().bottomRight());
        const int hh = view_->header()->height();
        p.drawLine(0, hh - 1, width(), hh - 1);
        p.drawLine(rect().bottomLeft(), rect().bottomRight());
        // A funnel marks the filter row.
        const QColor fg = pickColor({&s[StyleElement::Header]}, &Style::text, palette().buttonText().color());
        const int cy = hh + (height() - hh) / 2, cx = width() / 2;
        QPolygon funnel;
        funnel << QPoint(cx - 4, cy - 3) << QPoint(cx + 4, cy - 3) << QPoint(cx + 1, cy) << QPoint(cx + 1, cy + 4)
               << QPoint(cx - 1, cy + 4) << QPoint(cx - 1, cy);
        p.setBrush(fg);
        p.setPen(Qt::NoPen);
        p.drawPolygon(funnel);
    }

private:
    GridView* view_;
};

class FilterRowWidget : public QWidget {
public:
    explicit FilterRowWidget(GridView* v) : QWidget(v) { setObjectName(QStringLiteral("filterRow")); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), palette().base());
        p.setPen(palette().mid().color());
        p.drawLine(rect().bottomLeft(), rect().bottomRight());
    }
};

GridView::GridView(QWidget* parent) : QAbstractScrollArea(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    header_ = new GridHeader(this);
    header_->setModel(new HeaderModel(header_));
    filterRow_ = new FilterRowWidget(this);
    indicator_ = new IndicatorColumn(this);
    corner_ = new CornerCell(this);

    connect(header_, &QHeaderView::sectionResized, this, [this] {
        updateScrollRanges();
        layoutFilterEditors();
        viewport()->update();
    });
    connect(header_, &QHeaderView::sectionMoved, this, [this] {
        layoutFilterEditors();
        viewport()->update();
    });
    connect(header_, &QHeaderView::sectionClicked, this, [this](int col) {
        const Qt::KeyboardModifiers m = header_->clickModifiers();
        if (m & Qt::ControlModifier) {
            std::vector<SortKey> keys = engine_.sortKeys();
            std::erase_if(keys, [col](const SortKey& k) { return k.column == col; });
            engine_.setSort(std::move(keys));
            header_->viewport()->update();
            afterRowsChanged(true);
            emit sortChanged();
            return;
        }
        toggleSort(col, m & Qt::ShiftModifier);
    });
    connect(header_, &GridHeader::filterButtonClicked, this, &GridView::showHeaderFilterPopup);
    applyStyles();
}

GridView::~GridView() {
    for (auto& c : queryConns_) disconnect(c);
}

void GridView::setDataSet(pg::Query* query) {
    for (auto& c : queryConns_) disconnect(c);
    queryConns_.clear();
    query_ = query;
    source_.reset();
    std::vector<ColumnDef> cols;
    QStringList captions;
    if (query) {
        for (const pg::FieldDef& f : query->fields()) {
            cols.push_back({f.name, kindOf(f.type)});
            captions << f.name;
        }
        source_ = std::make_unique<Source>(query);
    }
    engine_.setColumns(std::move(cols));
    header_->setIndent(0);
    static_cast<HeaderModel*>(header_->model())->setCaptions(captions);
    for (QLineEdit* e : editors_) delete e;
    editors_.clear();
    for (int c = 0; c < engine_.columnCount(); ++c) {
        auto* e = new QLineEdit(filterRow_);
        e->setObjectName(QStringLiteral("filter_") + captions[c]);
        e->setFrame(false);
        e->setFocusPolicy(Qt::ClickFocus);   // not a Tab stop: Tab goes from the grid to the next control
        e->setFont(contentFont_);
        connect(e, &QLineEdit::textChanged, this, [this, c, e](const QString& text) {
            const bool ok = engine_.setFilterText(c, text);
            QPalette pal = e->palette();
            pal.setColor(QPalette::Text, ok ? palette().color(QPalette::Text) : QColor(Qt::red));
            e->setPalette(pal);
            afterRowsChanged(true);
            emit filterChanged();
        });
        editors_.push_back(e);
    }
    focusView_ = focusRecord_ = -1;
    focusGroupKey_.clear();
    focusCol_ = engine_.columnCount() > 0 ? 0 : -1;
    if (query) {
        queryConns_.push_back(connect(query, &pg::Query::opened, this, &GridView::onOpened));
        queryConns_.push_back(connect(query, &pg::Query::closed, this, &GridView::onClosed));
        queryConns_.push_back(connect(query, &pg::Query::rowsChanged, this, &GridView::onRowsChanged));
        queryConns_.push_back(connect(query, &pg::Query::currentChanged, this, &GridView::onCurrentChanged));
        queryConns_.push_back(connect(query, &QObject::destroyed, this, [this] { setDataSet(nullptr); }));
    }
    updateGeometries();
    if (query && query->isActive()) onOpened();
    else afterRowsChanged(false);
    emit groupingChanged();
    emit sortChanged();
    emit filterChanged();
}

int GridView::columnIndex(const QString& fieldName) const {
    const auto& cols = engine_.columns();
    for (size_t i = 0; i < cols.size(); ++i)
        if (cols[i].name == fieldName) return int(i);
    return -1;
}

void GridView::setColumnWidth(int col, int width) { header_->resizeSection(col, width); }

void GridView::setColumnWidth(const QString& fieldName, int width) {
    const int c = columnIndex(fieldName);
    if (c >= 0) setColumnWidth(c, width);
}

int GridView::columnWidth(int col) const { return header_->sectionSize(col); }

void GridView::setColumnCaption(int col, const QString& caption) {
    static_cast<HeaderModel*>(header_->model())->setCaption(col, caption);
}

QString GridView::columnCaption(int col) const {
    return header_->model()->headerData(col, Qt::Horizontal, Qt::DisplayRole).toString();
}

std::vector<int> GridView::visibleColumnOrder() const {
    std::vector<int> out;
    for (int v = 0; v < header_->count(); ++v) {
        const int l = header_->logicalIndex(v);
        if (!header_->isSectionHidden(l)) out.push_back(l);
    }
    return out;
}

void GridView::moveColumn(int col, int toVisualIndex) {
    const int from = header_->visualIndex(col);
    if (from < 0 || toVisualIndex < 0 || toVisualIndex >= header_->count() || from == toVisualIndex) return;
    header_->moveSection(from, toVisualIndex);
}

void GridView::setGridStyleSheet(const StyleSheet& sheet) {
    sheet_ = sheet;
    applyStyles();
}

void GridView::setDateFormats(const QString& date, const QString& dateTime) {
    engine_.setDateFormats(date, dateTime);
    viewport()->update();
}

void GridView::applyStyles() {
    contentFont_ = sheet_[StyleElement::Content].font.value_or(font());
    const QFont headerFont = sheet_[StyleElement::Header].font.value_or(font());
    header_->setFont(headerFont);
    header_->setFixedHeight(QFontMetrics(headerFont).height() + 8);
    QPalette hp = header_->palette();
    hp.setColor(QPalette::Window, pickColor({&sheet_[StyleElement::Background]}, &Style::background,
                                            palette().window().color()));
    header_->setPalette(hp);
    header_->setAutoFillBackground(true);
    rowHeight_ = QFontMetrics(contentFont_).height() + 6;
    textCache_.clear();
    filterRowHeight_ = rowHeight_ + 2;
    for (QLineEdit* e : editors_) e->setFont(contentFont_);
    updateGeometries();
    viewport()->update();
    header_->viewport()->update();
    indicator_->update();
    corner_->update();
}

int GridView::groupIndent() const { return int(engine_.grouping().size()) * kGroupIndent; }

void GridView::updateGeometries() {
    const int hh = header_->height();
    const int top = hh + filterRowHeight_;
    setViewportMargins(kIndicatorWidth, top, 0, 0);
    const QRect vg = viewport()->geometry();
    header_->setIndent(groupIndent());
    header_->setGeometry(vg.left(), vg.top() - top, vg.width(), hh);
    filterRow_->setGeometry(vg.left(), vg.top() - filterRowHeight_, vg.width(), filterRowHeight_);
    indicator_->setGeometry(vg.left() - kIndicatorWidth, vg.top(), kIndicatorWidth, vg.height());
    corner_->setGeometry(vg.left() - kIndicatorWidth, vg.top() - top, kIndicatorWidth, top);
    updateScrollRanges();
    layoutFilterEditors();
}

void GridView::updateScrollRanges() {
    const int page = std::max(1, fullRowsPerPage());
    verticalScrollBar()->setRange(0, std::max(0, engine_.viewRowCount() - page));
    verticalScrollBar()->setPageStep(page);
    verticalScrollBar()->setSingleStep(1);
    const int width = std::max(0, viewport()->width() - groupIndent());
    horizontalScrollBar()->setRange(0, std::max(0, header_->length() - width));
    horizontalScrollBar()->setPageStep(std::max(1, width));
    horizontalScrollBar()->setSingleStep(20);
    header_->setOffset(horizontalScrollBar()->value());
}

int GridView::fullRowsPerPage() const { return std::max(1, viewport()->height() / std::max(1, rowHeight_)); }

void GridView::layoutFilterEditors() {
    const int indent = groupIndent();
    for (int c = 0; c < int(editors_.size()); ++c) {
        QLineEdit* e = editors_[size_t(c)];
        if (header_->isSectionHidden(c)) {
            e->hide();
            continue;
        }
        const int x = indent + header_->sectionViewportPosition(c);
        const int w = header_->sectionSize(c);
        // Columns scrolled under the group indent are covered, as in the header.
        const int left = std::max(x, indent);
        if (x + w <= left) {
            e->hide();
            continue;
        }
        e->setGeometry(left + 1, 1, x + w - left - 2, filterRowHeight_ - 2);
        e->show();
    }
}

void GridView::resizeEvent(QResizeEvent* e) {
    QAbstractScrollArea::resizeEvent(e);
    updateGeometries();
    if (focusView_ >= 0) ensureVisible(focusView_);
}

void GridView::scrollContentsBy(int, int) {
    header_->setOffset(horizontalScrollBar()->value());
    layoutFilterEditors();
    viewport()->update();
    indicator_->update();
}

// --- dataset -------------------------------------------------------------------------------------

void GridView::loadRows() {
    if (query_ && query_->isActive() && source_) engine_.load(*source_);
    else engine_.clear();
}

void GridView::onOpened() {
    // The dataset has already put its current record where it belongs (kept by key on a refresh); the
    // focus goes there unless the filter hides it.
    const std::string groupKey = focusGroupKey_;
    loadRows();
    const int row = query_ ? query_->recNo() : -1;
    const int pos = row >= 0 ? engine_.positionOf(row) : -1;
    int v = -1;
    if (pos >= 0) {
        if (!groupKey.empty()) {
            // A focused group row stays focused when the dataset's record is still its first one.
            const int g = engine_.groupOfKey(groupKey);
            if (g >= 0 && engine_.groups()[size_t(g)].begin == pos) v = engine_.viewRowOfGroup(g);
        }
        if (v < 0) {
            if (engine_.viewRowOfPosition(pos) < 0) engine_.expandTo(pos);
            v = engine_.viewRowOfPosition(pos);
        }
        setFocusView(v, false);
    } else {
        setFocusView(engine_.viewRowCount() > 0 ? 0 : -1, true);
    }
    afterRowsChanged(false);
}

void GridView::onClosed() {
    engine_.clear();
    focusView_ = focusRecord_ = -1;
    focusGroupKey_.clear();
    afterRowsChanged(false);
    emit focusChanged();
}

void GridView::onRowsChanged(int first, int last) {
    if (query_ && query_->isActive() && source_) engine_.reload(*source_, first, last);
    else engine_.clear();
    afterRowsChanged(true);
}

void GridView::onCurrentChanged(int) {
    if (syncing_) return;
    followDataSet();
}

void GridView::followDataSet() {
    if (!query_ || query_->recordCount() != engine_.rowCount()) return;   // opened() follows
    const int row = query_->recNo();
    if (row >= 0 && row == focusRecord_ && focusView_ >= 0) return;
    const int pos = row >= 0 ? engine_.positionOf(row) : -1;
    if (pos < 0) {
        setFocusView(-1, false);
        return;
    }
    if (engine_.viewRowOfPosition(pos) < 0) {
        engine_.expandTo(pos);
        updateScrollRanges();
        emit rowsChanged();
    }
    setFocusView(engine_.viewRowOfPosition(pos), false);
}

// --- focus ---------------------------------------------------------------------------------------

int GridView::focusedRecord() const { return focusView_ >= 0 ? focusRecord_ : -1; }

bool GridView::focusedRowIsGroup() const { return focusView_ >= 0 && engine_.isGroupRow(focusView_); }

void GridView::setFocusView(int v, bool syncDataSet) {
    if (v >= engine_.viewRowCount()) v = engine_.viewRowCount() - 1;
    focusView_ = v;
    int target = -1;
    if (v < 0) {
        focusRecord_ = -1;
        focusGroupKey_.clear();
    } else if (engine_.isGroupRow(v)) {
        const int g = engine_.groupAt(v);
        focusRecord_ = -1;
        focusGroupKey_ = engine_.groupKey(g);
        // The dataset has no group rows: it stands on the group's first record.
        target = engine_.records()[size_t(engine_.groups()[size_t(g)].begin)];
    } else {
        focusRecord_ = engine_.records()[size_t(engine_.positionAt(v))];
        focusGroupKey_.clear();
        target = focusRecord_;
    }
    const std::vector<int> cols = visibleColumnOrder();
    if (!cols.empty() && std::find(cols.begin(), cols.end(), focusCol_) == cols.end()) focusCol_ = cols.front();
    if (v >= 0) ensureVisible(v);
    viewport()->update();
    indicator_->update();
    emit focusChanged();
    if (syncDataSet && target >= 0 && query_ && query_->isActive() && query_->recNo() != target) {
        FlagGuard g(syncing_);
        query_->setRecNo(target);
    }
}

void GridView::restoreFocus() {
    int v = -1;
    if (focusRecord_ >= 0 && focusRecord_ < engine_.rowCount()) {
        const int pos = engine_.positionOf(focusRecord_);
        if (pos >= 0) {
            if (engine_.viewRowOfPosition(pos) < 0) engine_.expandTo(pos);
            v = engine_.viewRowOfPosition(pos);
        }
    } else if (!focusGroupKey_.empty()) {
        const int g = engine_.groupOfKey(focusGroupKey_);
        if (g >= 0) v = engine_.viewRowOfGroup(g);
    }
    if (v < 0 && engine_.viewRowCount() > 0) v = 0;
    setFocusView(v, true);
}

void GridView::afterRowsChanged(bool keepFocus) {
    if (keepFocus) restoreFocus();
    updateScrollRanges();
    if (focusView_ >= 0) ensureVisible(focusView_);
    viewport()->update();
    indicator_->update();
    emit rowsChanged();
}

void GridView::ensureVisible(int v) {
    // Layout can run while the rows are being rebuilt, before the focus is placed again.
    if (v < 0 || v >= engine_.viewRowCount()) return;
    QScrollBar* sb = verticalScrollBar();
    const int page = fullRowsPerPage();
    if (sb->maximum() < engine_.viewRowCount() - page) updateScrollRanges();
    if (v < sb->value()) sb->setValue(v);
    else if (v >= sb->value() + page) sb->setValue(v - page + 1);
    if (focusCol_ >= 0 && !engine_.isGroupRow(v)) {
        const int x = header_->sectionPosition(focusCol_);
        const int w = header_->sectionSize(focusCol_);
        const int width = viewport()->width() - groupIndent();
        QScrollBar* hb = horizontalScrollBar();
        if (x < hb->value()) hb->setValue(x);
        else if (x + w > hb->value() + width) hb->setValue(std::min(x, x + w - width));
    }
}

bool GridView::focusFirst() {
    if (engine_.records().empty()) return false;
    if (engine_.viewRowOfPosition(0) < 0) engine_.expandTo(0), updateScrollRanges(), emit rowsChanged();
    setFocusView(engine_.viewRowOfPosition(0), true);
    return true;
}

bool GridView::focusLast() {
    const int n = int(engine_.records().size());
    if (n == 0) return false;
    if (engine_.viewRowOfPosition(n - 1) < 0) engine_.expandTo(n - 1), updateScrollRanges(), emit rowsChanged();
    setFocusView(engine_.viewRowOfPosition(n - 1), true);
    return true;
}

bool GridView::focusNext() {
    int pos;
    if (focusView_ < 0) pos = 0;
    else if (engine_.isGroupRow(focusView_)) pos = engine_.groups()[size_t(engine_.groupAt(focusView_))].begin;
    else pos = engine_.positionAt(focusView_) + 1;
    if (pos >= int(engine_.records().size())) return false;
    if (engine_.viewRowOfPosition(pos) < 0) engine_.expandTo(pos), updateScrollRanges(), emit rowsChanged();
    setFocusView(engine_.viewRowOfPosition(pos), true);
    return true;
}

bool GridView::focusPrior() {
    if (focusView_ < 0) return false;
    int pos;
    if (engine_.isGroupRow(focusView_)) pos = engine_.groups()[size_t(engine_.groupAt(focusView_))].begin - 1;
    else pos = engine_.positionAt(focusView_) - 1;
    if (pos < 0) return false;
    if (engine_.viewRowOfPosition(pos) < 0) engine_.expandTo(pos), updateScrollRanges(), emit rowsChanged();
    setFocusView(engine_.viewRowOfPosition(pos), true);
    return true;
}

bool GridView::focusRecord(int sourceRow) {
    const int pos = engine_.positionOf(sourceRow);
    if (pos < 0) return false;
    if (engine_.viewRowOfPosition(pos) < 0) engine_.expandTo(pos), updateScrollRanges(), emit rowsChanged();
    setFocusView(engine_.viewRowOfPosition(pos), true);
    return true;
}

void GridView::setFocusedColumn(int col) {
    if (col < 0 || col >= columnCount() || header_->isSectionHidden(col)) return;
    focusCol_ = col;
    if (focusView_ >= 0) ensureVisible(focusView_);
    viewport()->update();
    emit focusChanged();
}

void GridView::moveFocusedCell(int step) {
    const std::vector<int> cols = visibleColumnOrder();
    if (cols.empty()) return;
    auto it = std::find(cols.begin(), cols.end(), focusCol_);
    const int i = it == cols.end() ? 0 : int(it - cols.begin());
    const int j = i + step;
    if (j >= 0 && j < int(cols.size())) {
        setFocusedColumn(cols[size_t(j)]);
        return;
    }
    // Enter past the last cell goes on to the first cell of the next row.
    if (step > 0 && focusView_ + 1 < engine_.viewRowCount()) {
        focusCol_ = cols.front();
        setFocusView(focusView_ + 1, true);
    }
}

// --- filter, sort, group -------------------------------------------------------------------------

void GridView::setFilterText(int col, const QString& text) {
    if (col < 0 || col >= int(editors_.size())) return;
    editors_[size_t(col)]->setText(text);
}

QString GridView::filterText(int col) const { return engine_.filterText(col); }

QLineEdit* GridView::filterEditor(int col) const {
    return col >= 0 && col < int(editors_.size()) ? editors_[size_t(col)] : nullptr;
}

void GridView::setHeaderFilter(int col, const QStringList& values, bool blanks) {
    if (col < 0 || col >= columnCount()) return;
    engine_.setValueFilter(col, values, blanks);
    header_->viewport()->update();
    afterRowsChanged(true);
    emit filterChanged();
}

void GridView::clearFilter() {
    for (QLineEdit* e : editors_) {
        QSignalBlocker b(e);
        e->clear();
        e->setPalette(QPalette());
    }
    engine_.clearFilters();
    header_->viewport()->update();
    afterRowsChanged(true);
    emit filterChanged();
}

void GridView::setFilterEnabled(bool on) {
    engine_.setFilterEnabled(on);
    afterRowsChanged(true);
    emit filterChanged();
}

QString GridView::filterDescription() const {
    QStringList parts;
    auto quoted = [](const QString& s) { return QLatin1Char('\'') + s + QLatin1Char('\''); };
    for (int c = 0; c < columnCount(); ++c) {
        const QString name = columnCaption(c);
        const QString typed = engine_.filterText(c);
        if (!typed.isEmpty()) {
            if (engine_.columns()[size_t(c)].kind == ValueKind::Text)
                parts << QStringLiteral("%1 LIKE %2").arg(name, quoted(typed + QLatin1Char('%')));
            else
                parts << QStringLiteral("%1 = %2").arg(name, typed);
        }
        if (engine_.hasValueFilter(c)) {
            QStringList alts;
            const QStringList& vals = engine_.valueFilter(c);
            if (vals.size() == 1) alts << QStringLiteral("%1 = %2").arg(name, quoted(vals.front()));
            else if (vals.size() > 1) {
                QStringList q;
                for (const QString& v : vals) q << quoted(v);
                alts << QStringLiteral("%1 IN (%2)").arg(name, q.join(QStringLiteral(", ")));
            }
            if (engine_.valueFilterBlanks(c)) alts << QStringLiteral("%1 IS BLANK").arg(name);
            parts << (alts.size() > 1 ? QLatin1Char('(') + alts.join(QStringLiteral(" OR ")) + QLatin1Char(')')
                                      : alts.front());
        }
    }
    return parts.join(QStringLiteral(" AND "));
}

void GridView::sortByColumn(int col, Qt::SortOrder order, bool add) {
    if (col < 0 || col >= columnCount()) return;
    std::vector<SortKey> keys = add ? engine_.sortKeys() : std::vector<SortKey>{};
    auto it = std::find_if(keys.begin(), keys.end(), [col](const SortKey& k) { return k.column == col; });
    if (it != keys.end()) it->order = order;
    else keys.push_back({col, order});
    engine_.setSort(std::move(keys));
    header_->viewport()->update();
    afterRowsChanged(true);
    emit sortChanged();
}

void GridView::toggleSort(int col, bool add) {
    const std::vector<SortKey>& keys = engine_.sortKeys();
    auto it = std::find_if(keys.begin(), keys.end(), [col](const SortKey& k) { return k.column == col; });
    const bool sole = keys.size() == 1 && it != keys.end();
    const bool flip = it != keys.end() && (add || sole);
    const Qt::SortOrder order =
        flip && it->order == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    sortByColumn(col, order, add);
}

void GridView::clearSort() {
    engine_.setSort({});
    header_->viewport()->update();
    afterRowsChanged(true);
    emit sortChanged();
}

std::vector<int> GridView::groupedColumns() const {
    std::vector<int> out;
    for (const SortKey& k : engine_.grouping()) out.push_back(k.column);
    return out;
}

void GridView::groupByColumn(int col, int level) {
    if (col < 0 || col >= columnCount()) return;
    std::vector<SortKey> levels = engine_.grouping();
    SortKey key{col, Qt::AscendingOrder};
    auto old = std::find_if(levels.begin(), levels.end(), [col](const SortKey& k) { return k.column == col; });
    if (old != levels.end()) {
        key = *old;
        levels.erase(old);
    } else {
        // A column sorted before it was grouped keeps its direction for its groups.
        for (const SortKey& s : engine_.sortKeys())
            if (s.column == col) key.order = s.order;
    }
    if (level < 0 || level > int(levels.size())) level = int(levels.size());
    levels.insert(levels.begin() + level, key);
    // A focused group row is not the same group under other levels.
    focusGroupKey_.clear();
    engine_.setGrouping(std::move(levels));
    header_->setSectionHidden(col, true);
    updateGeometries();
    afterRowsChanged(true);
    emit groupingChanged();
}

void GridView::ungroupColumn(int col, int toVisualIndex) {
    std::vector<SortKey> levels = engine_.grouping();
    auto old = std::find_if(levels.begin(), levels.end(), [col](const SortKey& k) { return k.column == col; });
    if (old == levels.end()) return;
    levels.erase(old);
    focusGroupKey_.clear();
    engine_.setGrouping(std::move(levels));
    header_->setSectionHidden(col, false);
    if (toVisualIndex >= 0) moveColumn(col, toVisualIndex);
    updateGeometries();
    afterRowsChanged(true);
    emit groupingChanged();
}

void GridView::toggleGroupOrder(int col) {
    std::vector<SortKey> levels = engine_.grouping();
    auto it = std::find_if(levels.begin(), levels.end(), [col](const SortKey& k) { return k.column == col; });
    if (it == levels.end()) return;
    it->order = it->order == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    // Expanded groups stay expanded: their keys do not depend on the order.
    const std::string key = focusGroupKey_;
    std::vector<std::string> open;
    for (int g = 0; g < int(engine_.groups().size()); ++g)
        if (engine_.isExpanded(g)) open.push_back(engine_.groupKey(g));
    engine_.setGrouping(std::move(levels));
    for (const std::string& k : open) {
        const int g = engine_.groupOfKey(k);
        if (g >= 0) engine_.setExpanded(g, true);
    }
    focusGroupKey_ = key;
    afterRowsChanged(true);
    emit groupingChanged();
}

void GridView::expandAll() {
    engine_.expandAll();
    afterRowsChanged(true);
}

void GridView::collapseAll() {
    engine_.collapseAll();
    // The focus goes up to the outermost group of what it was on.
    if (focusView_ >= 0) {
        const int pos = focusRecord_ >= 0 ? engine_.positionOf(focusRecord_) : -1;
        int g = pos >= 0 ? engine_.groupOfPosition(pos) : engine_.groupOfKey(focusGroupKey_);
        while (g >= 0 && engine_.parentGroup(g) >= 0) g = engine_.parentGroup(g);
        focusRecord_ = -1;
        focusGroupKey_ = g >= 0 ? engine_.groupKey(g) : std::string();
    }
    afterRowsChanged(true);
}

void GridView::toggleGroupAt(int v) {
    const int g = engine_.groupAt(v);
    if (g < 0) return;
    const bool open = !engine_.isExpanded(g);
    const GroupNode node = engine_.groups()[size_t(g)];
    const int focusPos = focusRecord_ >= 0 ? engine_.positionOf(focusRecord_) : -1;
    engine_.setExpanded(g, open);
    if (!open && focusPos >= node.begin && focusPos < node.end) {
        // The focused record disappears into its group: the group row takes the focus.
        focusRecord_ = -1;
        focusGroupKey_ = engine_.groupKey(g);
    }
    afterRowsChanged(true);
}

// --- input ---------------------------------------------------------------------------------------

void GridView::keyPressEvent(QKeyEvent* e) {
    const int n = engine_.viewRowCount();
    if (n == 0) {
        QAbstractScrollArea::keyPressEvent(e);
        return;
    }
    const int v = focusView_;
    const bool group = v >= 0 && engine_.isGroupRow(v);
    switch (e->key()) {
    case Qt::Key_Up: setFocusView(std::max(0, v - 1)); break;
    case Qt::Key_Down: setFocusView(v < 0 ? 0 : std::min(n - 1, v + 1)); break;
    case Qt::Key_PageUp: setFocusView(std::max(0, v - fullRowsPerPage())); break;
    case Qt::Key_PageDown: setFocusView(std::min(n - 1, std::max(0, v) + fullRowsPerPage())); break;
    case Qt::Key_Home:
        if (e->modifiers() & Qt::ControlModifier) setFocusView(0);
        else if (!visibleColumnOrder().empty()) setFocusedColumn(visibleColumnOrder().front());
        break;
    case Qt::Key_End:
        if (e->modifiers() & Qt::ControlModifier) setFocusView(n - 1);
        else if (!visibleColumnOrder().empty()) setFocusedColumn(visibleColumnOrder().back());
        break;
    case Qt::Key_Left:
        if (group) {
            const int g = engine_.groupAt(v);
            if (engine_.isExpanded(g)) toggleGroupAt(v);
            else if (engine_.parentGroup(g) >= 0) setFocusView(engine_.viewRowOfGroup(engine_.parentGroup(g)));
        } else {
            moveFocusedCell(-1);
        }
        break;
    case Qt::Key_Right:
        if (group) {
            if (!engine_.isExpanded(engine_.groupAt(v))) toggleGroupAt(v);
        } else {
            const std::vector<int> cols = visibleColumnOrder();
            if (!cols.empty() && focusCol_ != cols.back()) moveFocusedCell(1);
        }
        break;
    case Qt::Key_Plus:
        if (group && !engine_.isExpanded(engine_.groupAt(v))) toggleGroupAt(v);
        break;
    case Qt::Key_Minus:
        if (group && engine_.isExpanded(engine_.groupAt(v))) toggleGroupAt(v);
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (group || v < 0) setFocusView(std::min(n - 1, v + 1));
        else moveFocusedCell(1);
        break;
    default:
        QAbstractScrollArea::keyPressEvent(e);
        return;
    }
    e->accept();
}

void GridView::mousePressEvent(QMouseEvent* e) {
    setFocus(Qt::MouseFocusReason);
    if (e->button() != Qt::LeftButton) return;
    const QPoint pos = e->position().toPoint();
    const int v = viewRowAt(pos.y());
    if (v < 0) return;
    if (engine_.isGroupRow(v)) {
        const int level = engine_.groups()[size_t(engine_.groupAt(v))].level;
        const int x0 = level * kGroupIndent;
        setFocusView(v);
        if (pos.x() >= x0 && pos.x() < x0 + kGroupIndent) toggleGroupAt(v);
        return;
    }
    const int col = columnAt(pos.x());
    if (col >= 0) focusCol_ = col;
    setFocusView(v);
}

void GridView::mouseDoubleClickEvent(QMouseEvent* e) {
    const int v = viewRowAt(e->position().toPoint().y());
    if (v >= 0 && engine_.isGroupRow(v)) toggleGroupAt(v);
}

void GridView::focusInEvent(QFocusEvent* e) {
    QAbstractScrollArea::focusInEvent(e);
    viewport()->update();
}

void GridView::focusOutEvent(QFocusEvent* e) {
    QAbstractScrollArea::focusOutEvent(e);
    viewport()->update();
}

// --- geometry ------------------------------------------------------------------------------------

QRect GridView::viewRowRect(int v) const {
    return QRect(0, (v - verticalScrollBar()->value()) * rowHeight_, viewport()->width(), rowHeight_);
}

QRect GridView::cellRect(int v, int col) const {
    return QRect(groupIndent() + header_->sectionViewportPosition(col), (v - verticalScrollBar()->value()) * rowHeight_,
                 header_->sectionSize(col), rowHeight_);
}

int GridView::viewRowAt(int y) const {
    if (y < 0) return -1;
    const int v = verticalScrollBar()->value() + y / rowHeight_;
    return v < engine_.viewRowCount() ? v : -1;
}

int GridView::columnAt(int x) const {
    if (x < groupIndent()) return -1;
    return header_->logicalIndexAt(x - groupIndent());
}

QString GridView::displayText(int sourceRow, int col) const {
    if (!query_ || sourceRow < 0 || sourceRow >= query_->recordCount()) return {};
    return engine_.displayText(col, query_->isNull(sourceRow, col), query_->rawValue(sourceRow, col));
}

// --- painting ------------------------------------------------------------------------------------

void GridView::paintEvent(QPaintEvent*) {
    QPainter p(viewport());
    p.setFont(contentFont_);
    const int n = engine_.viewRowCount();
    const int h = viewport()->height();
    const int w = viewport()->width();
    int y = 0;
    for (int v = verticalScrollBar()->value(); v < n && y < h; ++v, y += rowHeight_) {
        if (engine_.isGroupRow(v)) paintGroupRow(p, v, y);
        else paintDataRow(p, v, y);
    }
    // The background shows below the rows (and right of the columns, which data rows fill in).
    if (y < h)
        p.fillRect(QRect(0, y, w, h - y),
                   pickColor({&sheet_[StyleElement::Background]}, &Style::background, palette().base().color()));
}

void GridView::paintDataRow(QPainter& p, int v, int y) {
    const int src = engine_.records()[size_t(engine_.positionAt(v))];
    const bool focused = v == focusView_;
    const bool active = hasFocus();
    const Style* content = &sheet_[StyleElement::Content];
    const Style* parity = &sheet_[v % 2 ? StyleElement::ContentOdd : StyleElement::ContentEven];
    const Style* sel = focused ? &sheet_[active ? StyleElement::Selection : StyleElement::Inactive] : nullptr;
    const QColor base = palette().base().color(), text = palette().text().color();
    const QColor rowBg = pickColor({sel, parity, content}, &Style::background,
                                   focused ? palette().highlight().color() : base);
    const QColor rowFg = pickColor({sel, parity, content}, &Style::text,
                                   focused ? palette().highlightedText().color() : text);
    const QColor cellBg = pickColor({parity, content}, &Style::background, base);
    const QColor cellFg = pickColor({parity, content}, &Style::text, text);
    const QColor line = rowBg.darker(118);
    const int indent = groupIndent();
    const int width = viewport()->width();
    if (indent > 0)
        p.fillRect(QRect(0, y, indent, rowHeight_),
                   pickColor({&sheet_[StyleElement::Group]}, &Style::background, palette().window().color()));
    const int right = std::max(indent, indent + header_->length() - header_->offset());
    if (right < width)
        p.fillRect(QRect(right, y, width - right, rowHeight_),
                   pickColor({&sheet_[StyleElement::Background]}, &Style::background, palette().base().color()));
    p.save();
    p.setClipRect(QRect(indent, y, width - indent, rowHeight_));
    for (int vis = 0; vis < header_->count(); ++vis) {
        const int col = header_->logicalIndex(vis);
        if (header_->isSectionHidden(col)) continue;
        const QRect r = cellRect(v, col);
        if (r.right() < indent || r.left() > width) continue;
        const bool focusCell = focused && active && col == focusCol_;
        p.fillRect(r, focusCell ? cellBg : rowBg);
        const QRect tr = r.adjusted(3, 0, -4, 0);
        const Qt::Alignment align =
            (isNumeric(engine_.columns()[size_t(col)].kind) ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter;
        p.setPen(focusCell ? cellFg : rowFg);
        const QString text = displayText(src, col);
        if (!text.isEmpty()) {
            const QStaticText& st = cellText(text, tr.width());
            const QSizeF size = st.size();
            const qreal x = align & Qt::AlignRight ? tr.right() + 1 - size.width() : tr.left();
            p.drawStaticText(QPointF(x, tr.top() + (tr.height() - size.height()) / 2), st);
        }
        p.fillRect(QRect(r.right(), r.top(), 1, r.height()), line);
        p.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), line);
        if (focusCell) {
            p.setPen(QPen(cellFg, 1, Qt::DotLine));
            p.setBrush(Qt::NoBrush);
            p.drawRect(r.adjusted(1, 1, -2, -2));
        }
    }
    p.restore();
}

const QStaticText& GridView::cellText(const QString& text, int width) {
    // Laying text out is most of a repaint's cost; partners, dates and codes repeat down a list, and the
    // rows come back as the user types and takes back, so laid-out texts are kept for a while.
    const TextKey key{text, width};
    auto it = textCache_.find(key);
    if (it != textCache_.end()) return *it;
    if (textCache_.size() > 4096) textCache_.clear();
    QString line = text;
    for (QChar& c : line)
        if (c == u'\n' || c == u'\r' || c == u'\t') c = u' ';
    QStaticText st(QFontMetrics(contentFont_).elidedText(line, Qt::ElideRight, width));
    st.setTextFormat(Qt::PlainText);
    st.setPerformanceHint(QStaticText::AggressiveCaching);
    st.prepare(QTransform(), contentFont_);
    return *textCache_.insert(key, st);
}

void GridView::paintGroupRow(QPainter& p, int v, int y) {
    const int g = engine_.groupAt(v);
    const GroupNode& node = engine_.groups()[size_t(g)];
    const bool focused = v == focusView_;
    const Style* groupStyle = &sheet_[StyleElement::Group];
    const Style* content = &sheet_[StyleElement::Content];
    const Style* sel = focused ? &sheet_[hasFocus() ? StyleElement::Selection : StyleElement::Inactive] : nullptr;
    const QColor groupBg = pickColor({groupStyle}, &Style::background, palette().window().color());
    const int width = viewport()->width();
    p.fillRect(QRect(0, y, width, rowHeight_), groupBg);
    const int x0 = node.level * kGroupIndent;
    // The expand button.
    const QRect box(x0 + (kGroupIndent - 9) / 2, y + (rowHeight_ - 9) / 2, 9, 9);
    const QColor fg = pickColor({groupStyle, content}, &Style::text, palette().text().color());
    p.setPen(fg);
    p.fillRect(box, Qt::white);
    p.drawRect(box);
    p.drawLine(box.left() + 2, box.center().y(), box.right() - 2, box.center().y());
    if (!engine_.isExpanded(g)) p.drawLine(box.center().x(), box.top() + 2, box.center().x(), box.bottom() - 2);
    const int col = engine_.grouping()[size_t(node.level)].column;
    const QString value = displayText(engine_.records()[size_t(node.begin)], col);
    const QString label = QStringLiteral("%1 : %2 (%3)").arg(columnCaption(col), value).arg(node.count());
    QRect tr(x0 + kGroupIndent, y, width - x0 - kGroupIndent, rowHeight_);
    const QFontMetrics fm(contentFont_);
    if (sel) {
        QRect hl(tr.left(), y + 1, std::min(tr.width(), fm.horizontalAdvance(label) + 8), rowHeight_ - 2);
        p.fillRect(hl, pickColor({sel}, &Style::background, palette().highlight().color()));
        p.setPen(pickColor({sel, groupStyle, content}, &Style::text, palette().highlightedText().color()));
    }
    p.drawText(tr.adjusted(4, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, label);
    p.setPen(groupBg.darker(130));
    p.drawLine(x0, y + rowHeight_ - 1, width, y + rowHeight_ - 1);
}

void GridView::paintIndicator(QPainter& p) {
    const QColor bg = pickColor({&sheet_[StyleElement::Indicator], &sheet_[StyleElement::Header]}, &Style::background,
                                palette().button().color());
    const int n = engine_.viewRowCount();
    const int first = verticalScrollBar()->value();
    const int h = indicator_->height();
    p.fillRect(indicator_->rect(),
               pickColor({&sheet_[StyleElement::Background]}, &Style::background, palette().base().color()));
    for (int v = first, y = 0; v < n && y < h; ++v, y += rowHeight_) {
        const QRect r(0, y, indicator_->width(), rowHeight_);
        p.fillRect(r, bg);
        p.setPen(bg.darker(140));
        p.drawLine(r.right(), r.top(), r.right(), r.bottom());
        p.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
        if (v == focusView_) {
            const int cy = r.center().y();
            QPolygon tri;
            tri << QPoint(4, cy - 4) << QPoint(8, cy) << QPoint(4, cy + 4);
            p.setBrush(Qt::black);
            p.setPen(Qt::NoPen);
            p.drawPolygon(tri);
        }
    }
}

// --- header filter drop-down ---------------------------------------------------------------------

void GridView::showHeaderFilterPopup(int col) {
    if (popup_) popup_->deleteLater();
    popup_ = new FilterPopup(this, col);
    const int x = header_->sectionViewportPosition(col);
    const QPoint at = header_->viewport()->mapToGlobal(QPoint(x, header_->height()));
    popup_->resize(std::max(200, header_->sectionSize(col)), 260);
    popup_->move(at);
    popup_->show();
}

void GridView::setGroupDropTarget(GroupDropTarget* target) { dropTarget_ = target; }

}  // namespace qv::grid
