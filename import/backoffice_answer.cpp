#include "import/backoffice_answer.h"

#include <QByteArray>

#include <cstdio>
#include <vector>

#include "platform/error.h"
#include "platform/http/http.h"

namespace qv::backoffice {

// ---------------------------------------------------------------- request

std::string base64(std::string_view bytes) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    auto byte = [&](std::size_t k) { return static_cast<unsigned>(static_cast<unsigned char>(bytes[k])); };
    for (; i + 3 <= bytes.size(); i += 3) {
        unsigned v = byte(i) << 16 | byte(i + 1) << 8 | byte(i + 2);
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += kAlphabet[v & 63];
    }
    const std::size_t rest = bytes.size() - i;
    if (rest == 1) {
        unsigned v = byte(i) << 16;
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += "==";
    } else if (rest == 2) {
        unsigned v = byte(i) << 16 | byte(i + 1) << 8;
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += '=';
    }
    return out;
}

std::string basicCredentials(const QString& user, const QString& password) {
    QByteArray utf8 = (user + QLatin1Char(':') + password).toUtf8();
    return base64(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
}

namespace {

// A scheme is letters, digits, "+", "-", "." after a first letter, then "://". Without this test
// "localhost:8080" would pass for a URL with the scheme "localhost".
bool hasScheme(std::string_view url) {
    std::size_t sep = url.find("://");
    if (sep == std::string_view::npos || sep == 0) return false;
    auto alpha = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    if (!alpha(url[0])) return false;
    for (std::size_t i = 1; i < sep; ++i) {
        char c = url[i];
        if (!alpha(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.') return false;
    }
    return true;
}

}  // namespace

std::string requestUrl(const QString& baseUrl, std::string_view path) {
    // Trimmed as the clerk's config row may carry stray blanks or line breaks around the URL.
    QByteArray utf8 = baseUrl.trimmed().toUtf8();
    std::string url(utf8.constData(), static_cast<std::size_t>(utf8.size()));
    if (!hasScheme(url)) url.insert(0, "http://");
    if (!url.empty() && url.back() == '/') url.pop_back();
    url += '/';
    url += path;
    return url;
}

std::string formatDate(const QDate& d) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", d.year(), d.month(), d.day());
    return buf;
}

std::string invoicesIdBody(std::int64_t id) {
    return "{\"invoiceId\": \">," + std::to_string(id) + "\"}";
}

std::string invoicesDataBody(const QDate& from, const QDate& to) {
    return "{\"invoiceDate\": {\"from\":\"" + formatDate(from) + "\", \"to\":\"" + formatDate(to) + "\"}}";
}

std::string bookingsBody(const QDate& from, const QDate& to) {
    return "{\"from\":\"" + formatDate(from) + "\", \"to\":\"" + formatDate(to) + "\"}";
}

qv::http::Request buildRequest(const Call& call) {
    qv::http::Request r;
    r.method = "POST";
    r.url = requestUrl(call.baseUrl, call.operation == Operation::Bookings ? kBookingsPath : kInvoicesPath);
    r.headers.emplace_back("Authorization", "Basic " + basicCredentials(call.user, call.password));
    if (call.operation == Operation::InvoicesId) {
        QByteArray source = call.apiEndPoint.toUtf8();
        r.headers.emplace_back("API-SOURCE", std::string(source.constData(), static_cast<std::size_t>(source.size())));
    }
    r.headers.emplace_back("Accept", std::string(kAccept));
    r.headers.emplace_back("Accept-Charset", std::string(kAcceptCharset));
    r.headers.emplace_back("Content-Type", std::string(kContentType));
    switch (call.operation) {
    case Operation::InvoicesId: r.body = invoicesIdBody(call.id); break;
    case Operation::InvoicesData: r.body = invoicesDataBody(call.from, call.to); break;
    case Operation::Bookings: r.body = bookingsBody(call.from, call.to); break;
    }
    return r;
}

// ---------------------------------------------------------------- JSON

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::uint32_t hex4(const char* p) {
    return static_cast<std::uint32_t>(hexValue(p[0]) << 12 | hexValue(p[1]) << 8 | hexValue(p[2]) << 4 | hexValue(p[3]));
}

// A string's contents (between the quotes, already validated) with its escapes resolved. A lone
// surrogate has no UTF-8 form; it keeps its escape so that nothing is silently replaced.
// With reescape, the result is ready to go back between quotes in compact form.
void unescapeInto(std::string_view raw, std::string& out, bool reescape) {
    std::size_t i = 0;
    while (i < raw.size()) {
        std::size_t j = i;
        while (j < raw.size() && raw[j] != '\\' && !(reescape && (raw[j] == '/'))) ++j;
        out.append(raw.data() + i, j - i);
        if (j >= raw.size()) break;
        if (raw[j] == '/') { out += "\\/"; i = j + 1; continue; }
        char e = raw[j + 1];
        i = j + 2;
        char simple = 0;
        switch (e) {
        case '"': simple = '"'; break;
        case '\\': simple = '\\'; break;
        case '/': simple = '/'; break;
        case 'b': simple = '\b'; break;
        case 'f': simple = '\f'; break;
        case 'n': simple = '\n'; break;
        case 'r': simple = '\r'; break;
        case 't': simple = '\t'; break;
        default: break;
        }
        if (simple) {
            if (!reescape) { out += simple; continue; }
            switch (simple) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '/': out += "\\/"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            }
            continue;
        }
        // \uXXXX
        std::uint32_t u = hex4(raw.data() + i);
        i += 4;
        if (u >= 0xD800 && u <= 0xDBFF && i + 6 <= raw.size() && raw[i] == '\\' && raw[i + 1] == 'u') {
            std::uint32_t low = hex4(raw.data() + i + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                qv::http::appendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
                i += 6;
                continue;
            }
        }
        if (u >= 0xD800 && u <= 0xDFFF) {
            out.append(raw.data() + i - 6, 6);
            continue;
        }
        if (reescape) {
            switch (u) {
            case '"': out += "\\\""; continue;
            case '\\': out += "\\\\"; continue;
            case '/': out += "\\/"; continue;
            case '\b': out += "\\b"; continue;
            case '\f': out += "\\f"; continue;
            case '\n': out += "\\n"; continue;
            case '\r': out += "\\r"; continue;
            case '\t': out += "\\t"; continue;
            default: break;
            }
        }
        qv::http::appendUtf8(out, u);
    }
}

// A strict JSON scanner (RFC 8259) that reports tokens to a sink without building anything. Iterative,
// so that deep nesting cannot exhaust the stack. Strings, numbers and literals reach the sink as slices
// of the text: strings without their quotes and with escapes untouched.
template <class Sink>
bool scanJson(std::string_view text, Sink& sink) {
    const char* p = text.data();
    const char* const end = p + text.size();
    std::vector<char> stack;
    auto skipBlanks = [&] {
        while (p < end && (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r')) ++p;
    };
    auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    // On '"': leaves p after the closing quote; out = the contents.
    auto scanString = [&](std::string_view& out) -> bool {
        const char* start = ++p;
        for (;;) {
            while (p < end) {
                unsigned char c = static_cast<unsigned char>(*p);
                if (c == '"' || c == '\\' || c < 0x20) break;
                ++p;
            }
            if (p >= end) return false;
            if (*p == '"') break;
            if (static_cast<unsigned char>(*p) < 0x20) return false;
            // backslash
            if (p + 1 >= end) return false;
            switch (p[1]) {
            case '"': case '\\': case '/': case 'b': case 'f': case 'n': case 'r': case 't':
                p += 2;
                break;
            case 'u':
                if (end - p < 6) return false;
                for (int k = 2; k < 6; ++k)
                    if (hexValue(p[k]) < 0) return false;
                p += 6;
                break;
            default:
                return false;
            }
        }
        out = std::string_view(start, static_cast<std::size_t>(p - start));
        ++p;
        return true;
    };
    auto scanNumber = [&](std::string_view& out) -> bool {
        const char* start = p;
        if (*p == '-') ++p;
        if (p >= end) return false;
        if (*p == '0') {
            ++p;
        } else if (isDigit(*p)) {
            while (p < end && isDigit(*p)) ++p;
        } else {
            return false;
        }
        if (p < end && *p == '.') {
            ++p;
            if (p >= end || !isDigit(*p)) return false;
            while (p < end && isDigit(*p)) ++p;
        }
        if (p < end && (*p == 'e' || *p == 'E')) {
            ++p;
            if (p < end && (*p == '+' || *p == '-')) ++p;
            if (p >= end || !isDigit(*p)) return false;
            while (p < end && isDigit(*p)) ++p;
        }
        out = std::string_view(start, static_cast<std::size_t>(p - start));
        return true;
    };
    auto scanWord = [&](std::string_view word) -> bool {
        if (static_cast<std::size_t>(end - p) < word.size() || std::string_view(p, word.size()) != word) return false;
        p += word.size();
        return true;
    };

    enum class State { Value, Key, AfterValue };
    State state = State::Value;
    for (;;) {
        skipBlanks();
        if (state == State::AfterValue) {
            if (stack.empty()) return p == end;
            if (p >= end) return false;
            if (*p == ',') {
                ++p;
                state = stack.back() == '{' ? State::Key : State::Value;
            } else if (*p == '}' && stack.back() == '{') {
                ++p;
                stack.pop_back();
                sink.endObject();
            } else if (*p == ']' && stack.back() == '[') {
                ++p;
                stack.pop_back();
                sink.endArray();
            } else {
                return false;
            }
            continue;
        }
        if (p >= end) return false;
        if (state == State::Key) {
            std::string_view key;
            if (*p != '"' || !scanString(key)) return false;
            skipBlanks();
            if (p >= end || *p != ':') return false;
            ++p;
            sink.key(key);
            state = State::Value;
            continue;
        }
        // A value.
        std::string_view token;
        switch (*p) {
        case '{':
            ++p;
            sink.beginObject();
            skipBlanks();
            if (p < end && *p == '}') {
                ++p;
                sink.endObject();
                state = State::AfterValue;
            } else {
                stack.push_back('{');
                state = State::Key;
            }
            continue;
        case '[':
            ++p;
            sink.beginArray();
            skipBlanks();
            if (p < end && *p == ']') {
                ++p;
                sink.endArray();
                state = State::AfterValue;
            } else {
                stack.push_back('[');
                state = State::Value;
            }
            continue;
        case '"':
            if (!scanString(token)) return false;
            sink.string(token);
            break;
        case 't':
            if (!scanWord("true")) return false;
            sink.literal("true");
            break;
        case 'f':
            if (!scanWord("false")) return false;
            sink.literal("false");
            break;
        case 'n':
            if (!scanWord("null")) return false;
            sink.literal("null");
            break;
        default:
            if (*p != '-' && !isDigit(*p)) return false;
            if (!scanNumber(token)) return false;
            sink.number(token);
            break;
        }
        state = State::AfterValue;
    }
}

// Notes the top-level object's first "status" and "message" members.
class SummarySink {
public:
    explicit SummarySink(JsonSummary& s) : s_(s) {}
    void beginObject() {
        if (depth_ == 0) s_.topIsObject = true;
        if (depth_ == 1) capture("");
        ++depth_;
    }
    void endObject() { --depth_; }
    void beginArray() {
        if (depth_ == 1) capture("");
        ++depth_;
    }
    void endArray() { --depth_; }
    void key(std::string_view raw) {
        if (depth_ != 1) return;
        std::string_view name = raw;
        std::string decoded;
        if (raw.find('\\') != std::string_view::npos) {
            unescapeInto(raw, decoded, false);
            name = decoded;
        }
        pending_ = nullptr;
        if (name == "status" && !s_.status) pending_ = &s_.status;
        else if (name == "message" && !s_.message) pending_ = &s_.message;
    }
    void string(std::string_view raw) {
        if (depth_ != 1 || !pending_) return;
        std::string text;
        unescapeInto(raw, text, false);
        capture(std::move(text));
    }
    void number(std::string_view raw) { if (depth_ == 1) capture(std::string(raw)); }
    void literal(std::string_view word) { if (depth_ == 1) capture(std::string(word)); }

private:
    void capture(std::string text) {
        if (pending_) *pending_ = std::move(text);
        pending_ = nullptr;
    }
    JsonSummary& s_;
    int depth_ = 0;
    std::optional<std::string>* pending_ = nullptr;
};

class CompactSink {
public:
    explicit CompactSink(std::string& out) : out_(out) {}
    void beginObject() { comma(); out_ += '{'; needComma_ = false; }
    void endObject() { out_ += '}'; needComma_ = true; }
    void beginArray() { comma(); out_ += '['; needComma_ = false; }
    void endArray() { out_ += ']'; needComma_ = true; }
    void key(std::string_view raw) {
        comma();
        quoted(raw);
        out_ += ':';
        needComma_ = false;
    }
    void string(std::string_view raw) { comma(); quoted(raw); needComma_ = true; }
    void number(std::string_view raw) { comma(); out_ += raw; needComma_ = true; }
    void literal(std::string_view word) { comma(); out_ += word; needComma_ = true; }

private:
    void comma() { if (needComma_) out_ += ','; }
    void quoted(std::string_view raw) {
        out_ += '"';
        unescapeInto(raw, out_, true);
        out_ += '"';
    }
    std::string& out_;
    bool needComma_ = false;
};

bool isNumberText(std::string_view s, bool& isZero) {
    std::size_t i = 0;
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (i < s.size() && blank(s[i])) ++i;
    std::size_t last = s.size();
    while (last > i && blank(s[last - 1])) --last;
    if (i < last && (s[i] == '+' || s[i] == '-')) ++i;
    bool digits = false;
    isZero = true;
    for (; i < last && s[i] >= '0' && s[i] <= '9'; ++i) { digits = true; if (s[i] != '0') isZero = false; }
    if (i < last && s[i] == '.') {
        ++i;
        for (; i < last && s[i] >= '0' && s[i] <= '9'; ++i) { digits = true; if (s[i] != '0') isZero = false; }
    }
    if (!digits) return false;
    if (i < last && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < last && (s[i] == '+' || s[i] == '-')) ++i;
        bool expDigits = false;
        for (; i < last && s[i] >= '0' && s[i] <= '9'; ++i) expDigits = true;
        if (!expDigits) return false;
    }
    return i == last;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

QString fromUtf8(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

}  // namespace

JsonSummary summarizeJson(std::string_view text) {
    JsonSummary summary;
    SummarySink sink(summary);
    summary.valid = scanJson(text, sink);
    if (!summary.valid) {
        summary.topIsObject = false;
        summary.status.reset();
        summary.message.reset();
    }
    return summary;
}

std::string compactJson(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    CompactSink sink(out);
    scanJson(text, sink);
    return out;
}

bool textToBool(const std::string& text) {
    bool zero = false;
    if (isNumberText(text, zero)) return !zero;
    if (equalsNoCase(text, "true")) return true;
    if (equalsNoCase(text, "false")) return false;
    throw AppError("'" + text + "' is not a valid boolean value");
}

// ---------------------------------------------------------------- answer

void throwIfServerError(int statusCode, const std::string& reasonPhrase, const std::string& statusLine) {
    if (statusCode < 500) return;
    if (!statusLine.empty()) throw AppError(statusLine);
    throw AppError("HTTP/1.1 " + std::to_string(statusCode) + (reasonPhrase.empty() ? "" : " " + reasonPhrase));
}

bool handleAnswer(Operation operation, const Answer& answer, const LogSink& log) {
    throwIfServerError(answer.statusCode, answer.reasonPhrase, answer.statusLine);
    const QString code = QString::number(answer.statusCode);
    const QString reason = fromUtf8(answer.reasonPhrase);
    if (answer.statusCode != 200) {
        log(QStringLiteral("StatusCode = ") + code);
        log(QStringLiteral("StatusText = ") + reason);
        log(QStringLiteral("Content =") + fromUtf8(answer.body));
        return false;
    }
    const bool byDate = operation != Operation::InvoicesId;
    if (byDate) {
        log(QStringLiteral("StatusCode = ") + code);
        log(QStringLiteral("StatusText = ") + reason);
        log(QStringLiteral("Content ="));
        log(fromUtf8(answer.body));
    }

    const JsonSummary json = summarizeJson(answer.body);
    if (!json.valid) throw AppError("Eroare la parsare Json");
    if (!json.topIsObject) throw AppError("Invalid class typecast");
    if (!json.status) {
        log(QStringLiteral("Raspunsul nu are membrul \"status\"; nu s-a salvat nimic"));
        return false;
    }
    const bool ok = textToBool(*json.status);
    if (byDate) log(QStringLiteral("vStatus = ") + fromUtf8(*json.status));
    if (ok) return operation != Operation::Bookings;

    if (operation == Operation::InvoicesId)
        log(QStringLiteral("vErrMessage = ") + fromUtf8(compactJson(answer.body)));
    else if (json.message)
        log(QStringLiteral("vErrMessage = ") + fromUtf8(*json.message));
    else
        log(QStringLiteral("Raspunsul nu are membrul \"message\""));
    return false;
}

}  // namespace qv::backoffice
