// How the grid reads cell values: letter-case folding of UTF-8 text, the filter row's wildcard patterns,
// and the server's text forms of numbers and dates turned into sortable integers.
//
// Everything here works on the bytes the server sent, so that filtering and sorting never build a
// QString or QVariant per cell.
#pragma once

#include <QDate>
#include <QString>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qv::grid {

// Appends `utf8` folded by letter case (Unicode simple case folding, one code point for one, as
// QString::compare(..., Qt::CaseInsensitive) does). Accents stay: "Ș" folds to "ș", never to "s".
// Bytes that are not valid UTF-8 are copied as they are.
void appendFolded(std::string& out, std::string_view utf8);
std::string folded(std::string_view utf8);
std::string folded(const QString& text);

// A condition typed into a text column: the value must begin with the pattern; "%" stands for any run
// of characters and "_" for exactly one. Both sides are case-folded UTF-8.
class TextPattern {
public:
    TextPattern() = default;
    explicit TextPattern(std::string foldedPattern);
    bool matches(std::string_view foldedValue) const;
    bool empty() const { return pattern_.empty(); }

private:
    enum class Mode { Prefix, Contains, General };
    Mode mode_ = Mode::Prefix;
    std::string pattern_;   // as typed (folded)
    std::string literal_;   // for Prefix and Contains
};

// "%" and "_" matching over UTF-8 bytes; `pattern` is matched against the whole value.
bool likeMatch(std::string_view value, std::string_view pattern);

// The server's text forms. Dates become day numbers and timestamps microseconds, both counted from
// 1970-01-01 and both without time zones: they only have to order and compare like the values.
std::optional<std::int64_t> parseInt64(std::string_view text);
std::optional<double> parseDouble(std::string_view text);   // "," is taken as the decimal point too
std::optional<std::int64_t> parseIsoDate(std::string_view text);       // days
std::optional<std::int64_t> parseIsoTimestamp(std::string_view text);  // microseconds
std::int64_t dayNumber(int year, int month, int day);
std::int64_t dayNumber(const QDate& d);
QDate dateOfDayNumber(std::int64_t days);

inline constexpr std::int64_t kMicrosPerSecond = 1000000;
inline constexpr std::int64_t kMicrosPerDay = 86400 * kMicrosPerSecond;

}  // namespace qv::grid
