// One synchronous HTTP request over libcurl, and the decoding of an answer's body to UTF-8 text.
// Knows nothing of invoices or of the back office.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/error.h"

namespace qv::http {

using Headers = std::vector<std::pair<std::string, std::string>>;

struct Request {
    std::string url;
    std::string method = "POST";
    Headers headers;          // sent exactly as given, in this order
    std::string body;         // bytes; sent only by methods that carry a body
    std::chrono::milliseconds connectTimeout{std::chrono::seconds(30)};
    // Ends the transfer when not a single byte moved for this long (rounded up to whole seconds).
    std::chrono::milliseconds readTimeout{std::chrono::seconds(30)};
};

struct Response {
    int statusCode = 0;
    std::string reasonPhrase;   // may be empty (HTTP/2 has none)
    std::string statusLine;     // "HTTP/1.1 404 Not Found", of the last answer after redirects
    std::string contentType;    // as the server sent it, empty when absent
    std::string body;           // raw bytes, not decoded
};

// The user agent every request carries.
inline constexpr const char* kUserAgent = "wQuorvela/2025.07.01";

// Sends the request and waits for the whole answer. Follows at most 5 redirects; 301, 302 and 303 turn a
// POST into a GET. Any status code is an answer; only transport failures throw, as
// AppError("REST request failed: " + libcurl's text).
Response perform(const Request& request);

// The charset parameter of a Content-Type value ("" when none), without quotes.
std::string charsetOf(std::string_view contentType);

// The body as UTF-8 text, decoded by the given charset (UTF-8 when empty). A leading byte-order mark is
// dropped. Bytes that are not valid in the charset throw AppError: a repaired body would be stored as
// if the server had sent it.
std::string decodeBody(std::string body, std::string_view charset);

// Appends one Unicode code point as UTF-8.
void appendUtf8(std::string& out, std::uint32_t cp);

// True when the bytes are well-formed UTF-8 (no overlong forms, surrogates or values above U+10FFFF).
// On failure, *badOffset (when given) is the offset of the first byte of the bad sequence.
bool isValidUtf8(std::string_view bytes, std::size_t* badOffset = nullptr);

}  // namespace qv::http
