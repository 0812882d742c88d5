// The HTTP layer against a real server (the back-office simulator): what goes out, what comes back, and
// the text of each kind of transport failure.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <functional>

#include "platform/http/http.h"
#include "simulator.h"

using namespace std::chrono_literals;

namespace {

const char* kAuth = "Basic cXVvcnZlbGE6cXVvcnZlbGEtZGVtbw==";   // quorvela:quorvela-demo

qv::http::Request post(const std::string& url, std::string body = "{}") {
    qv::http::Request r;
    r.url = url + "/v1/backOffice/invoices";
    r.headers = {{"Authorization", kAuth}, {"Content-Type", "application/json"}};
    r.body = std::move(body);
    return r;
}

// The echo answer's headers as (name, value) pairs.
std::vector<std::pair<std::string, std::string>> echoedHeaders(const nlohmann::json& echo) {
    std::vector<std::pair<std::string, std::string>> out;
    for (const auto& h : echo["headers"]) out.emplace_back(h[0].get<std::string>(), h[1].get<std::string>());
    return out;
}

std::vector<std::string> valuesOf(const std::vector<std::pair<std::string, std::string>>& headers, std::string name) {
    std::vector<std::string> out;
    auto lower = [](std::string s) { for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c))); return s; };
    for (const auto& [n, v] : headers)
        if (lower(n) == lower(name)) out.push_back(v);
    return out;
}

}  // namespace

TEST(Transport, SendsHeadersAndBodyExactlyAsGiven) {
    qvtest::Simulator sim({"--echo"});
    qv::http::Request r = post(sim.url(), "{\"invoiceId\": \">,0\", \"n\": \"\xC8\x9B\"}");
    r.headers.emplace_back("Accept", "application/json, text/plain; q=0.9, text/html;q=0.8,");
    const qv::http::Response resp = qv::http::perform(r);
    ASSERT_EQ(resp.statusCode, 200) << resp.body;
    const auto echo = nlohmann::json::parse(resp.body);
    EXPECT_EQ(echo["method"], "POST");
    EXPECT_EQ(echo["body"], r.body);
    const auto headers = echoedHeaders(echo);
    EXPECT_EQ(valuesOf(headers, "Content-Type"), std::vector<std::string>{"application/json"});
    EXPECT_EQ(valuesOf(headers, "Accept"), std::vector<std::string>{"application/json, text/plain; q=0.9, text/html;q=0.8,"});
    EXPECT_EQ(valuesOf(headers, "User-Agent"), std::vector<std::string>{qv::http::kUserAgent});
    EXPECT_TRUE(valuesOf(headers, "Accept-Encoding").empty());
}

TEST(Transport, ReportsStatusLineReasonAndContentTypeOfAnyStatus) {
    struct Case { int code; const char* reason; };
    const Case cases[] = {{404, "Not Found"}, {401, "Unauthorized"}, {500, "Internal Server Error"},
                          {503, "Service Unavailable"}};
    for (const Case& c : cases) {
        qvtest::Simulator sim({"--fail-status", std::to_string(c.code)});
        const qv::http::Response resp = qv::http::perform(post(sim.url()));
        EXPECT_EQ(resp.statusCode, c.code);
        EXPECT_EQ(resp.reasonPhrase, c.reason);
        EXPECT_EQ(resp.statusLine, "HTTP/1.1 " + std::to_string(c.code) + " " + c.reason);
        EXPECT_EQ(resp.contentType, "text/plain");
        EXPECT_EQ(resp.body, "Eroare simulata " + std::to_string(c.code));
    }
}

TEST(Transport, FollowsRedirectsTurningPostIntoGetOnlyFor301To303) {
    struct Case { int code; const char* method; };
    const Case cases[] = {{301, "GET"}, {302, "GET"}, {303, "GET"}, {307, "POST"}, {308, "POST"}};
    for (const Case& c : cases) {
        qvtest::Simulator sim({"--redirect", std::to_string(c.code), "--echo"});
        const qv::http::Response resp = qv::http::perform(post(sim.url(), "{\"x\": 1}"));
        ASSERT_EQ(resp.statusCode, 200) << c.code << ": " << resp.body;
        EXPECT_EQ(resp.statusLine, "HTTP/1.1 200 OK");
        const auto echo = nlohmann::json::parse(resp.body);
        EXPECT_EQ(echo["method"], c.method) << c.code;
        EXPECT_EQ(echo["path"], "/moved/v1/backOffice/invoices");
        EXPECT_EQ(echo["body"], std::string(c.method) == "POST" ? "{\"x\": 1}" : "") << c.code;
    }
}

TEST(Transport, FailuresCarryTheTransportText) {
    struct Case {
        const char* name;
        std::vector<std::string> options;   // none: no simulator
        std::function<std::string(const std::string& url)> target;
        const char* textPart;
    };
    auto invoices = [](const std::string& url) { return url + "/v1/backOffice/invoices"; };
    const Case cases[] = {
        {"never answers", {"--slow", "60000"}, invoices, "Operation too slow"},
        {"closes mid-body", {"--b2b-count", "50", "--close-mid-body"}, invoices, "transfer closed"},
        {"redirect loop", {"--redirect", "307", "--redirect-loop"}, invoices, "Maximum (5) redirects followed"},
        {"unresolvable name", {}, [](const std::string&) { return std::string("http://no-such-host.invalid/x"); },
         "Could not resolve host: no-such-host.invalid"},
    };
    for (const Case& c : cases) {
        std::optional<qvtest::Simulator> sim;
        if (!c.options.empty()) sim.emplace(c.options);
        qv::http::Request r = post("");
        r.url = c.target(sim ? sim->url() : "");
        r.readTimeout = 1s;
        r.body = "{\"invoiceId\": \">,0\"}";
        r.headers.emplace_back("API-SOURCE", "B2B");
        const auto started = std::chrono::steady_clock::now();
        try {
            qv::http::perform(r);
            ADD_FAILURE() << c.name << ": no error";
        } catch (const qv::AppError& e) {
            const std::string what = e.what();
            EXPECT_EQ(what.rfind("REST request failed: ", 0), 0u) << c.name << ": " << what;
            EXPECT_NE(what.find(c.textPart), std::string::npos) << c.name << ": " << what;
        }
        EXPECT_LT(std::chrono::steady_clock::now() - started, 15s) << c.name;
    }
}

TEST(Transport, ClosedPortFailsWithTheConnectText) {
    std::string url;
    {
        qvtest::Simulator sim;
        url = sim.url();
    }
    try {
        qv::http::perform(post(url));
        FAIL() << "no error";
    } catch (const qv::AppError& e) {
        const std::string what = e.what();
        EXPECT_EQ(what.rfind("REST request failed: Failed to connect to 127.0.0.1 port", 0), 0u) << what;
    }
}

TEST(Transport, CarriesA200MegabyteBody) {
    const std::size_t pad = 200'000'000;
    qvtest::Simulator sim({"--b2b-count", "2", "--pad-bytes", std::to_string(pad)});
    qv::http::Request r = post(sim.url(), "{\"invoiceId\": \">,0\"}");
    r.headers.emplace_back("API-SOURCE", "B2B");
    qv::http::Response resp = qv::http::perform(r);
    ASSERT_EQ(resp.statusCode, 200);
    EXPECT_GT(resp.body.size(), pad);
    EXPECT_EQ(resp.body.back(), '}');
    const std::string text = qv::http::decodeBody(std::move(resp.body), qv::http::charsetOf(resp.contentType));
    EXPECT_EQ(text.rfind("{\"status\": true", 0), 0u);
}
