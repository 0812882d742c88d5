// What an answer of the back office means: the log lines, whether it is stored, and the errors, for
// every branch; and the JSON reading that decides it.
#include <gtest/gtest.h>

#include <optional>

#include "import/backoffice_answer.h"

using namespace qv::backoffice;

namespace {

struct Result {
    QStringList log;
    bool store = false;
    std::optional<std::string> error;
};

Result run(Operation op, int code, const std::string& reason, const std::string& body) {
    Result r;
    const std::string statusLine = "HTTP/1.1 " + std::to_string(code) + " " + reason;
    try {
        r.store = handleAnswer(op, Answer{code, reason, statusLine, body}, [&r](const QString& l) { r.log << l; });
    } catch (const qv::AppError& e) {
        r.error = e.what();
    }
    return r;
}

// The four lines a date-range operation writes for a 200 answer before anything else.
QStringList head200(const std::string& body) {
    return {"StatusCode = 200", "StatusText = OK", "Content =", QString::fromStdString(body)};
}

const char* name(Operation op) {
    switch (op) {
    case Operation::InvoicesId: return "getInvoicesId";
    case Operation::InvoicesData: return "getInvoicesData";
    case Operation::Bookings: return "getBookings";
    }
    return "?";
}

}  // namespace

TEST(Answer, EveryBranchLogsStoresOrFailsAsTheClerkExpects) {
    const std::string statusFalse = "{ \"status\" : false, \"message\": \"Cheia API a expirat\", \"code\": 4.10 }";
    const std::string noMessage = "{\"status\": false}";
    const std::string invoices = "{\"status\": true, \"message\": \"\", \"invoices\": []}";
    const std::string nested = "{\"data\": {\"status\": true}}";
    struct Case {
        const char* what;
        Operation op;
        int code;
        std::string reason;
        std::string body;
        QStringList log;
        bool store;
        std::optional<std::string> error;
    };
    const Case cases[] = {
        {"404 logs three lines", Operation::InvoicesId, 404, "Not Found", "nu exista",
         {"StatusCode = 404", "StatusText = Not Found", "Content =nu exista"}, false, {}},
        {"401 the same for bookings", Operation::Bookings, 401, "Unauthorized", statusFalse,
         {"StatusCode = 401", "StatusText = Unauthorized", QString::fromStdString("Content =" + statusFalse)}, false, {}},
        {"2xx other than 200 is not read", Operation::InvoicesData, 201, "Created", invoices,
         {"StatusCode = 201", "StatusText = Created", QString::fromStdString("Content =" + invoices)}, false, {}},
        {"body with line breaks stays one entry", Operation::InvoicesId, 302, "Found", "a\nb",
         {"StatusCode = 302", "StatusText = Found", "Content =a\nb"}, false, {}},
        {"500 fails with the status line", Operation::InvoicesData, 500, "Internal Server Error", invoices, {}, false,
         "HTTP/1.1 500 Internal Server Error"},
        {"503 too", Operation::InvoicesId, 503, "Service Unavailable", "", {}, false, "HTTP/1.1 503 Service Unavailable"},

        {"invoices true: stored, nothing logged", Operation::InvoicesId, 200, "OK", invoices, {}, true, {}},
        {"by date true: logged and stored", Operation::InvoicesData, 200, "OK", invoices,
         head200(invoices) << "vStatus = true", true, {}},
        {"bookings true: logged only", Operation::Bookings, 200, "OK", invoices,
         head200(invoices) << "vStatus = true", false, {}},
        {"invoices false: the whole object, compact", Operation::InvoicesId, 200, "OK", statusFalse,
         {"vErrMessage = {\"status\":false,\"message\":\"Cheia API a expirat\",\"code\":4.10}"}, false, {}},
        {"by date false: the message", Operation::InvoicesData, 200, "OK", statusFalse,
         head200(statusFalse) << "vStatus = false" << "vErrMessage = Cheia API a expirat", false, {}},
        {"bookings false without message", Operation::Bookings, 200, "OK", noMessage,
         head200(noMessage) << "vStatus = false" << "Raspunsul nu are membrul \"message\"", false, {}},
        {"no status member", Operation::InvoicesId, 200, "OK", nested,
         {"Raspunsul nu are membrul \"status\"; nu s-a salvat nimic"}, false, {}},
        {"no status member, by date", Operation::InvoicesData, 200, "OK", nested,
         head200(nested) << "Raspunsul nu are membrul \"status\"; nu s-a salvat nimic", false, {}},
        {"status as a number keeps its digits", Operation::InvoicesData, 200, "OK", "{\"status\": 1.50}",
         head200("{\"status\": 1.50}") << "vStatus = 1.50", true, {}},
        {"status as text \"0\" is false", Operation::InvoicesId, 200, "OK", "{\"status\": \"0\"}",
         {"vErrMessage = {\"status\":\"0\"}"}, false, {}},
        {"status \"TRUE\" in any case", Operation::InvoicesId, 200, "OK", "{\"status\": \"TRUE\"}", {}, true, {}},
        {"the first of two status members counts", Operation::InvoicesId, 200, "OK",
         "{\"status\": false, \"status\": true}", {"vErrMessage = {\"status\":false,\"status\":true}"}, false, {}},
        {"an escaped key is still status", Operation::InvoicesId, 200, "OK", "{\"st\\u0061tus\": true}", {}, true, {}},
        {"blanks after the object are fine", Operation::InvoicesId, 200, "OK", "{\"status\": true}\r\n\t ", {}, true, {}},

        {"status yes", Operation::InvoicesId, 200, "OK", "{\"status\": \"yes\"}", {}, false,
         "'yes' is not a valid boolean value"},
        {"status null, after the four lines", Operation::InvoicesData, 200, "OK", "{\"status\": null}",
         head200("{\"status\": null}"), false, "'null' is not a valid boolean value"},
        {"status an object", Operation::InvoicesId, 200, "OK", "{\"status\": {\"ok\": true}}", {}, false,
         "'' is not a valid boolean value"},
        {"empty body", Operation::InvoicesId, 200, "OK", "", {}, false, "Eroare la parsare Json"},
        {"blank body", Operation::Bookings, 200, "OK", "  \n", head200("  \n"), false, "Eroare la parsare Json"},
        {"JSON then garbage", Operation::InvoicesId, 200, "OK", "{\"status\": true} x", {}, false,
         "Eroare la parsare Json"},
        {"two objects", Operation::InvoicesId, 200, "OK", "{} {}", {}, false, "Eroare la parsare Json"},
        {"single quotes", Operation::InvoicesId, 200, "OK", "{'status': true}", {}, false, "Eroare la parsare Json"},
        {"HTML", Operation::InvoicesId, 200, "OK", "<html></html>", {}, false, "Eroare la parsare Json"},
        {"unfinished array is a parse error first", Operation::InvoicesId, 200, "OK", "[1,", {}, false,
         "Eroare la parsare Json"},
        {"top-level array", Operation::InvoicesId, 200, "OK", "[{\"status\": true}]", {}, false, "Invalid class typecast"},
        {"top-level string", Operation::InvoicesData, 200, "OK", "\"ok\"", head200("\"ok\""), false,
         "Invalid class typecast"},
        {"top-level number", Operation::InvoicesId, 200, "OK", "12", {}, false, "Invalid class typecast"},
    };
    for (const Case& c : cases) {
        const Result r = run(c.op, c.code, c.reason, c.body);
        EXPECT_EQ(r.log, c.log) << name(c.op) << ": " << c.what;
        EXPECT_EQ(r.store, c.store) << c.what;
        EXPECT_EQ(r.error, c.error) << c.what;
    }
}

TEST(Answer, StatusTextConvertsToBooleanLikeTheBackOfficeMeansIt) {
    const std::pair<const char*, bool> ok[] = {
        {"1", true},   {"0", false},   {"-0", false},  {"0.000", false}, {"2.5e3", true}, {" 7 ", true},
        {"+1", true},  {".5", true},   {"0e9", false}, {"true", true},   {"TrUe", true},  {"FALSE", false},
    };
    for (const auto& [text, value] : ok) EXPECT_EQ(textToBool(text), value) << text;
    for (const char* bad : {"yes", "", "1x", "e5", "null", "tru", "1 0"}) {
        try {
            textToBool(bad);
            ADD_FAILURE() << "accepted '" << bad << "'";
        } catch (const qv::AppError& e) {
            EXPECT_EQ(std::string(e.what()), "'" + std::string(bad) + "' is not a valid boolean value");
        }
    }
}

TEST(Answer, CompactJsonKeepsNumbersAndEscapesOnlyTheShortList) {
    const std::pair<std::string, std::string> cases[] = {
        {"{ \"a\" : [ 1 , 2.50 , -0 , 1E+2, 123456789012345678901234567890 ] , \"b\" : { } , \"c\" : [ ] }",
         "{\"a\":[1,2.50,-0,1E+2,123456789012345678901234567890],\"b\":{},\"c\":[]}"},
        {"{\"url\": \"http://x/y\"}", "{\"url\":\"http:\\/\\/x\\/y\"}"},
        {"{\"s\": \"\\u00e9\\u002F\\/\\u0022\"}", "{\"s\":\"\xC3\xA9\\/\\/\\\"\"}"},
        {"{\"s\": \"a\\nb\\t\\\"\\\\ \\b\\f\\r\"}", "{\"s\":\"a\\nb\\t\\\"\\\\ \\b\\f\\r\"}"},
        {"{\"s\": \"\\u0001\\u000A\"}", std::string("{\"s\":\"\x01\\n\"}")},
        {"{\"s\": \"\\ud83d\\ude00 \xC8\x9B\"}", "{\"s\":\"\xF0\x9F\x98\x80 \xC8\x9B\"}"},
        {"{\"s\": \"\\uD800x\"}", "{\"s\":\"\\uD800x\"}"},   // a lone surrogate keeps its escape
        {"{\"k\\\"\": true, \"k\\\"\": null}", "{\"k\\\"\":true,\"k\\\"\":null}"},
        {"[{\"a\":[[],{}]},false]", "[{\"a\":[[],{}]},false]"},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(compactJson(in), out) << in;
}

TEST(Answer, JsonReadingIsStrict) {
    const std::string deepValid = std::string(5000, '[') + std::string(5000, ']');
    for (const std::string& text : {std::string("{}"), std::string(" {\"a\":[]} "), std::string("[]"),
                                    std::string("\"x\""), std::string("0"), std::string("-0.5e-7"),
                                    std::string("{\"a\":{\"b\":[null,true,false]}}"), std::string("\"\\u0000\""),
                                    deepValid})
        EXPECT_TRUE(summarizeJson(text).valid) << text.substr(0, 40);

    const std::string deepOpen(100000, '[');
    for (const std::string& text :
         {std::string("01"), std::string("1."), std::string(".5"), std::string("+1"), std::string("-"),
          std::string("1e"), std::string("NaN"), std::string("\"a\x01\""), std::string("\"\\x\""),
          std::string("\"\\u12\""), std::string("\"abc"), std::string("{\"a\" 1}"), std::string("{\"a\":1,}"),
          std::string("[1 2]"), std::string("{1:2}"), std::string("tru"), std::string("nul"), std::string("{\"a\":1}}"),
          std::string("]"), std::string("[1,]"), deepOpen})
        EXPECT_FALSE(summarizeJson(text).valid) << text.substr(0, 40);
}
