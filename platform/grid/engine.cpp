#include "platform/grid/engine.h"

#include <QDateTime>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <numeric>
#include <unordered_map>

namespace qv::grid {
namespace {

constexpr std::int64_t kInt64Min = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kInt64Max = std::numeric_limits<std::int64_t>::max();

size_t words(int rows) { return (size_t(rows) + 63) / 64; }
inline void setBit(std::vector<std::uint64_t>& bits, int r) { bits[size_t(r) >> 6] |= std::uint64_t(1) << (r & 63); }
inline bool bit(const std::vector<std::uint64_t>& bits, int r) { return (bits[size_t(r) >> 6] >> (r & 63)) & 1; }

std::uint64_t orderedBits(std::int64_t v) { return std::uint64_t(v) ^ (std::uint64_t(1) << 63); }
std::uint64_t orderedBits(double v) {
    std::uint64_t b = std::bit_cast<std::uint64_t>(v);
    return (b >> 63) ? ~b : b | (std::uint64_t(1) << 63);
}

template <class T>
int cmp3(T a, T b) { return a < b ? -1 : (b < a ? 1 : 0); }

std::string_view utf8View(const QByteArray& b) { return {b.constData(), size_t(b.size())}; }

QDate parseDate(const QString& t, const QString& shownFormat) {
    for (const QString& f : {shownFormat, QStringLiteral("d.M.yyyy"), QStringLiteral("yyyy-M-d")}) {
        QDate d = QDate::fromString(t, f);
        if (d.isValid()) return d;
    }
    return {};
}

// Typed date-times are read to the precision typed: a whole day, minute or second.
bool parseDateTimeRange(const QString& t, const QString& shownFormat, const QString& shownDateFormat,
                        std::int64_t& lo, std::int64_t& hi) {
    struct Form { QString format; std::int64_t span; };
    const Form forms[] = {
        {shownFormat, kMicrosPerSecond},
        {QStringLiteral("d.M.yyyy H:mm:ss"), kMicrosPerSecond},
        {QStringLiteral("yyyy-M-d H:mm:ss"), kMicrosPerSecond},
        {QStringLiteral("yyyy-M-dTH:mm:ss"), kMicrosPerSecond},
        {QStringLiteral("d.M.yyyy H:mm"), 60 * kMicrosPerSecond},
        {QStringLiteral("yyyy-M-d H:mm"), 60 * kMicrosPerSecond},
    };
    for (const Form& f : forms) {
        QDateTime dt = QDateTime::fromString(t, f.format);
        if (!dt.isValid()) continue;
        const QTime tm = dt.time();
        lo = dayNumber(dt.date()) * kMicrosPerDay +
             std::int64_t(tm.hour() * 3600 + tm.minute() * 60 + tm.second()) * kMicrosPerSecond;
        hi = lo + f.span - 1;
        return true;
    }
    QDate d = parseDate(t, shownDateFormat);
    if (!d.isValid()) return false;
    lo = dayNumber(d) * kMicrosPerDay;
    hi = lo + kMicrosPerDay - 1;
    return true;
}

}  // namespace

GridEngine::GridEngine() = default;

GridEngine::Storage GridEngine::storageOf(ValueKind k) {
    switch (k) {
    case ValueKind::Text: return Storage::Text;
    case ValueKind::Float: return Storage::Real;
    default: return Storage::Int;
    }
}

void GridEngine::setColumns(std::vector<ColumnDef> columns) {
    columns_ = std::move(columns);
    cache_.assign(columns_.size(), Column{});
    cond_.assign(columns_.size(), Condition{});
    sort_.clear();
    group_.clear();
    expanded_.clear();
    clear();
}

void GridEngine::setDateFormats(const QString& date, const QString& dateTime) {
    dateFormat_ = date;
    dateTimeFormat_ = dateTime;
}

QString GridEngine::displayText(int col, bool isNull, std::string_view raw) const {
    if (isNull) return {};
    const QString text = QString::fromUtf8(raw.data(), qsizetype(raw.size()));
    switch (columns_[size_t(col)].kind) {
    case ValueKind::Boolean:
        return raw == "t" ? QStringLiteral("True") : QStringLiteral("False");
    case ValueKind::Date: {
        auto d = parseIsoDate(raw);
        if (!d || *d == kInt64Min || *d == kInt64Max) return text;
        return dateOfDayNumber(*d).toString(dateFormat_);
    }
    case ValueKind::DateTime: {
        auto us = parseIsoTimestamp(raw);
        if (!us || *us == kInt64Min || *us == kInt64Max) return text;
        std::int64_t days = *us / kMicrosPerDay, rest = *us % kMicrosPerDay;
        if (rest < 0) { rest += kMicrosPerDay; --days; }
        const int secs = int(rest / kMicrosPerSecond);
        return QDateTime(dateOfDayNumber(days), QTime(secs / 3600, secs / 60 % 60, secs % 60)).toString(dateTimeFormat_);
    }
    default:
        return text;
    }
}

void GridEngine::buildColumn(const RowSource& source, int col) {
    Column& c = cache_[size_t(col)];
    c = Column{};
    c.storage = storageOf(columns_[size_t(col)].kind);
    c.nulls.assign(words(rows_), 0);
    const ValueKind kind = columns_[size_t(col)].kind;
    switch (c.storage) {
    case Storage::Text: {
        if (buildDictionary(source, col)) break;
        c.offsets.resize(size_t(rows_) + 1);
        for (int r = 0; r < rows_; ++r) {
            c.offsets[size_t(r)] = std::uint32_t(c.text.size());
            if (source.isNull(r, col)) setBit(c.nulls, r);
            else appendFolded(c.text, source.raw(r, col));
        }
        c.offsets[size_t(rows_)] = std::uint32_t(c.text.size());
        c.text.shrink_to_fit();
        break;
    }
    case Storage::Int: {
        c.ints.resize(size_t(rows_));
        for (int r = 0; r < rows_; ++r) {
            if (source.isNull(r, col)) { setBit(c.nulls, r); continue; }
            const std::string_view v = source.raw(r, col);
            std::optional<std::int64_t> x;
            switch (kind) {
            case ValueKind::Boolean: x = v == "t" ? 1 : 0; break;
            case ValueKind::Date: x = parseIsoDate(v); break;
            case ValueKind::DateTime: x = parseIsoTimestamp(v); break;
            default: x = parseInt64(v); break;
            }
            c.ints[size_t(r)] = x.value_or(kInt64Min);
        }
        break;
    }
    case Storage::Real: {
        c.reals.resize(size_t(rows_));
        for (int r = 0; r < rows_; ++r) {
            if (source.isNull(r, col)) { setBit(c.nulls, r); continue; }
            c.reals[size_t(r)] = parseDouble(source.raw(r, col)).value_or(std::numeric_limits<double>::quiet_NaN());
        }
        break;
    }
    }
}

bool GridEngine::buildDictionary(const RowSource& source, int col) {
    constexpr size_t kMaxCodes = 65536;
    constexpr int kProbeRows = 4096;
    Column& c = cache_[size_t(col)];
    std::unordered_map<std::string, std::uint16_t> codeOf;
    std::vector<const std::string*> values;   // by code
    std::vector<std::uint16_t> codes(static_cast<size_t>(rows_));
    std::string scratch;
    for (int r = 0; r < rows_; ++r) {
        // Mostly distinct values gain nothing from a dictionary: give up early and cheaply.
        if (r == kProbeRows && codeOf.size() * 4 > size_t(kProbeRows)) return false;
        scratch.clear();
        if (source.isNull(r, col)) setBit(c.nulls, r);
        else appendFolded(scratch, source.raw(r, col));
        auto it = codeOf.find(scratch);
        if (it == codeOf.end()) {
            if (codeOf.size() == kMaxCodes) return false;
            it = codeOf.emplace(scratch, std::uint16_t(codeOf.size())).first;
            values.push_back(&it->first);
        }
        codes[size_t(r)] = it->second;
    }
    if (rows_ > 0 && codeOf.size() * 4 > size_t(rows_)) return false;
    c.dict = true;
    c.codes = std::move(codes);
    c.offsets.reserve(values.size() + 1);
    for (const std::string* v : values) {
        c.offsets.push_back(std::uint32_t(c.text.size()));
        c.text += *v;
    }
    c.offsets.push_back(std::uint32_t(c.text.size()));
    std::vector<std::uint32_t> order(values.size());
    std::iota(order.begin(), order.end(), 0u);
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) { return *values[a] < *values[b]; });
    c.rank.resize(values.size());
    for (size_t i = 0; i < order.size(); ++i) c.rank[order[i]] = std::uint32_t(i);
    return true;
}

void GridEngine::load(const RowSource& source) {
    rows_ = source.rowCount();
    for (int c = 0; c < columnCount(); ++c) buildColumn(source, c);
    for (int c = 0; c < columnCount(); ++c) computeMask(c);
    sortAll();
    applyFilter();
    buildGroups();
}

void GridEngine::clear() {
    rows_ = 0;
    for (Column& c : cache_) c = Column{};
    for (Condition& k : cond_) std::vector<std::uint64_t>().swap(k.mask);
    std::vector<int>().swap(perm_);
    std::vector<int>().swap(records_);
    groups_.clear();
    viewRows_.clear();
}

bool GridEngine::parseValue(int col, const QString& text, Range& range, double& real) const {
    const QString t = text.trimmed();
    switch (columns_[size_t(col)].kind) {
    case ValueKind::Text:
        return true;
    case ValueKind::Integer: {
        const QByteArray u = t.toUtf8();
        if (auto v = parseInt64(utf8View(u))) {
            range = {*v, *v};
            return true;
        }
        auto d = parseDouble(utf8View(u));
        if (!d || !std::isfinite(*d) || std::trunc(*d) != *d || std::fabs(*d) >= 9.2e18) return false;
        range = {std::int64_t(*d), std::int64_t(*d)};
        return true;
    }
    case ValueKind::Float: {
        const QByteArray u = t.toUtf8();
        auto d = parseDouble(utf8View(u));
        if (!d) return false;
        real = *d;
        return true;
    }
    case ValueKind::Boolean: {
        const QString f = t.toCaseFolded();
        for (const char* yes : {"true", "t", "1", "da", "yes"})
            if (f == QLatin1String(yes)) { range = {1, 1}; return true; }
        for (const char* no : {"false", "f", "0", "nu", "no"})
            if (f == QLatin1String(no)) { range = {0, 0}; return true; }
        return false;
    }
    case ValueKind::Date: {
        QDate d = parseDate(t, dateFormat_);
        if (!d.isValid()) return false;
        range = {dayNumber(d), dayNumber(d)};
        return true;
    }
    case ValueKind::DateTime:
        return parseDateTimeRange(t, dateTimeFormat_, dateFormat_, range.lo, range.hi);
    }
    return false;
}

bool GridEngine::setFilterText(int col, const QString& typed) {
    Condition& k = cond_[size_t(col)];
    k.typed = typed;
    k.typedValid = true;
    if (!typed.isEmpty()) {
        if (columns_[size_t(col)].kind == ValueKind::Text) k.pattern = TextPattern(folded(typed));
        else k.typedValid = parseValue(col, typed, k.typedRange, k.typedReal);
    }
    computeMask(col);
    applyFilter();
    buildGroups();
    return k.typedValid;
}

void GridEngine::setValueFilter(int col, const QStringList& values, bool blanks) {
    Condition& k = cond_[size_t(col)];
    k.values = values;
    k.blanks = blanks;
    k.textValues.clear();
    k.ranges.clear();
    k.reals.clear();
    for (const QString& v : values) {
        Range r{0, 0};
        double d = 0;
        if (columns_[size_t(col)].kind == ValueKind::Text) k.textValues.push_back(folded(v));
        else if (!parseValue(col, v, r, d)) continue;
        else if (storageOf(columns_[size_t(col)].kind) == Storage::Real) k.reals.push_back(d);
        else k.ranges.push_back(r);
    }
    std::sort(k.textValues.begin(), k.textValues.end());
    std::sort(k.reals.begin(), k.reals.end());
    // Overlapping ranges (a whole day ticked beside one of its seconds) are merged so that a binary
    // search finds the one that can hold a value.
    std::sort(k.ranges.begin(), k.ranges.end());
    std::vector<Range> merged;
    for (const Range& r : k.ranges) {
        if (!merged.empty() && r.lo <= merged.back().hi) merged.back().hi = std::max(merged.back().hi, r.hi);
        else merged.push_back(r);
    }
    k.ranges = std::move(merged);
    computeMask(col);
    applyFilter();
    buildGroups();
}

void GridEngine::clearFilters() {
    for (Condition& k : cond_) k = Condition{};
    applyFilter();
    buildGroups();
}

void GridEngine::setFilterEnabled(bool on) {
    filterEnabled_ = on;
    applyFilter();
    buildGroups();
}

bool GridEngine::hasFilter() const {
    return std::any_of(cond_.begin(), cond_.end(), [](const Condition& k) { return k.active(); });
}

void GridEngine::computeMask(int col) {
    Condition& k = cond_[size_t(col)];
    if (!k.active() || rows_ == 0) {
        std::vector<std::uint64_t>().swap(k.mask);
        return;
    }
    const Column& c = cache_[size_t(col)];
    k.mask.assign(words(rows_), 0);
    const bool typed = !k.typed.isEmpty();
    if (typed && !k.typedValid) return;   // nothing passes

    auto passesValues = [&](int r) { return this->passesValues(k, c, r); };

    // The typed condition is the one evaluated on every keystroke: one tight loop per storage.
    switch (c.storage) {
    case Storage::Text:
        if (c.dict) {
            // Each distinct value is judged once; rows then only look their code up.
            std::vector<std::uint8_t> pass(c.offsets.size() - 1);
            for (size_t code = 0; code < pass.size(); ++code) {
                const std::string_view v = c.entry(code);
                bool ok = !typed || k.pattern.matches(v);
                if (ok && k.hasValues())
                    ok = v.empty() ? k.blanks : std::binary_search(k.textValues.begin(), k.textValues.end(), v,
                                                                   [](std::string_view a, std::string_view b) { return a < b; });
                pass[code] = ok;
            }
            const bool nullPasses = !typed && (!k.hasValues() || k.blanks);
            for (int r = 0; r < rows_; ++r)
                if (c.isNull(r) ? nullPasses : pass[c.codes[size_t(r)]] != 0) setBit(k.mask, r);
            break;
        }
        for (int r = 0; r < rows_; ++r) {
            if (typed && (c.isNull(r) || !k.pattern.matches(c.textAt(r)))) continue;
            if (passesValues(r)) setBit(k.mask, r);
        }
        break;
    case Storage::Int: {
        const std::int64_t lo = k.typedRange.lo, hi = k.typedRange.hi;
        for (int r = 0; r < rows_; ++r) {
            if (typed && (c.isNull(r) || c.ints[size_t(r)] < lo || c.ints[size_t(r)] > hi)) continue;
            if (passesValues(r)) setBit(k.mask, r);
        }
        break;
    }
    case Storage::Real:
        for (int r = 0; r < rows_; ++r) {
            if (typed && (c.isNull(r) || c.reals[size_t(r)] != k.typedReal)) continue;
            if (passesValues(r)) setBit(k.mask, r);
        }
        break;
    }
}

bool GridEngine::passesValues(const Condition& k, const Column& c, int r) const {
    if (!k.hasValues()) return true;
    if (c.isBlank(r)) return k.blanks;
    switch (c.storage) {
    case Storage::Text:
        return std::binary_search(k.textValues.begin(), k.textValues.end(), c.textAt(r),
                                  [](std::string_view a, std::string_view b) { return a < b; });
    case Storage::Int: {
        const std::int64_t v = c.ints[size_t(r)];
        auto it = std::upper_bound(k.ranges.begin(), k.ranges.end(), v,
                                   [](std::int64_t x, const Range& rg) { return x < rg.lo; });
        return it != k.ranges.begin() && v <= std::prev(it)->hi;
    }
    case Storage::Real:
        return std::binary_search(k.reals.begin(), k.reals.end(), c.reals[size_t(r)]);
    }
    return false;
}

bool GridEngine::passesTyped(const Condition& k, const Column& c, int r) const {
    if (k.typed.isEmpty()) return true;
    if (!k.typedValid || c.isNull(r)) return false;
    switch (c.storage) {
    case Storage::Text: return k.pattern.matches(c.textAt(r));
    case Storage::Int: return c.ints[size_t(r)] >= k.typedRange.lo && c.ints[size_t(r)] <= k.typedRange.hi;
    case Storage::Real: return c.reals[size_t(r)] == k.typedReal;
    }
    return false;
}

void GridEngine::updateCell(const RowSource& source, int col, int r) {
    Column& c = cache_[size_t(col)];
    const bool null = source.isNull(r, col);
    std::uint64_t& word = c.nulls[size_t(r) >> 6];
    const std::uint64_t bitMask = std::uint64_t(1) << (r & 63);
    word = null ? word | bitMask : word & ~bitMask;
    const std::string_view raw = null ? std::string_view() : source.raw(r, col);
    switch (c.storage) {
    case Storage::Text: {
        std::string f = folded(raw);
        if (!c.dict) {
            if (f == c.entry(size_t(r))) c.changed.erase(r);
            else c.changed[r] = std::move(f);
            break;
        }
        size_t code = 0;
        const size_t codes = c.offsets.size() - 1;
        while (code < codes && c.entry(code) != f) ++code;
        if (code == codes) {
            if (codes == 65536) {   // no room for another value: back to every value kept
                buildColumn(source, col);
                return;
            }
            c.text += f;
            c.offsets.push_back(std::uint32_t(c.text.size()));
            std::vector<std::uint32_t> order(codes + 1);
            std::iota(order.begin(), order.end(), 0u);
            std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) { return c.entry(a) < c.entry(b); });
            c.rank.resize(codes + 1);
            for (size_t i = 0; i < order.size(); ++i) c.rank[order[i]] = std::uint32_t(i);
        }
        c.codes[size_t(r)] = std::uint16_t(code);
        break;
    }
    case Storage::Int: {
        std::optional<std::int64_t> x;
        if (!null) {
            switch (columns_[size_t(col)].kind) {
            case ValueKind::Boolean: x = raw == "t" ? 1 : 0; break;
            case ValueKind::Date: x = parseIsoDate(raw); break;
            case ValueKind::DateTime: x = parseIsoTimestamp(raw); break;
            default: x = parseInt64(raw); break;
            }
        }
        c.ints[size_t(r)] = x.value_or(kInt64Min);
        break;
    }
    case Storage::Real:
        c.reals[size_t(r)] = null ? 0 : parseDouble(raw).value_or(std::numeric_limits<double>::quiet_NaN());
        break;
    }
}

void GridEngine::reload(const RowSource& source, int first, int last) {
    if (source.rowCount() != rows_ || first < 0 || last >= rows_ || first > last) {
        load(source);
        return;
    }
    const std::vector<SortKey> keys = orderKeys();
    // Out of the sorted order first, while the old values still say where the rows are.
    std::vector<int> moved;
    if (!perm_.empty()) {
        std::vector<int> kept;
        kept.reserve(perm_.size());
        for (int r : perm_) (r >= first && r <= last ? moved : kept).push_back(r);
        perm_.swap(kept);
    }
    for (int col = 0; col < columnCount(); ++col)
        for (int r = first; r <= last; ++r) updateCell(source, col, r);
    for (int col = 0; col < columnCount(); ++col) {
        Condition& k = cond_[size_t(col)];
        if (!k.active() || k.mask.empty()) continue;
        const Column& c = cache_[size_t(col)];
        for (int r = first; r <= last; ++r) {
            std::uint64_t& word = k.mask[size_t(r) >> 6];
            const std::uint64_t bitMask = std::uint64_t(1) << (r & 63);
            word = passesTyped(k, c, r) && passesValues(k, c, r) ? word | bitMask : word & ~bitMask;
        }
    }
    auto less = [&](int a, int b) {
        for (const SortKey& k : keys)
            if (int x = compareRows(k, a, b)) return x < 0;
        return a < b;
    };
    for (int r : moved) perm_.insert(std::upper_bound(perm_.begin(), perm_.end(), r, less), r);
    applyFilter();
    buildGroups();
}

std::vector<SortKey> GridEngine::orderKeys() const {
    std::vector<SortKey> keys = group_;
    for (const SortKey& s : sort_)
        if (std::none_of(group_.begin(), group_.end(), [&](const SortKey& g) { return g.column == s.column; }))
            keys.push_back(s);
    return keys;
}

int GridEngine::compareRows(const SortKey& k, int a, int b) const {
    const Column& c = cache_[size_t(k.column)];
    int r = 0;
    if (c.storage == Storage::Text && c.dict) {
        r = cmp3(c.rank[c.codes[size_t(a)]], c.rank[c.codes[size_t(b)]]);
    } else if (c.storage == Storage::Text) {
        // Null and empty text are the same blank value.
        r = c.textAt(a).compare(c.textAt(b));
        r = r < 0 ? -1 : (r > 0 ? 1 : 0);
    } else {
        const bool na = c.isNull(a), nb = c.isNull(b);
        if (na || nb) r = na == nb ? 0 : (na ? -1 : 1);
        else if (c.storage == Storage::Int) r = cmp3(c.ints[size_t(a)], c.ints[size_t(b)]);
        else r = cmp3(orderedBits(c.reals[size_t(a)]), orderedBits(c.reals[size_t(b)]));
    }
    return k.order == Qt::DescendingOrder ? -r : r;
}

bool GridEngine::sameValue(int col, int a, int b) const { return compareRows(SortKey{col, Qt::AscendingOrder}, a, b) == 0; }

std::uint64_t GridEngine::sortPrefix(const SortKey& k, int row) const {
    const Column& c = cache_[size_t(k.column)];
    std::uint64_t p = 0;
    if (c.storage == Storage::Text && c.dict) {
        p = c.rank[c.codes[size_t(row)]];
    } else if (c.storage == Storage::Text) {
        const std::string_view t = c.textAt(row);
        for (size_t i = 0; i < 8; ++i) p = (p << 8) | (i < t.size() ? static_cast<unsigned char>(t[i]) : 0u);
    } else if (!c.isNull(row)) {
        // Nulls sort first: they take 0, and a value that also maps to 0 is told apart by compareRows.
        p = c.storage == Storage::Int ? orderedBits(c.ints[size_t(row)]) : orderedBits(c.reals[size_t(row)]);
    }
    return k.order == Qt::DescendingOrder ? ~p : p;
}

void GridEngine::sortAll() {
    const std::vector<SortKey> keys = orderKeys();
    if (keys.empty() || rows_ == 0) {
        std::vector<int>().swap(perm_);
        return;
    }
    // Sorting pairs of (first 8 bytes of the first key, row) keeps most comparisons inside one cache line.
    struct Entry { std::uint64_t prefix; int row; };
    std::vector<Entry> e(static_cast<size_t>(rows_));
    for (int r = 0; r < rows_; ++r) e[size_t(r)] = {sortPrefix(keys[0], r), r};
    std::sort(e.begin(), e.end(), [&](const Entry& a, const Entry& b) {
        if (a.prefix != b.prefix) return a.prefix < b.prefix;
        for (const SortKey& k : keys)
            if (int c = compareRows(k, a.row, b.row)) return c < 0;
        return a.row < b.row;   // equal values keep the dataset's order
    });
    perm_.resize(size_t(rows_));
    perm_.shrink_to_fit();
    for (size_t i = 0; i < e.size(); ++i) perm_[i] = e[i].row;
}

void GridEngine::applyFilter() {
    std::vector<const std::vector<std::uint64_t>*> masks;
    if (filterEnabled_)
        for (const Condition& k : cond_)
            if (k.active() && !k.mask.empty()) masks.push_back(&k.mask);
    records_.clear();
    if (masks.empty()) {
        if (perm_.empty()) {
            records_.resize(size_t(rows_));
            std::iota(records_.begin(), records_.end(), 0);
        } else {
            records_ = perm_;
        }
        return;
    }
    std::vector<std::uint64_t> pass = *masks[0];
    for (size_t m = 1; m < masks.size(); ++m)
        for (size_t w = 0; w < pass.size(); ++w) pass[w] &= (*masks[m])[w];
    if (perm_.empty()) {
        for (size_t w = 0; w < pass.size(); ++w)
            for (std::uint64_t bits = pass[w]; bits; bits &= bits - 1)
                records_.push_back(int(w * 64 + size_t(std::countr_zero(bits))));
    } else {
        for (int r : perm_)
            if (bit(pass, r)) records_.push_back(r);
    }
}

void GridEngine::buildGroups() {
    groups_.clear();
    if (group_.empty()) {
        std::vector<int>().swap(viewRows_);
        return;
    }
    const int levels = int(group_.size());
    std::vector<int> open(size_t(levels), -1);
    int prev = -1;
    for (int p = 0; p < int(records_.size()); ++p) {
        const int r = records_[size_t(p)];
        int first = 0;
        if (prev >= 0) {
            first = levels;
            for (int l = 0; l < levels; ++l)
                if (!sameValue(group_[size_t(l)].column, prev, r)) { first = l; break; }
        }
        for (int l = first; l < levels; ++l) {
            if (open[size_t(l)] >= 0) groups_[size_t(open[size_t(l)])].end = p;
            open[size_t(l)] = int(groups_.size());
            groups_.push_back({l, p, p});
        }
        prev = r;
    }
    for (int g : open)
        if (g >= 0) groups_[size_t(g)].end = int(records_.size());
    buildViewRows();
}

void GridEngine::buildViewRows() {
    viewRows_.clear();
    if (group_.empty()) return;
    const int last = int(group_.size()) - 1;
    size_t g = 0;
    while (g < groups_.size()) {
        const GroupNode& n = groups_[g];
        viewRows_.push_back(-int(g) - 1);
        const bool open = isExpanded(int(g));
        ++g;
        if (!open) {
            while (g < groups_.size() && groups_[g].level > n.level) ++g;
            continue;
        }
        if (n.level == last)
            for (int p = n.begin; p < n.end; ++p) viewRows_.push_back(p);
    }
}

int GridEngine::positionOf(int sourceRow) const {
    auto it = std::find(records_.begin(), records_.end(), sourceRow);
    return it == records_.end() ? -1 : int(it - records_.begin());
}

int GridEngine::positionAt(int v) const {
    if (v < 0 || v >= viewRowCount()) return -1;
    if (group_.empty()) return v;
    return viewRows_[size_t(v)] >= 0 ? viewRows_[size_t(v)] : -1;
}

int GridEngine::viewRowOfPosition(int pos) const {
    if (pos < 0 || pos >= int(records_.size())) return -1;
    if (group_.empty()) return pos;
    auto it = std::find(viewRows_.begin(), viewRows_.end(), pos);
    return it == viewRows_.end() ? -1 : int(it - viewRows_.begin());
}

int GridEngine::viewRowOfGroup(int g) const {
    auto it = std::find(viewRows_.begin(), viewRows_.end(), -g - 1);
    return it == viewRows_.end() ? -1 : int(it - viewRows_.begin());
}

int GridEngine::parentGroup(int g) const {
    const int level = groups_[size_t(g)].level;
    for (int i = g - 1; i >= 0; --i)
        if (groups_[size_t(i)].level == level - 1) return i;
    return -1;
}

int GridEngine::groupOfPosition(int pos) const {
    const int last = int(group_.size()) - 1;
    for (size_t g = 0; g < groups_.size(); ++g)
        if (groups_[g].level == last && groups_[g].begin <= pos && pos < groups_[g].end) return int(g);
    return -1;
}

void GridEngine::appendValueKey(std::string& out, int col, int row) const {
    const Column& c = cache_[size_t(col)];
    if (c.storage == Storage::Text) {
        const std::string_view t = c.textAt(row);
        const std::uint32_t n = std::uint32_t(t.size());
        out.append(reinterpret_cast<const char*>(&n), sizeof n);
        out.append(t);
        return;
    }
    out.push_back(c.isNull(row) ? '\0' : '\1');
    const std::uint64_t v = c.isNull(row) ? 0
                            : c.storage == Storage::Int ? orderedBits(c.ints[size_t(row)])
                                                        : orderedBits(c.reals[size_t(row)]);
    out.append(reinterpret_cast<const char*>(&v), sizeof v);
}

std::string GridEngine::groupKey(int g) const {
    std::string key;
    const GroupNode& n = groups_[size_t(g)];
    const int row = records_[size_t(n.begin)];
    for (int l = 0; l <= n.level; ++l) appendValueKey(key, group_[size_t(l)].column, row);
    return key;
}

int GridEngine::groupOfKey(const std::string& key) const {
    for (size_t g = 0; g < groups_.size(); ++g)
        if (groupKey(int(g)) == key) return int(g);
    return -1;
}

bool GridEngine::isExpanded(int g) const { return !expanded_.empty() && expanded_.count(groupKey(g)) > 0; }

void GridEngine::setExpanded(int g, bool on) {
    if (on) expanded_.insert(groupKey(g));
    else expanded_.erase(groupKey(g));
    buildViewRows();
}

void GridEngine::expandAll() {
    for (size_t g = 0; g < groups_.size(); ++g) expanded_.insert(groupKey(int(g)));
    buildViewRows();
}

void GridEngine::collapseAll() {
    expanded_.clear();
    buildViewRows();
}

void GridEngine::expandTo(int pos) {
    for (int g = groupOfPosition(pos); g >= 0; g = parentGroup(g)) expanded_.insert(groupKey(g));
    buildViewRows();
}

std::vector<int> GridEngine::distinctRows(int col) const {
    const Column& c = cache_[size_t(col)];
    std::vector<int> rows;
    for (int r = 0; r < rows_; ++r)
        if (!c.isBlank(r)) rows.push_back(r);
    const SortKey k{col, Qt::AscendingOrder};
    std::sort(rows.begin(), rows.end(), [&](int a, int b) {
        if (int x = compareRows(k, a, b)) return x < 0;
        return a < b;
    });
    rows.erase(std::unique(rows.begin(), rows.end(), [&](int a, int b) { return sameValue(col, a, b); }), rows.end());
    return rows;
}

bool GridEngine::hasBlanks(int col) const {
    const Column& c = cache_[size_t(col)];
    for (int r = 0; r < rows_; ++r)
        if (c.isBlank(r)) return true;
    return false;
}

void GridEngine::setSort(std::vector<SortKey> keys) {
    sort_ = std::move(keys);
    sortAll();
    applyFilter();
    buildGroups();
}

void GridEngine::setGrouping(std::vector<SortKey> levels) {
    group_ = std::move(levels);
    expanded_.clear();
    sortAll();
    applyFilter();
    buildGroups();
}

}  // namespace qv::grid
