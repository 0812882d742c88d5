// The rules of talking to the Quorvela back office, as plain functions: how a request is built and what
// an answer means (log lines, whether to store it, or an error). No network, no widgets: the window
// TfProc_Quorvela only wires these to the HTTP layer and to the database.
#pragma once

#include <QDate>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/http/http.h"

namespace qv::backoffice {

enum class Operation { InvoicesId, InvoicesData, Bookings };

inline constexpr std::string_view kInvoicesPath = "v1/backOffice/invoices";
inline constexpr std::string_view kBookingsPath = "v1/backOffice/bookings";
inline constexpr std::string_view kAccept = "application/json, text/plain; q=0.9, text/html;q=0.8,";
inline constexpr std::string_view kAcceptCharset = "utf-8, *;q=0.8";
inline constexpr std::string_view kContentType = "application/json";

// Standard Base64 (RFC 4648 alphabet, "=" padding, no line breaks).
std::string base64(std::string_view bytes);
// The Basic credentials: Base64 of the UTF-8 bytes of user + ":" + password.
std::string basicCredentials(const QString& user, const QString& password);

// The base URL trimmed, given "http://" when it names no scheme, one trailing "/" dropped; then "/" + path.
std::string requestUrl(const QString& baseUrl, std::string_view path);

// The three request bodies, byte for byte as the back office expects them.
std::string invoicesIdBody(std::int64_t id);
std::string invoicesDataBody(const QDate& from, const QDate& to);
std::string bookingsBody(const QDate& from, const QDate& to);
// yyyy-mm-dd
std::string formatDate(const QDate& d);

// Everything one call needs; the fields an operation does not use are ignored.
struct Call {
    Operation operation = Operation::InvoicesId;
    QString baseUrl, user, password;
    QString apiEndPoint;   // channel code, sent as API-SOURCE by InvoicesId only
    std::int64_t id = 0;   // InvoicesId
    QDate from, to;        // InvoicesData, Bookings
};

// A complete request for one call: URL, POST, headers and body. Nothing is carried over between calls.
qv::http::Request buildRequest(const Call& call);

// What came back, with the body already decoded to UTF-8 text.
struct Answer {
    int statusCode = 0;
    std::string reasonPhrase;
    std::string statusLine;
    std::string_view body;
};

// Receives the import log's lines, one call per line, in order.
using LogSink = std::function<void(const QString&)>;

// 500 and above is an error whose message is the status line; the body is not looked at.
void throwIfServerError(int statusCode, const std::string& reasonPhrase, const std::string& statusLine);

// The meaning of an answer for an operation: its log lines go to the sink as they arise (so the lines
// written before an error stay written), and the result says whether to hand the whole body to
// o_quorvela_log_ins. Throws AppError with the user's text for a server error, a body that is not JSON
// ("Eroare la parsare Json"), a top level that is not an object ("Invalid class typecast") and a
// "status" that is no boolean.
bool handleAnswer(Operation operation, const Answer& answer, const LogSink& log);

// ---- the JSON pieces handleAnswer is made of (exposed for their own tests) ----

// One pass over a JSON text: valid or not, and the text of the top-level "status" and "message"
// members (first occurrence) when the top level is an object. A member's text is true/false/null by
// name, a string's contents, a number's digits as they came, and "" for an object or array.
struct JsonSummary {
    bool valid = false;
    bool topIsObject = false;
    std::optional<std::string> status;
    std::optional<std::string> message;
};
JsonSummary summarizeJson(std::string_view text);

// "1", "0", "-2.5e3" (any number; 0 is false) or "true"/"false" in any case; else AppError
// "'<text>' is not a valid boolean value".
bool textToBool(const std::string& text);

// A valid JSON text written back without blanks, numbers as received, strings with only
// " \ / \b \f \n \r \t escaped. Behaviour for invalid input is unspecified: validate first.
std::string compactJson(std::string_view text);

}  // namespace qv::backoffice
