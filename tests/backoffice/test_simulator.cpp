// The back-office simulator serves what the real back office would: the answer layout, amounts that add
// up, paging after an id, date ranges, and the faults the tests ask of it.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <QProcess>

#include <cmath>
#include <regex>
#include <set>

#include "platform/http/http.h"
#include "simulator.h"

namespace {

qv::http::Response ask(const qvtest::Simulator& sim, const std::string& body, const std::string& source = "B2B",
                       const std::string& path = "/v1/backOffice/invoices",
                       const std::string& auth = "Basic cXVvcnZlbGE6cXVvcnZlbGEtZGVtbw==") {
    qv::http::Request r;
    r.url = sim.url() + path;
    r.headers = {{"Authorization", auth}, {"Content-Type", "application/json"}};
    if (!source.empty()) r.headers.emplace_back("API-SOURCE", source);
    r.body = body;
    return qv::http::perform(r);
}

nlohmann::json askJson(const qvtest::Simulator& sim, const std::string& body, const std::string& source = "B2B",
                       const std::string& path = "/v1/backOffice/invoices") {
    const qv::http::Response resp = ask(sim, body, source, path);
    EXPECT_EQ(resp.statusCode, 200) << resp.body;
    return nlohmann::json::parse(resp.body);
}

std::string after(long long id) { return "{\"invoiceId\": \">," + std::to_string(id) + "\"}"; }

std::vector<long long> ids(const nlohmann::json& answer) {
    std::vector<long long> out;
    for (const auto& inv : answer["invoices"]) out.push_back(inv["invoiceId"].get<long long>());
    return out;
}

long long bani(const nlohmann::json& amount) { return std::llround(amount.get<double>() * 100); }

bool validFiscalCode(const std::string& code) {
    if (code.rfind("RO", 0) != 0 || code.size() < 4) return false;
    const std::string digits = code.substr(2, code.size() - 3);
    if (digits.size() > 9) return false;
    const std::string padded = std::string(9 - digits.size(), '0') + digits;
    int sum = 0;
    for (int i = 0; i < 9; ++i) sum += (padded[i] - '0') * ("753217532"[i] - '0');
    const int control = sum * 10 % 11 == 10 ? 0 : sum * 10 % 11;
    return code.back() - '0' == control;
}

}  // namespace

TEST(Simulator, InvoicesFollowTheAnswerLayoutAndAddUp) {
    qvtest::Simulator sim({"--seed", "7", "--b2b-count", "40", "--b2c-count", "30"});
    bool sawDiacritics = false;
    for (const std::string channel : {"B2B", "B2C"}) {
        const qv::http::Response resp = ask(sim, after(0), channel);
        // Amounts go out with exactly two decimals, as an accountant writes them.
        const std::regex amount("\"(unitPrice|netAmount|vatAmount|grossAmount)\": (-?[0-9]+(\\.[0-9]+)?)");
        for (auto it = std::sregex_iterator(resp.body.begin(), resp.body.end(), amount); it != std::sregex_iterator(); ++it)
            EXPECT_EQ((*it)[3].str().size(), 3u) << (*it)[0].str();

        const auto answer = nlohmann::json::parse(resp.body);
        EXPECT_EQ(answer["status"], true);
        EXPECT_EQ(answer["message"], "");
        ASSERT_EQ(answer["invoices"].size(), channel == "B2B" ? 40u : 30u);
        long long expectedId = channel == "B2B" ? 1001 : 1001001;
        std::string lastDate;
        for (const auto& inv : answer["invoices"]) {
            EXPECT_EQ(inv["invoiceId"].get<long long>(), expectedId);
            const auto& gi = inv["header"]["generalInformation"];
            char number[32];
            std::snprintf(number, sizeof number, "%s-%06lld", channel == "B2B" ? "QVB" : "QVC", expectedId);
            EXPECT_EQ(gi["invoiceNumber"], number);
            EXPECT_LE(gi["invoiceNumber"].get<std::string>().size(), 15u);
            const std::string date = gi["invoiceDate"];
            EXPECT_TRUE(std::regex_match(date, std::regex("20[0-9]{2}-[01][0-9]-[0-3][0-9]"))) << date;
            EXPECT_GE(date, lastDate);
            EXPECT_GE(gi["dueDate"].get<std::string>(), date);
            EXPECT_EQ(gi["currency"], "RON");
            lastDate = date;

            const auto& buyer = inv["header"]["buyerInformation"];
            const std::string name = buyer["buyerName"];
            EXPECT_FALSE(name.empty());
            for (unsigned char ch : name) sawDiacritics |= ch >= 0x80;
            if (channel == "B2B") {
                EXPECT_TRUE(validFiscalCode(buyer["buyerVatCode"])) << buyer["buyerVatCode"];
            }
            EXPECT_FALSE(buyer["buyerAddress"].get<std::string>().empty());
            EXPECT_TRUE(validFiscalCode(inv["header"]["sellerInformation"]["sellerVatCode"]));

            long long net = 0, vat = 0;
            ASSERT_FALSE(inv["lines"].empty());
            for (const auto& line : inv["lines"]) {
                const int rate = line["vatRate"];
                EXPECT_TRUE(rate == 19 || rate == 9 || rate == 5) << rate;
                const long long q10 = std::llround(line["quantity"].get<double>() * 10);
                const long long lineNet = bani(line["netAmount"]);
                EXPECT_EQ(lineNet, (q10 * bani(line["unitPrice"]) + 5) / 10);
                EXPECT_EQ(bani(line["vatAmount"]), (lineNet * rate + 50) / 100);
                net += lineNet;
                vat += bani(line["vatAmount"]);
            }
            EXPECT_EQ(bani(inv["totals"]["netAmount"]), net);
            EXPECT_EQ(bani(inv["totals"]["vatAmount"]), vat);
            EXPECT_EQ(bani(inv["totals"]["grossAmount"]), net + vat);
            ++expectedId;
        }
    }
    EXPECT_TRUE(sawDiacritics);
}

TEST(Simulator, AnswersWithThePageAfterTheGivenId) {
    qvtest::Simulator sim({"--b2b-count", "25", "--b2c-count", "4", "--page-size", "10"});
    struct Case { std::string source; long long after; long long first; std::size_t count; };
    const Case cases[] = {
        {"B2B", 0, 1001, 10},    {"B2B", 1010, 1011, 10},       {"B2B", 1020, 1021, 5},
        {"B2B", 1025, 0, 0},     {"B2B", -5, 1001, 10},         {"B2B", 9000000000000000000LL, 0, 0},
        {"B2C", 0, 1001001, 4},  {"B2C", 1001002, 1001003, 2},
    };
    for (const Case& c : cases) {
        const std::vector<long long> got = ids(askJson(sim, after(c.after), c.source));
        ASSERT_EQ(got.size(), c.count) << c.source << " after " << c.after;
        for (std::size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i], c.first + static_cast<long long>(i));
    }
}

TEST(Simulator, TheSeedDecidesTheInvoices) {
    qvtest::Simulator a({"--seed", "5"}), b({"--seed", "5"}), c({"--seed", "6"});
    EXPECT_EQ(ask(a, after(0)).body, ask(b, after(0)).body);
    EXPECT_NE(ask(a, after(0)).body, ask(c, after(0)).body);
}

TEST(Simulator, EveryKthInvoiceIsOneTheImportMustRefuse) {
    qvtest::Simulator sim({"--b2b-count", "12", "--refuse-every", "3"});
    std::set<std::string> kinds;
    int index = 0;
    const auto answer = askJson(sim, after(0));
    ASSERT_EQ(answer["invoices"].size(), 12u);
    for (const auto& inv : answer["invoices"]) {
        ++index;
        const bool longNumber = inv["header"]["generalInformation"]["invoiceNumber"].get<std::string>().size() > 15;
        long long net = 0;
        for (const auto& line : inv["lines"]) net += bani(line["netAmount"]);
        const bool totalsOff = net != bani(inv["totals"]["netAmount"]);
        EXPECT_EQ(longNumber || totalsOff, index % 3 == 0) << "invoice " << index;
        if (longNumber) kinds.insert("number");
        if (totalsOff) kinds.insert("totals");
    }
    EXPECT_EQ(kinds, (std::set<std::string>{"number", "totals"}));
}

TEST(Simulator, BadIdSpoilsTheLastInvoiceOfEachAnswer) {
    qvtest::Simulator sim({"--b2b-count", "6", "--page-size", "4", "--bad-id"});
    const auto page = askJson(sim, after(0));
    ASSERT_EQ(page["invoices"].size(), 4u);
    EXPECT_TRUE(page["invoices"][2]["invoiceId"].is_number_integer());
    EXPECT_FALSE(page["invoices"][3]["invoiceId"].is_number());
}

TEST(Simulator, RefusesWhatTheBackOfficeRefuses) {
    qvtest::Simulator sim;
    const qv::http::Response wrongPassword = ask(sim, after(0), "B2B", "/v1/backOffice/invoices", "Basic eDp5");
    EXPECT_EQ(wrongPassword.statusCode, 401);

    const auto unknownChannel = askJson(sim, after(0), "B2X");
    EXPECT_EQ(unknownChannel["status"], false);
    EXPECT_NE(unknownChannel["message"].get<std::string>().find("B2X"), std::string::npos);

    const auto noChannel = askJson(sim, after(0), "");
    EXPECT_EQ(noChannel["status"], false);
    EXPECT_NE(noChannel["message"].get<std::string>().find("API-SOURCE"), std::string::npos);

    EXPECT_EQ(ask(sim, "{nu e json").statusCode, 400);
}

TEST(Simulator, DateRangesSelectByInvoiceDateAndBookingsByCheckIn) {
    qvtest::Simulator sim({"--b2b-count", "60", "--b2c-count", "60"});
    struct Case { std::string source; std::string path; std::string body; const char* list; const char* dateOf; };
    const Case cases[] = {
        {"", "/v1/backOffice/invoices", "{\"invoiceDate\": {\"from\":\"2025-01-03\", \"to\":\"2025-01-04\"}}",
         "invoices", "invoiceDate"},
        {"B2C", "/v1/backOffice/invoices", "{\"invoiceDate\": {\"from\":\"2025-01-03\", \"to\":\"2025-01-03\"}}",
         "invoices", "invoiceDate"},
        {"", "/v1/backOffice/bookings", "{\"from\":\"2025-01-04\", \"to\":\"2025-01-05\"}", "bookings", "checkIn"},
    };
    for (const Case& c : cases) {
        const auto answer = askJson(sim, c.body, c.source, c.path);
        const auto range = nlohmann::json::parse(c.body);
        const auto& bounds = range.contains("invoiceDate") ? range["invoiceDate"] : range;
        ASSERT_FALSE(answer[c.list].empty()) << c.body;
        for (const auto& item : answer[c.list]) {
            const std::string date = std::string(c.dateOf) == "invoiceDate"
                                         ? item["header"]["generalInformation"]["invoiceDate"].get<std::string>()
                                         : item["checkIn"].get<std::string>();
            EXPECT_GE(date, bounds["from"].get<std::string>());
            EXPECT_LE(date, bounds["to"].get<std::string>());
            if (std::string(c.list) == "invoices") {
                EXPECT_EQ(item["invoiceId"].get<long long>() > 1000000, c.source == "B2C");
            }
        }
    }
}

TEST(Simulator, StopsCleanlyOnTerm) {
    QProcess p;
    p.start(QString::fromStdString(qvtest::simulatorPath()), {"--port", "0"});
    ASSERT_TRUE(p.waitForStarted(10000));
    while (!p.canReadLine()) ASSERT_TRUE(p.waitForReadyRead(10000));
    EXPECT_TRUE(p.readLine().startsWith("http://127.0.0.1:"));
    p.terminate();
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0);
}
