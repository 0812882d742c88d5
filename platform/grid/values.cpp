#include "platform/grid/values.h"

#include <QChar>

#include <algorithm>
#include <array>
#include <charconv>
#include <limits>

namespace qv::grid {
namespace {

constexpr std::array<char, 128> makeAsciiFold() {
    std::array<char, 128> t{};
    for (int i = 0; i < 128; ++i) t[size_t(i)] = char(i >= 'A' && i <= 'Z' ? i + 32 : i);
    return t;
}
constexpr std::array<char, 128> kAsciiFold = makeAsciiFold();

// Length of the UTF-8 sequence that starts with `lead` (1 for stray continuation or invalid bytes, so
// that a walk over bad text still moves on).
inline size_t seqLength(unsigned char lead) {
    if (lead < 0xC0) return 1;
    if (lead < 0xE0) return 2;
    if (lead < 0xF0) return 3;
    if (lead < 0xF8) return 4;
    return 1;
}

// The bytes of the character at `s[i]`: a whole UTF-8 sequence, or one byte of text that is not.
size_t charLength(std::string_view s, size_t i) {
    const size_t n = seqLength(static_cast<unsigned char>(s[i]));
    if (i + n > s.size()) return 1;
    for (size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 1;
    return n;
}

// Decodes one code point at `s[i]`; returns its length, or 0 when the sequence is not valid UTF-8.
size_t decode(std::string_view s, size_t i, char32_t& cp) {
    const unsigned char b0 = static_cast<unsigned char>(s[i]);
    size_t n = seqLength(b0);
    if (n == 1 || i + n > s.size()) return 0;
    char32_t v = b0 & (0xFF >> (n + 1));
    for (size_t k = 1; k < n; ++k) {
        const unsigned char b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) return 0;
        v = (v << 6) | (b & 0x3F);
    }
    cp = v;
    return n;
}

void encode(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(char(cp));
    } else if (cp < 0x800) {
        out.push_back(char(0xC0 | (cp >> 6)));
        out.push_back(char(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(char(0xE0 | (cp >> 12)));
        out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(char(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(char(0xF0 | (cp >> 18)));
        out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(char(0x80 | (cp & 0x3F)));
    }
}

std::string_view trimmed(std::string_view t) {
    while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
    while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.remove_suffix(1);
    return t;
}

// Reads exactly `n` digits at `s[i]`.
bool digits(std::string_view s, size_t i, size_t n, int& v) {
    if (i + n > s.size()) return false;
    v = 0;
    for (size_t k = 0; k < n; ++k) {
        const char c = s[i + k];
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    return true;
}

}  // namespace

void appendFolded(std::string& out, std::string_view utf8) {
    size_t i = 0;
    const size_t n = utf8.size();
    while (i < n) {
        const unsigned char b = static_cast<unsigned char>(utf8[i]);
        if (b < 0x80) {
            out.push_back(kAsciiFold[b]);
            ++i;
            continue;
        }
        char32_t cp = 0;
        const size_t len = decode(utf8, i, cp);
        if (len == 0) {
            out.push_back(char(b));
            ++i;
            continue;
        }
        encode(out, QChar::toCaseFolded(cp));
        i += len;
    }
}

std::string folded(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    appendFolded(out, utf8);
    return out;
}

std::string folded(const QString& text) {
    const QByteArray u = text.toUtf8();
    return folded(std::string_view(u.constData(), size_t(u.size())));
}

bool likeMatch(std::string_view s, std::string_view p) {
    size_t si = 0, pi = 0;
    size_t starP = std::string_view::npos, starS = 0;
    while (si < s.size()) {
        if (pi < p.size() && p[pi] == '%') {
            starP = ++pi;
            starS = si;
            continue;
        }
        if (pi < p.size() && p[pi] == '_') {
            si += charLength(s, si);
            ++pi;
            continue;
        }
        if (pi < p.size() && p[pi] == s[si]) {
            ++si;
            ++pi;
            continue;
        }
        if (starP == std::string_view::npos) return false;
        // Let the last "%" swallow one more character and try again from there.
        pi = starP;
        starS += charLength(s, starS);
        si = starS;
    }
    while (pi < p.size() && p[pi] == '%') ++pi;
    return pi == p.size();
}

TextPattern::TextPattern(std::string foldedPattern) : pattern_(std::move(foldedPattern)) {
    const bool hasUnderscore = pattern_.find('_') != std::string::npos;
    const size_t lead = pattern_.find_first_not_of('%');
    const bool innerPercent = lead != std::string::npos && pattern_.find('%', lead) != std::string::npos;
    if (hasUnderscore || innerPercent) {
        mode_ = Mode::General;
        pattern_ += '%';  // "begins with"
    } else if (lead == 0) {
        mode_ = Mode::Prefix;
        literal_ = pattern_;
    } else {
        mode_ = Mode::Contains;  // "%abc" or only "%"
        literal_ = lead == std::string::npos ? std::string() : pattern_.substr(lead);
    }
}

bool TextPattern::matches(std::string_view v) const {
    switch (mode_) {
    case Mode::Prefix:
        return v.size() >= literal_.size() && std::char_traits<char>::compare(v.data(), literal_.data(), literal_.size()) == 0;
    case Mode::Contains:
        return v.find(literal_) != std::string_view::npos;
    case Mode::General:
        return likeMatch(v, pattern_);
    }
    return false;
}

std::optional<std::int64_t> parseInt64(std::string_view text) {
    text = trimmed(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    std::int64_t v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
    return v;
}

std::optional<double> parseDouble(std::string_view text) {
    text = trimmed(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
    std::string t(text);
    std::replace(t.begin(), t.end(), ',', '.');
    if (t == "NaN") return std::numeric_limits<double>::quiet_NaN();
    if (t == "Infinity") return std::numeric_limits<double>::infinity();
    if (t == "-Infinity") return -std::numeric_limits<double>::infinity();
    double v = 0;
    auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
    if (ec != std::errc() || end != t.data() + t.size()) return std::nullopt;
    return v;
}

std::int64_t dayNumber(int y, int m, int d) {
    // Days from the civil calendar (proleptic Gregorian), 1970-01-01 = 0.
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = unsigned((153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1);
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + std::int64_t(doe) - 719468;
}

std::int64_t dayNumber(const QDate& d) { return dayNumber(d.year(), d.month(), d.day()); }

QDate dateOfDayNumber(std::int64_t days) { return QDate(1970, 1, 1).addDays(days); }

std::optional<std::int64_t> parseIsoDate(std::string_view t) {
    if (t == "infinity") return std::numeric_limits<std::int64_t>::max();
    if (t == "-infinity") return std::numeric_limits<std::int64_t>::min();
    int y = 0, m = 0, d = 0;
    if (t.size() < 10 || !digits(t, 0, 4, y) || t[4] != '-' || !digits(t, 5, 2, m) || t[7] != '-' ||
        !digits(t, 8, 2, d))
        return std::nullopt;
    if (t.size() > 10 && t.substr(10) != " BC") return std::nullopt;
    if (t.size() > 10) y = 1 - y;
    return dayNumber(y, m, d);
}

std::optional<std::int64_t> parseIsoTimestamp(std::string_view t) {
    if (t == "infinity") return std::numeric_limits<std::int64_t>::max();
    if (t == "-infinity") return std::numeric_limits<std::int64_t>::min();
    const bool bc = t.size() > 3 && t.substr(t.size() - 3) == " BC";
    if (bc) t.remove_suffix(3);
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    if (t.size() < 19 || !digits(t, 0, 4, y) || t[4] != '-' || !digits(t, 5, 2, mo) || t[7] != '-' ||
        !digits(t, 8, 2, d) || (t[10] != ' ' && t[10] != 'T') || !digits(t, 11, 2, h) || t[13] != ':' ||
        !digits(t, 14, 2, mi) || t[16] != ':' || !digits(t, 17, 2, s))
        return std::nullopt;
    if (bc) y = 1 - y;
    std::int64_t micros = 0;
    size_t i = 19;
    if (i < t.size() && t[i] == '.') {
        int scale = 100000;
        for (++i; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i) {
            micros += (t[i] - '0') * scale;
            scale /= 10;
        }
    }
    // A time-zone suffix ("+03", "-05:30") is the session's own offset: the wall-clock value is what
    // the user sees, so it is what we compare.
    return dayNumber(y, mo, d) * kMicrosPerDay + (h * 3600 + mi * 60 + s) * kMicrosPerSecond + micros;
}

}  // namespace qv::grid
