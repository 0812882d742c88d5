#include "platform/http/http.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <limits>
#include <memory>
#include <mutex>

namespace qv::http {
namespace {

// Never trust a Content-Length enough to reserve more than this up front.
constexpr curl_off_t kMaxReserve = curl_off_t(1) << 30;

struct Transfer {
    Response* response;
};

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(s[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

std::string_view trimLineEnd(std::string_view s) {
    while (!s.empty() && (s.back() == '\r' || s.back() == '\n')) s.remove_suffix(1);
    return s;
}

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// "HTTP/1.1 404 Not Found" -> "Not Found"; "HTTP/2 200" -> "".
std::string reasonOf(std::string_view statusLine) {
    std::size_t sp = statusLine.find(' ');
    if (sp == std::string_view::npos) return {};
    std::string_view rest = statusLine.substr(sp + 1);
    sp = rest.find(' ');
    if (sp == std::string_view::npos) return {};
    return std::string(rest.substr(sp + 1));
}

size_t onHeader(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const size_t n = size * count;
    std::string_view line = trimLineEnd(std::string_view(data, n));
    if (startsWithNoCase(line, "HTTP/")) {
        // A new answer begins (after a redirect or an interim 1xx): what came before belongs to another one.
        t->response->statusLine.assign(line);
        t->response->body.clear();
    } else if (startsWithNoCase(line, "content-length:")) {
        // Reserving once avoids the doubling copies of a large body.
        std::string value(trimBlanks(line.substr(15)));
        char* end = nullptr;
        long long len = std::strtoll(value.c_str(), &end, 10);
        if (end && *end == '\0' && len > 0)
            t->response->body.reserve(static_cast<std::size_t>(std::min<long long>(len, kMaxReserve)));
    }
    return n;
}

size_t onBody(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const size_t n = size * count;
    t->response->body.append(data, n);
    return n;
}

struct EasyDeleter { void operator()(CURL* c) const { curl_easy_cleanup(c); } };
struct ListDeleter { void operator()(curl_slist* l) const { curl_slist_free_all(l); } };

void globalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace

Response perform(const Request& request) {
    globalInit();
    std::unique_ptr<CURL, EasyDeleter> curl(curl_easy_init());
    if (!curl) throw AppError("REST request failed: could not start the HTTP client");
    CURL* c = curl.get();

    Response response;
    Transfer transfer{&response};
    char errorText[CURL_ERROR_SIZE] = {0};

    std::unique_ptr<curl_slist, ListDeleter> headers;
    auto addHeader = [&headers](const std::string& line) {
        curl_slist* l = curl_slist_append(headers.get(), line.c_str());
        if (!l) throw AppError("REST request failed: out of memory");
        headers.release();
        headers.reset(l);
    };
    for (const auto& [name, value] : request.headers) {
        // libcurl drops a header given as "Name:"; "Name;" is its way of sending one with no value.
        addHeader(value.empty() ? name + ";" : name + ": " + value);
    }
    // Small bodies never need it, and a server that ignores it would cost a second of waiting.
    addHeader("Expect:");

    const long readSeconds = std::max<long>(1, static_cast<long>((request.readTimeout.count() + 999) / 1000));

    curl_easy_setopt(c, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(c, CURLOPT_POSTREDIR, 0L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(request.connectTimeout.count()));
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, readSeconds);
    curl_easy_setopt(c, CURLOPT_USERAGENT, kUserAgent);
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(c, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &transfer);

    if (request.method == "POST") {
        curl_easy_setopt(c, CURLOPT_POST, 1L);
        curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
        curl_easy_setopt(c, CURLOPT_POSTFIELDS, request.body.data());
    } else if (request.method == "GET") {
        curl_easy_setopt(c, CURLOPT_HTTPGET, 1L);
    } else {
        curl_easy_setopt(c, CURLOPT_CUSTOMREQUEST, request.method.c_str());
        if (!request.body.empty()) {
            curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
            curl_easy_setopt(c, CURLOPT_POSTFIELDS, request.body.data());
        }
    }

    CURLcode rc = curl_easy_perform(c);
    if (rc != CURLE_OK) {
        std::string text = errorText[0] ? std::string(trimLineEnd(errorText)) : curl_easy_strerror(rc);
        throw AppError("REST request failed: " + text);
    }

    long code = 0;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &code);
    response.statusCode = static_cast<int>(code);
    response.reasonPhrase = reasonOf(response.statusLine);
    char* contentType = nullptr;
    if (curl_easy_getinfo(c, CURLINFO_CONTENT_TYPE, &contentType) == CURLE_OK && contentType)
        response.contentType = contentType;
    return response;
}

}  // namespace qv::http
