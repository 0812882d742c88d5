// o_quorvela_fact_ins: a logged invoice becomes a QEM client invoice (partner, document, lines) that the
// invoice list finds, or a refusal that creates nothing.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <thread>

#include "qem_client.h"
#include "testdb.h"

namespace {

using json = nlohmann::ordered_json;
using qvsql::Client;
using qvsql::DbError;
using qvsql::Row;

// The invoice list of the import window: every log row beside the client invoices that match its JSON.
const char* kList =
    "select l.id_fact, l.api_end_point, l.data_doc_json, l.nr_doc_json, l.partener_json,"
    "       d.data_doc as data_doc_qem, d.tip_doc as tip_doc_qem, d.nr_doc as nr_doc_qem, d.partener as partener_qem "
    "from (select q.*,"
    "             cast(q.fact_c_json::json->'header'->'generalInformation'->>'invoiceDate' as date) as data_doc_json,"
    "             q.fact_c_json::json->'header'->'generalInformation'->>'invoiceNumber' as nr_doc_json,"
    "             q.fact_c_json::json->'header'->'buyerInformation'->>'buyerName' as partener_json"
    "      from log_quorvela q) l "
    "left outer join doc d on d.data_doc = l.data_doc_json and d.nr_doc = l.nr_doc_json and d.tip_doc = 'FactCI' "
    "order by l.id_fact desc";

json line(int no, const char* code, const char* name, const char* unit, double qty, double price, int rate,
          double net, double vat) {
    return {{"lineNo", no},    {"itemCode", code}, {"itemName", name},   {"unit", unit},     {"quantity", qty},
            {"unitPrice", price}, {"vatRate", rate}, {"netAmount", net}, {"vatAmount", vat}};
}

// A two-line invoice whose amounts add up the way the back office computes them.
json invoice(long long id, const std::string& number = "QVB-001501") {
    return {{"invoiceId", id},
            {"header",
             {{"generalInformation",
               {{"invoiceNumber", number}, {"invoiceDate", "2025-07-01"}, {"dueDate", "2025-07-31"}, {"currency", "RON"}}},
              {"sellerInformation", {{"sellerName", "Quorvela Travel SRL"}, {"sellerVatCode", "RO30111222"}}},
              {"buyerInformation",
               {{"buyerName", "Alfa Turism SRL"}, {"buyerVatCode", "RO12345678"}, {"buyerAddress", "Str. Lunga 3, Brasov"}}}}},
            {"lines", json::array({line(1, "CAZ-2N", "Cazare 2 nopti", "noapte", 2, 150.00, 9, 300.00, 27.00),
                                   line(2, "MIC-DEJ", "Mic dejun", "pers", 4, 35.50, 9, 142.00, 12.78)})},
            {"totals", {{"netAmount", 442.00}, {"vatAmount", 39.78}, {"grossAmount", 481.78}}}};
}

json& general(json& inv) { return inv["header"]["generalInformation"]; }
json& buyer(json& inv) { return inv["header"]["buyerInformation"]; }

class FactIns : public ::testing::Test {
protected:
    void SetUp() override {
        QV_REQUIRE_SERVERS();
        db_ = std::make_unique<qvtest::TempDb>(qvtest::plainServer(), "qv_tpl_qem_demo");
        qem_ = std::make_unique<Client>(db_->conninfo("disable"));
    }

    std::unique_ptr<Client> session() { return std::make_unique<Client>(db_->conninfo("disable")); }

    void log(const json& inv, const char* channel = "B2B") {
        const std::string body = json{{"status", true}, {"message", ""}, {"invoices", json::array({inv})}}.dump();
        ASSERT_EQ(qem_->number("SELECT * FROM o_quorvela_log_ins($1, $2)", {body, std::string(channel)}), 1);
    }
    std::string move(long long id, const std::string& user = "contabil") {
        return qem_->value("SELECT * FROM o_quorvela_fact_ins($1, $2)", {user, std::to_string(id)}).value_or("<null>");
    }
    long long count(const char* table) { return qem_->number(std::string("SELECT count(*) FROM ") + table); }

    std::unique_ptr<qvtest::TempDb> db_;
    std::unique_ptr<Client> qem_;
};

TEST_F(FactIns, CreatesTheClientInvoiceThatTheListFinds) {
    log(invoice(1501));
    const std::string idDoc = move(1501);

    auto doc = qem_->rows("SELECT tip_doc, data_doc, nr_doc, partener, emitent, moneda, data_scadenta, valoare_fara_tva,"
                          " valoare_tva, valoare_totala, id_fact, api_end_point, id_partener FROM doc WHERE id_doc = $1",
                          {idDoc});
    ASSERT_EQ(doc.size(), 1u);
    EXPECT_EQ(doc[0], (Row{"FactCI", "2025-07-01", "QVB-001501", "Alfa Turism SRL", "contabil", "RON", "2025-07-31",
                           "442.00", "39.78", "481.78", "1501", "B2B", doc[0][12]}));

    auto partner = qem_->rows("SELECT id_partener, denumire, cod_fiscal, adresa FROM partener");
    ASSERT_EQ(partner.size(), 1u);
    EXPECT_EQ(partner[0], (Row{doc[0][12], "Alfa Turism SRL", "RO12345678", "Str. Lunga 3, Brasov"}));

    auto lines = qem_->rows("SELECT nr_linie, cod_articol, denumire, um, cantitate::float8, pret_unitar::float8,"
                            " cota_tva::float8, valoare_fara_tva, valoare_tva FROM doc_linie WHERE id_doc = $1 ORDER BY nr_linie",
                            {idDoc});
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], (Row{"1", "CAZ-2N", "Cazare 2 nopti", "noapte", "2", "150", "9", "300.00", "27.00"}));
    EXPECT_EQ(lines[1], (Row{"2", "MIC-DEJ", "Mic dejun", "pers", "4", "35.5", "9", "142.00", "12.78"}));

    auto list = qem_->rows(kList);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0], (Row{"1501", "B2B", "2025-07-01", "QVB-001501", "Alfa Turism SRL", "2025-07-01", "FactCI",
                            "QVB-001501", "Alfa Turism SRL"}));

    // A second document with the same date and number (typed by hand in QEM) is listed beside the first.
    qem_->rows("INSERT INTO doc (tip_doc, data_doc, nr_doc, partener) VALUES ('FactCI', '2025-07-01', 'QVB-001501', 'Alfa')");
    EXPECT_EQ(qem_->rows(kList).size(), 2u);
}

TEST_F(FactIns, FindsPartnersByVatCodeOrElseByName) {
    json first = invoice(1, "QVB-1");
    json sameVat = invoice(2, "QVB-2");
    buyer(sameVat)["buyerName"] = "ALFA TURISM S.R.L.";
    json person = invoice(3, "QVC-3");
    buyer(person) = {{"buyerName", "Ion Popescu"}, {"buyerVatCode", ""}, {"buyerAddress", "Brasov"}};
    json samePerson = invoice(4, "QVC-4");
    buyer(samePerson) = {{"buyerName", "Ion Popescu"}};
    for (const json* inv : {&first, &sameVat, &person, &samePerson}) {
        log(*inv);
        move((*inv)["invoiceId"].get<long long>());
    }

    auto partners = qem_->rows("SELECT denumire, cod_fiscal FROM partener ORDER BY id_partener");
    ASSERT_EQ(partners.size(), 2u);
    EXPECT_EQ(partners[0], (Row{"Alfa Turism SRL", "RO12345678"}));
    EXPECT_EQ(partners[1], (Row{"Ion Popescu", std::nullopt}));
    // The document keeps the buyer's name as the invoice wrote it.
    auto docs = qem_->rows("SELECT d.partener, p.denumire FROM doc d JOIN partener p USING (id_partener) ORDER BY d.id_fact");
    ASSERT_EQ(docs.size(), 4u);
    EXPECT_EQ(docs[1], (Row{"ALFA TURISM S.R.L.", "Alfa Turism SRL"}));
    EXPECT_EQ(docs[3], (Row{"Ion Popescu", "Ion Popescu"}));
}

TEST_F(FactIns, AcceptsValuesAtTheirLimits) {
    // Fifteen characters of number, a hundred of buyer name, one cent between the lines and each total,
    // and a supplier invoice with the same number: none of these stands in the way.
    json inv = invoice(1501, "QVB-2025-000001");
    const std::string name = "Societatea Comerciala de Turism si Agrement Alfa " + std::string(51, 'X');
    ASSERT_EQ(name.size(), 100u);
    buyer(inv)["buyerName"] = name;
    inv["totals"] = {{"netAmount", 442.01}, {"vatAmount", 39.77}, {"grossAmount", 481.79}};
    qem_->rows("INSERT INTO doc (tip_doc, data_doc, nr_doc) VALUES ('FactF', '2025-07-01', 'QVB-2025-000001')");
    log(inv);
    const std::string idDoc = move(1501);
    auto doc = qem_->rows("SELECT nr_doc, partener, valoare_fara_tva, valoare_tva, valoare_totala FROM doc WHERE id_doc = $1",
                          {idDoc});
    ASSERT_EQ(doc.size(), 1u);
    EXPECT_EQ(doc[0], (Row{"QVB-2025-000001", name, "442.01", "39.77", "481.79"}));
}

// How the log stands before the call.
enum class Before { Logged, NotLogged, OnBothChannels, AlreadyInQem };

struct Refusal {
    const char* name;
    std::function<void(json&)> edit;
    std::string message;
    Before before = Before::Logged;
    std::string user = "contabil";
};

void PrintTo(const Refusal& c, std::ostream* os) { *os << c.name; }

class FactInsRefusal : public FactIns, public ::testing::WithParamInterface<Refusal> {};

TEST_P(FactInsRefusal, CreatesNothing) {
    const Refusal& c = GetParam();
    json inv = invoice(1501);
    if (c.edit) c.edit(inv);
    if (c.before != Before::NotLogged) log(inv);
    if (c.before == Before::OnBothChannels) log(inv, "B2C");
    if (c.before == Before::AlreadyInQem)
        qem_->rows("INSERT INTO doc (tip_doc, data_doc, nr_doc, partener) VALUES ('FactCI', '2025-07-01', 'QVB-001501', 'Alfa')");
    const long long docsBefore = count("doc");

    try {
        move(1501, c.user);
        ADD_FAILURE() << "the invoice was moved";
    } catch (const DbError& e) {
        EXPECT_EQ(std::string(e.what()), c.message);
    }
    EXPECT_EQ(count("doc"), docsBefore);
    EXPECT_EQ(count("doc_linie"), 0);
    EXPECT_EQ(count("partener"), 0);
}

const std::string kLong = "Societatea Comerciala de Turism si Agrement Alfa " + std::string(52, 'X');  // 101

INSTANTIATE_TEST_SUITE_P(
    Cases, FactInsRefusal,
    ::testing::Values(
        Refusal{"UnknownId", nullptr, "Factura cu idFact 1501 nu a fost preluata din Quorvela", Before::NotLogged},
        Refusal{"OnBothChannels", nullptr,
                "Factura cu idFact 1501 este preluata pe mai multe canale (B2B si B2C); nu se poate alege una dintre ele",
                Before::OnBothChannels},
        Refusal{"AlreadyInQem", nullptr, "Factura QVB-001501 din 2025-07-01 exista deja in QEM", Before::AlreadyInQem},
        Refusal{"UnknownUser", nullptr, "Utilizatorul \"nimeni\" nu exista in QEM", Before::Logged, "nimeni"},
        Refusal{"NumberTooLong", [](json& i) { general(i)["invoiceNumber"] = "QVB-001501/REFUZ-LUNG"; },
                "Numarul facturii \"QVB-001501/REFUZ-LUNG\" are 21 caractere; in QEM numarul are cel mult 15"},
        Refusal{"BuyerTooLong", [](json& i) { buyer(i)["buyerName"] = kLong; },
                "Numele cumparatorului \"" + kLong.substr(0, 40) + "...\" are 101 caractere; in QEM partenerul are cel mult 100"},
        Refusal{"NoDate", [](json& i) { general(i).erase("invoiceDate"); }, "Factura nu are data (invoiceDate)"},
        Refusal{"NoNumber", [](json& i) { general(i)["invoiceNumber"] = nullptr; }, "Factura nu are numar (invoiceNumber)"},
        Refusal{"BlankNumber", [](json& i) { general(i)["invoiceNumber"] = "  "; }, "Factura nu are numar (invoiceNumber)"},
        Refusal{"NoBuyer", [](json& i) { i["header"].erase("buyerInformation"); }, "Factura nu are cumparator (buyerName)"},
        Refusal{"NoHeader", [](json& i) { i.erase("header"); }, "Factura nu are data (invoiceDate)"},
        Refusal{"DayOutOfMonth", [](json& i) { general(i)["invoiceDate"] = "2025-02-30"; },
                "Data facturii \"2025-02-30\" nu este o data valida (aaaa-ll-zz)"},
        Refusal{"OtherDateForm", [](json& i) { general(i)["invoiceDate"] = "01.07.2025"; },
                "Data facturii \"01.07.2025\" nu este o data valida (aaaa-ll-zz)"},
        Refusal{"BadDueDate", [](json& i) { general(i)["dueDate"] = "in 30 de zile"; },
                "Data scadentei \"in 30 de zile\" nu este o data valida (aaaa-ll-zz)"},
        Refusal{"BadCurrency", [](json& i) { general(i)["currency"] = "LEI1"; },
                "Moneda facturii \"LEI1\" nu este un cod de 3 litere"},
        Refusal{"NoLines", [](json& i) { i["lines"] = json::array(); }, "Factura nu are linii (lines)"},
        Refusal{"LineAmountAsText", [](json& i) { i["lines"][1]["netAmount"] = "142.00"; },
                "Linia 2 a facturii are sume lipsa sau care nu sunt numere"},
        Refusal{"NoTotals", [](json& i) { i.erase("totals"); },
                "Factura nu are totalurile ca numere (totals: netAmount, vatAmount, grossAmount)"},
        Refusal{"NetTwoCentsOff",
                [](json& i) { i["totals"] = {{"netAmount", 442.02}, {"vatAmount", 39.78}, {"grossAmount", 481.80}}; },
                "Liniile facturii nu dau totalul fara TVA: suma liniilor este 442.00, totalul este 442.02"},
        Refusal{"VatTwoCentsOff",
                [](json& i) { i["totals"] = {{"netAmount", 442.00}, {"vatAmount", 39.76}, {"grossAmount", 481.76}}; },
                "Liniile facturii nu dau totalul TVA: suma liniilor este 39.78, totalul este 39.76"},
        Refusal{"GrossOff", [](json& i) { i["totals"]["grossAmount"] = 481.90; },
                "Totalul facturii 481.90 nu este egal cu valoarea fara TVA 442.00 plus TVA 39.78"}),
    [](const ::testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });

// Two clients move invoices at once. The first call runs in a transaction left open until the second is
// seen waiting for it; after the commit the second must find the first one's document.
struct Race {
    const char* name;
    long long secondId;  // the invoice the second client moves
};

void PrintTo(const Race& c, std::ostream* os) { *os << c.name; }

class FactInsRace : public FactIns, public ::testing::WithParamInterface<Race> {};

TEST_P(FactInsRace, MakesOneDocument) {
    log(invoice(1501));
    // Invoice 1502 is another log row that carries the same number and date.
    log(invoice(1502), "B2C");
    auto first = session(), second = session();

    first->rows("BEGIN");
    first->rows("SELECT * FROM o_quorvela_fact_ins($1, $2)", {"contabil", "1501"});
    second->send("SELECT * FROM o_quorvela_fact_ins($1, $2)", {"contabil", std::to_string(GetParam().secondId)});

    bool waiting = false;
    for (int i = 0; i < 200 && !waiting; ++i) {
        waiting = qem_->value("SELECT wait_event_type FROM pg_stat_activity WHERE pid = $1",
                              {std::to_string(second->backendPid())}) == "Lock";
        if (!waiting) std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    EXPECT_TRUE(waiting) << "the second transfer did not wait for the first";
    first->rows("COMMIT");

    try {
        second->finish();
        ADD_FAILURE() << "the second transfer made a document too";
    } catch (const DbError& e) {
        EXPECT_EQ(std::string(e.what()), "Factura QVB-001501 din 2025-07-01 exista deja in QEM");
    }
    EXPECT_EQ(count("doc"), 1);
    EXPECT_EQ(qem_->number("SELECT id_fact FROM doc"), 1501);
}

INSTANTIATE_TEST_SUITE_P(Cases, FactInsRace, ::testing::Values(Race{"SameInvoice", 1501}, Race{"SameNumberOtherId", 1502}),
                         [](const ::testing::TestParamInfo<Race>& info) { return std::string(info.param.name); });

}  // namespace
