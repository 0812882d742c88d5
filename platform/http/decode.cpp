#include "platform/http/http.h"

#include <QByteArray>
#include <QStringDecoder>

#include <cctype>
#include <cstdint>
#include <cstring>

namespace qv::http {
namespace {

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& ch : out) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return out;
}

[[noreturn]] void invalid(std::string_view charset, std::size_t offset) {
    throw AppError("The answer is not valid " + std::string(charset) + " text (bad byte at offset " +
                   std::to_string(offset) + ")");
}


// Qt's UTF-16 and UTF-32 decoders quietly repair odd lengths and lone surrogates, so these two are ours.
std::string fromUtf16(const std::string& in, bool bigEndian, bool detectBom, std::string_view name) {
    std::size_t i = 0;
    if (detectBom && in.size() >= 2) {
        auto b0 = static_cast<unsigned char>(in[0]), b1 = static_cast<unsigned char>(in[1]);
        if (b0 == 0xFE && b1 == 0xFF) { bigEndian = true; i = 2; }
        else if (b0 == 0xFF && b1 == 0xFE) { bigEndian = false; i = 2; }
    }
    if ((in.size() - i) % 2 != 0) invalid(name, in.size() - 1);
    auto unit = [&](std::size_t at) -> std::uint32_t {
        auto a = static_cast<unsigned char>(in[at]), b = static_cast<unsigned char>(in[at + 1]);
        return bigEndian ? (a << 8 | b) : (b << 8 | a);
    };
    std::string out;
    out.reserve(in.size());
    while (i < in.size()) {
        std::uint32_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (i + 4 > in.size()) invalid(name, i);
            std::uint32_t low = unit(i + 2);
            if (low < 0xDC00 || low > 0xDFFF) invalid(name, i);
            appendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
            i += 4;
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
            invalid(name, i);
        } else {
            appendUtf8(out, u);
            i += 2;
        }
    }
    return out;
}

std::string fromUtf32(const std::string& in, bool bigEndian, bool detectBom, std::string_view name) {
    std::size_t i = 0;
    auto at = [&](std::size_t k) { return static_cast<std::uint32_t>(static_cast<unsigned char>(in[k])); };
    if (detectBom && in.size() >= 4) {
        if (at(0) == 0 && at(1) == 0 && at(2) == 0xFE && at(3) == 0xFF) { bigEndian = true; i = 4; }
        else if (at(0) == 0xFF && at(1) == 0xFE && at(2) == 0 && at(3) == 0) { bigEndian = false; i = 4; }
    }
    if ((in.size() - i) % 4 != 0) invalid(name, in.size() - (in.size() - i) % 4);
    std::string out;
    out.reserve(in.size());
    for (; i < in.size(); i += 4) {
        std::uint32_t cp = bigEndian ? (at(i) << 24 | at(i + 1) << 16 | at(i + 2) << 8 | at(i + 3))
                                     : (at(i + 3) << 24 | at(i + 2) << 16 | at(i + 1) << 8 | at(i));
        if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) invalid(name, i);
        appendUtf8(out, cp);
    }
    return out;
}

std::string fromLatin1(const std::string& in) {
    std::string out;
    out.reserve(in.size() + in.size() / 8);
    for (char ch : in) appendUtf8(out, static_cast<unsigned char>(ch));
    return out;
}

void dropUtf8Bom(std::string& s) {
    if (s.size() >= 3 && static_cast<unsigned char>(s[0]) == 0xEF && static_cast<unsigned char>(s[1]) == 0xBB &&
        static_cast<unsigned char>(s[2]) == 0xBF)
        s.erase(0, 3);
}

}  // namespace

bool isValidUtf8(std::string_view bytes, std::size_t* badOffset) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        // Most of a JSON answer is ASCII: skip it eight bytes at a time.
        while (i + 8 <= n) {
            std::uint64_t w;
            std::memcpy(&w, p + i, 8);
            if (w & 0x8080808080808080ULL) break;
            i += 8;
        }
        if (i >= n) break;
        unsigned char c = p[i];
        if (c < 0x80) { ++i; continue; }
        std::size_t len;
        std::uint32_t min;
        std::uint32_t cp;
        if ((c & 0xE0) == 0xC0) { len = 2; min = 0x80; cp = c & 0x1F; }
        else if ((c & 0xF0) == 0xE0) { len = 3; min = 0x800; cp = c & 0x0F; }
        else if ((c & 0xF8) == 0xF0) { len = 4; min = 0x10000; cp = c & 0x07; }
        else { if (badOffset) *badOffset = i; return false; }
        if (i + len > n) { if (badOffset) *badOffset = i; return false; }
        for (std::size_t k = 1; k < len; ++k) {
            unsigned char cc = p[i + k];
            if ((cc & 0xC0) != 0x80) { if (badOffset) *badOffset = i; return false; }
            cp = (cp << 6) | (cc & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            if (badOffset) *badOffset = i;
            return false;
        }
        i += len;
    }
    return true;
}

std::string charsetOf(std::string_view contentType) {
    const std::size_t n = contentType.size();
    std::size_t i = contentType.find(';');
    if (i == std::string_view::npos) return {};
    ++i;
    auto skipBlanks = [&] { while (i < n && (contentType[i] == ' ' || contentType[i] == '\t')) ++i; };
    while (i < n) {
        skipBlanks();
        std::size_t nameStart = i;
        while (i < n && contentType[i] != '=' && contentType[i] != ';') ++i;
        std::string_view name = contentType.substr(nameStart, i - nameStart);
        while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
        if (i >= n) break;
        if (contentType[i] == ';') { ++i; continue; }
        ++i;  // '='
        skipBlanks();
        std::string value;
        if (i < n && contentType[i] == '"') {
            for (++i; i < n && contentType[i] != '"'; ++i) {
                if (contentType[i] == '\\' && i + 1 < n) ++i;
                value += contentType[i];
            }
            if (i < n) ++i;  // closing quote
            while (i < n && contentType[i] != ';') ++i;
        } else {
            std::size_t valueStart = i;
            while (i < n && contentType[i] != ';') ++i;
            std::string_view v = contentType.substr(valueStart, i - valueStart);
            while (!v.empty() && (v.back() == ' ' || v.back() == '\t')) v.remove_suffix(1);
            value.assign(v);
        }
        if (lower(name) == "charset") return value;
        if (i < n) ++i;  // ';'
    }
    return {};
}

std::string decodeBody(std::string body, std::string_view charset) {
    const std::string cs = lower(charset);
    if (cs.empty() || cs == "utf-8" || cs == "utf8") {
        std::size_t bad = 0;
        if (!isValidUtf8(body, &bad)) invalid("UTF-8", bad);
        dropUtf8Bom(body);
        return body;
    }
    if (cs == "us-ascii" || cs == "ascii") {
        for (std::size_t i = 0; i < body.size(); ++i)
            if (static_cast<unsigned char>(body[i]) >= 0x80) invalid(charset, i);
        return body;
    }
    if (cs == "iso-8859-1" || cs == "latin1" || cs == "latin-1" || cs == "iso8859-1") return fromLatin1(body);
    if (cs == "utf-16") return fromUtf16(body, true, true, charset);
    if (cs == "utf-16be") return fromUtf16(body, true, false, charset);
    if (cs == "utf-16le") return fromUtf16(body, false, false, charset);
    if (cs == "utf-32") return fromUtf32(body, true, true, charset);
    if (cs == "utf-32be") return fromUtf32(body, true, false, charset);
    if (cs == "utf-32le") return fromUtf32(body, false, false, charset);

    QStringDecoder decoder(cs.c_str(), QStringConverter::Flag::Stateless);
    if (!decoder.isValid()) throw AppError("The answer names an unknown charset: " + std::string(charset));
    QString text = decoder.decode(QByteArrayView(body.data(), static_cast<qsizetype>(body.size())));
    if (decoder.hasError())
        throw AppError("The answer is not valid " + std::string(charset) + " text");
    QByteArray utf8 = text.toUtf8();
    return std::string(utf8.constData(), static_cast<std::size_t>(utf8.size()));
}

void appendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

}  // namespace qv::http
