// o_quorvela_log_ins: one answer of the back office into log_quorvela, all or nothing, each invoice once.
#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "qem_client.h"
#include "testdb.h"

namespace {

using qvsql::Client;
using qvsql::DbError;

std::string answer(const std::vector<std::string>& invoices) {
    std::string out = R"({"status": true, "message": "", "invoices": [)";
    for (std::size_t i = 0; i < invoices.size(); ++i) out += (i ? ", " : "") + invoices[i];
    return out + "]}";
}

// An invoice as the back office writes it; idJson is the text that follows "invoiceId": .
std::string invoice(const std::string& idJson, const std::string& buyer = "Alfa Turism SRL") {
    std::string number = "QVB-";
    for (char ch : idJson)
        if (ch != '"') number += ch;
    return R"({"invoiceId": )" + idJson +
           R"(, "header": {"generalInformation": {"invoiceNumber": ")" + number +
           R"(", "invoiceDate": "2025-07-01", "dueDate": "2025-07-31", "currency": "RON"}, )"
           R"("buyerInformation": {"buyerName": ")" + buyer +
           R"(", "buyerVatCode": "RO12345678"}}, "lines": [{"lineNo": 1, "quantity": 2, "unitPrice": 150.00, )"
           R"("vatRate": 9, "netAmount": 300.00, "vatAmount": 27.00}], )"
           R"("totals": {"netAmount": 300.00, "vatAmount": 27.00, "grossAmount": 327.00}})";
}

class LogIns : public ::testing::Test {
protected:
    void SetUp() override {
        QV_REQUIRE_SERVERS();
        db_ = std::make_unique<qvtest::TempDb>(qvtest::plainServer(), "qv_tpl_qem");
        qem_ = std::make_unique<Client>(db_->conninfo("disable"));
    }

    long long logIns(const std::string& body, const char* channel = "B2B") {
        return qem_->number("SELECT * FROM o_quorvela_log_ins($1, $2)", {body, std::string(channel)});
    }
    long long logged() { return qem_->number("SELECT count(*) FROM log_quorvela"); }
    std::string text(long long id, const char* channel = "B2B") {
        return qem_->value("SELECT fact_c_json FROM log_quorvela WHERE id_fact = $1 AND api_end_point = $2",
                           {std::to_string(id), std::string(channel)})
            .value_or("<none>");
    }

    std::unique_ptr<qvtest::TempDb> db_;
    std::unique_ptr<Client> qem_;
};

TEST_F(LogIns, StoresEachInvoiceOnceAndByteForByte) {
    // Odd spacing, a line break, key order, trailing zeros and diacritics must all survive storage.
    const std::string odd = "{\"header\" : {\"generalInformation\":{\"invoiceNumber\":\"QVB-1502\",\n"
                            "  \"invoiceDate\":\"2025-07-02\"},\"buyerInformation\":{\"buyerName\":\"Șoimul Călător SRL\"}},"
                            "\"invoiceId\":1502, \"totals\": {\"netAmount\": 10.50, \"vatAmount\": 0.00, \"grossAmount\": 1.05e1}}";
    const std::vector<std::string> invoices = {invoice("1501"), odd, invoice("1503")};
    const std::string body = answer(invoices);

    EXPECT_EQ(logIns(body), 3);
    EXPECT_EQ(logIns(body), 0);
    EXPECT_EQ(logged(), 3);
    EXPECT_EQ(text(1501), invoices[0]);
    EXPECT_EQ(text(1502), odd);
    EXPECT_EQ(text(1503), invoices[2]);
    EXPECT_EQ(qem_->number("SELECT count(*) FROM log_quorvela WHERE api_end_point = 'B2B' AND "
                           "data_preluare_json IS NOT NULL AND err_la_import IS NULL"),
              3);

    // The same ids on the other channel are other invoices.
    EXPECT_EQ(logIns(body, "B2C"), 3);
    EXPECT_EQ(logged(), 6);
}

TEST_F(LogIns, KeepsTheFirstTextOfAnInvoice) {
    const std::string first = invoice("7", "Alfa Turism SRL");
    ASSERT_EQ(logIns(answer({first})), 1);

    // A later answer changes invoice 7 and repeats invoice 8 within itself: neither overwrites.
    const std::string eightA = invoice("8", "Beta SRL"), eightB = invoice("8", "Gama SRL");
    EXPECT_EQ(logIns(answer({invoice("7", "Schimbat SRL"), eightA, eightB})), 1);
    EXPECT_EQ(text(7), first);
    EXPECT_EQ(text(8), eightA);
    EXPECT_EQ(logged(), 2);
}

TEST_F(LogIns, TakesIdsOverTheWholeBigintRange) {
    // 18 digits, 19 digits and the largest bigint go through different checks inside the function.
    const std::vector<std::string> ids = {"1", "999999999999999999", "1000000000000000000", "9223372036854775807"};
    std::vector<std::string> invoices;
    for (const auto& id : ids) invoices.push_back(invoice(id));
    ASSERT_EQ(logIns(answer(invoices)), 4);
    auto rows = qem_->rows("SELECT id_fact FROM log_quorvela ORDER BY id_fact");
    ASSERT_EQ(rows.size(), ids.size());
    for (std::size_t i = 0; i < ids.size(); ++i) EXPECT_EQ(rows[i][0], ids[i]);
}

TEST_F(LogIns, AnEmptyListStoresNothing) {
    EXPECT_EQ(logIns(R"({"status": true, "message": "", "invoices": []})"), 0);
    EXPECT_EQ(logged(), 0);
}

TEST_F(LogIns, RefusesAnAnswerWithoutAnInvoiceList) {
    struct Case {
        const char* body;
        const char* message;
    };
    const Case cases[] = {
        {R"({"status": true, "message": ""})", R"(Raspunsul Quorvela nu contine lista "invoices")"},
        {R"({"status": true, "invoices": {"invoiceId": 1}})", R"(Raspunsul Quorvela nu contine lista "invoices")"},
        {R"([{"invoiceId": 1}])", R"(Raspunsul Quorvela nu contine lista "invoices")"},
        {R"({"status": true, "invoices": [{"invoiceId": 1})", "Raspunsul Quorvela nu este JSON valid"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        try {
            logIns(c.body);
            ADD_FAILURE() << "accepted";
        } catch (const DbError& e) {
            EXPECT_EQ(std::string(e.what()), c.message);
        }
    }
    EXPECT_EQ(logged(), 0);
}

struct BadInvoice {
    const char* name;
    std::string invoice;  // placed second in an answer between two good invoices
    std::string message;
};

void PrintTo(const BadInvoice& c, std::ostream* os) { *os << c.name; }

class LogInsBadInvoice : public LogIns, public ::testing::WithParamInterface<BadInvoice> {};

TEST_P(LogInsBadInvoice, StoresNothingAndNamesTheInvoice) {
    // An invoice logged earlier must come through untouched as well.
    ASSERT_EQ(logIns(answer({invoice("1")})), 1);
    const std::string body = answer({invoice("1501"), GetParam().invoice, invoice("1503")});
    try {
        logIns(body);
        ADD_FAILURE() << "the answer was accepted";
    } catch (const DbError& e) {
        EXPECT_EQ(std::string(e.what()), GetParam().message);
    }
    EXPECT_EQ(logged(), 1);
    EXPECT_EQ(text(1), invoice("1"));
}

const std::string kInvalid = "Factura de pe pozitia 2 din raspuns are \"invoiceId\" invalid: ";
const std::string kRange = "; trebuie sa fie un numar intreg intre 1 si 9223372036854775807. Nu s-a salvat nicio factura";

INSTANTIATE_TEST_SUITE_P(
    Cases, LogInsBadInvoice,
    ::testing::Values(
        BadInvoice{"Missing", R"({"header": {}, "lines": []})",
                   "Factura de pe pozitia 2 din raspuns nu are \"invoiceId\". Nu s-a salvat nicio factura"},
        BadInvoice{"Null", invoice("null"),
                   "Factura de pe pozitia 2 din raspuns nu are \"invoiceId\". Nu s-a salvat nicio factura"},
        BadInvoice{"Text", invoice(R"("abc")"), kInvalid + R"("abc")" + kRange},
        BadInvoice{"DigitsAsText", invoice(R"("1502")"), kInvalid + R"("1502")" + kRange},
        BadInvoice{"Fraction", invoice("1.5"), kInvalid + "1.5" + kRange},
        BadInvoice{"WholeFraction", invoice("1502.0"), kInvalid + "1502.0" + kRange},
        BadInvoice{"Exponent", invoice("15e2"), kInvalid + "15e2" + kRange},
        BadInvoice{"BeyondBigint", invoice("9223372036854775808"), kInvalid + "9223372036854775808" + kRange},
        BadInvoice{"Negative", invoice("-7"), kInvalid + "-7" + kRange},
        BadInvoice{"Zero", invoice("0"), kInvalid + "0" + kRange},
        BadInvoice{"NotAnObject", "1502",
                   "Elementul de pe pozitia 2 din \"invoices\" nu este o factura (obiect JSON): 1502. "
                   "Nu s-a salvat nicio factura"}),
    [](const ::testing::TestParamInfo<BadInvoice>& info) { return std::string(info.param.name); });

}  // namespace
