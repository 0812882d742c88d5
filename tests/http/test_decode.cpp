// Turning an answer's bytes into UTF-8 text: the charset parameter, and decoding that refuses bad bytes
// instead of repairing them.
#include <gtest/gtest.h>

#include "platform/http/http.h"

using qv::http::charsetOf;
using qv::http::decodeBody;

TEST(Charset, IsReadFromTheContentTypeParameters) {
    struct Case { const char* contentType; const char* charset; };
    const Case cases[] = {
        {"application/json", ""},
        {"", ""},
        {"application/json; charset=UTF-8", "UTF-8"},
        {"text/html;Charset=\"iso-8859-2\"", "iso-8859-2"},
        {"application/json; foo=bar; charset=utf-16le ", "utf-16le"},
        {"text/plain; name=\"a;charset=x\"; charset=windows-1250", "windows-1250"},
        {"text/plain; broken; charset=latin1", "latin1"},
    };
    for (const Case& c : cases) EXPECT_EQ(charsetOf(c.contentType), c.charset) << c.contentType;
}

TEST(Decode, ConvertsWhatTheCharsetNames) {
    struct Case { std::string bytes; const char* charset; std::string utf8; };
    const Case cases[] = {
        {"{\"a\":\"\xC8\x9B\"}", "", "{\"a\":\"\xC8\x9B\"}"},          // no charset: UTF-8
        {"\xEF\xBB\xBF{}", "utf-8", "{}"},                              // byte-order mark dropped
        {"\xE2\xEE", "ISO-8859-1", "\xC3\xA2\xC3\xAE"},                 // â î
        {"\xBA\xFE", "windows-1250", "\xC5\x9F\xC5\xA3"},               // ş ţ
        {std::string("{\0}\0", 4), "utf-16le", "{}"},
        {std::string("\xFE\xFF\0{\0}", 6), "UTF-16", "{}"},             // BOM decides the order
        {std::string("\0{\xD8\x3D\xDE\x00", 6), "utf-16be", "{\xF0\x9F\x98\x80"},  // surrogate pair
        {std::string("{\0\0\0", 4), "utf-32le", "{"},
        {"plain", "us-ascii", "plain"},
    };
    for (const Case& c : cases) EXPECT_EQ(decodeBody(c.bytes, c.charset), c.utf8) << c.charset;
}

TEST(Decode, RefusesBytesThatAreNotValidInTheCharset) {
    struct Case { std::string bytes; const char* charset; const char* messagePart; };
    const Case cases[] = {
        {"ab\x80", "", "UTF-8 text (bad byte at offset 2)"},                 // stray continuation byte
        {"\xC0\xAF", "utf-8", "offset 0"},                                   // overlong "/"
        {"x\xED\xA0\x80", "utf-8", "offset 1"},                              // encoded surrogate
        {"\xF4\x90\x80\x80", "utf-8", "offset 0"},                           // above U+10FFFF
        {"12345678\xE2\x82", "utf-8", "offset 8"},                           // cut short at the end
        {"\xFF", "", "UTF-8"},
        {std::string("{\0}", 3), "utf-16le", "utf-16le"},                    // odd length
        {std::string("\0\xDC", 2), "utf-16le", "utf-16le"},                  // lone low surrogate
        {std::string("\x00\x00\x11\x00", 4), "utf-32le", "utf-32le"},        // above U+10FFFF
        {"caf\xE9", "us-ascii", "us-ascii"},
        {"x", "x-no-such-charset", "unknown charset: x-no-such-charset"},
    };
    for (const Case& c : cases) {
        try {
            decodeBody(c.bytes, c.charset);
            ADD_FAILURE() << "accepted " << c.charset << " case " << c.messagePart;
        } catch (const qv::AppError& e) {
            EXPECT_NE(std::string(e.what()).find(c.messagePart), std::string::npos) << e.what();
        }
    }
}
