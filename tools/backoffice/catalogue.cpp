#include "catalogue.h"

#include <array>
#include <cstdio>

namespace sim {
namespace {

struct Item {
    const char* code;
    const char* name;
    const char* unit;
    std::int64_t priceBani;
    int vatRate;
};

// Prices in bani; VAT 9 % for accommodation and meals, 5 % for printed guides and museum tickets.
constexpr std::array<Item, 13> kItems{{
    {"CAZ-DBL", "Cazare cameră dublă", "noapte", 32000, 9},
    {"CAZ-SGL", "Cazare cameră single", "noapte", 24000, 9},
    {"MD-BUF", "Mic dejun bufet", "pers", 4500, 9},
    {"PC-ZI", "Pensiune completă", "zi", 12000, 9},
    {"TRF-APT", "Transfer aeroport Otopeni", "cursă", 18000, 19},
    {"EXC-BRAN", "Excursie Castelul Bran", "pers", 27500, 19},
    {"SPA-ACC", "Acces centru SPA", "pers", 8000, 19},
    {"BIC-INC", "Închiriere bicicletă", "oră", 2500, 19},
    {"GHID-TIP", "Ghid turistic tipărit", "buc", 4999, 5},
    {"BILET-MZ", "Bilet muzeu Astra", "buc", 2000, 5},
    {"SALA-CONF", "Închiriere sală conferință", "oră", 35000, 19},
    {"ORG-EVT", "Organizare eveniment corporate", "serv", 150000, 19},
    {"TEAMB", "Program team building", "pers", 19900, 19},
}};
constexpr std::array<int, 9> kB2cItems{0, 1, 2, 3, 4, 5, 6, 7, 9};

struct Company {
    const char* name;
    const char* address;
};

constexpr std::array<Company, 24> kCompanies{{
    {"Alfa Turism SRL", "Str. Lungă 3, Brașov"},
    {"Carpați Travel SRL", "Bd. Unirii 15, București"},
    {"Brașov Events SA", "Str. Republicii 61, Brașov"},
    {"Dunărea Expres SRL", "Str. Portului 12, Galați"},
    {"Țara Bârsei Consult SRL", "Str. Mihai Viteazu 8, Codlea"},
    {"Mărțișor Productions SRL", "Calea Victoriei 120, București"},
    {"Cetățuia Construct SRL", "Str. Memorandumului 28, Cluj-Napoca"},
    {"Izvorul Munților SRL", "Str. Principală 45, Sâmbăta de Sus"},
    {"Pâine și Sare Catering SRL", "Str. Nicolae Bălcescu 9, Sibiu"},
    {"Agroturism Șirnea SRL", "Sat Șirnea 112, Fundata"},
    {"Transilvania Logistic SA", "Bd. 1 Decembrie 1918 22, Târgu Mureș"},
    {"Bucovina Tours SRL", "Str. Ștefan cel Mare 12, Suceava"},
    {"Delta Explorer SRL", "Str. Isaccei 30, Tulcea"},
    {"Oltenia Farm SRL", "Calea București 80, Craiova"},
    {"Maramureș Lemn SRL", "Str. Gheorghe Șincai 14, Baia Mare"},
    {"Sibiu Heritage SRL", "Piața Mare 5, Sibiu"},
    {"Iași Medical Center SRL", "Bd. Independenței 5, Iași"},
    {"Constanța Port Services SA", "Str. Mircea cel Bătrân 7, Constanța"},
    {"Timiș Software SRL", "Str. Mihai Eminescu 44, Timișoara"},
    {"Cluj Innovation Hub SRL", "Str. Horea 3, Cluj-Napoca"},
    {"Făgăraș Outdoor SRL", "Str. Negru Vodă 2, Făgăraș"},
    {"Argeș Auto Parts SRL", "Bd. Republicii 70, Pitești"},
    {"Prahova Energie SA", "Str. Ploiești-Vălenii 4, Ploiești"},
    {"Bega Consulting SRL", "Splaiul Tudor Vladimirescu 11, Timișoara"},
}};

constexpr std::array<Company, 20> kPersons{{
    {"Ion Popescu", "Str. Zizinului 18, Brașov"},
    {"Maria Ionescu", "Str. Aviatorilor 4, București"},
    {"Ștefan Rădulescu", "Str. Câmpului 27, Cluj-Napoca"},
    {"Ioana Constantinescu", "Bd. Carol I 33, Iași"},
    {"Mihai Dumitrescu", "Str. Teilor 9, Sibiu"},
    {"Elena Stănescu", "Str. Tomis 150, Constanța"},
    {"Andrei Munteanu", "Str. Gării 6, Sinaia"},
    {"Cristina Țărănescu", "Str. Florilor 21, Timișoara"},
    {"Gheorghe Mureșan", "Str. Unirii 3, Alba Iulia"},
    {"Ana-Maria Vlădescu", "Bd. Dacia 40, București"},
    {"Vasile Căpraru", "Str. Pădurii 11, Suceava"},
    {"Alexandra Șerban", "Str. Lalelelor 2, Oradea"},
    {"Radu Niculescu", "Str. Revoluției 15, Arad"},
    {"Irina Bălan", "Str. Mărășești 8, Bacău"},
    {"Florin Mocanu", "Str. Morilor 23, Buzău"},
    {"Adriana Pătrașcu", "Str. Cerbului 5, Predeal"},
    {"Dan Lăzărescu", "Str. Castanilor 19, Pitești"},
    {"Roxana Ciobanu", "Str. Bisericii 7, Râmnicu Vâlcea"},
    {"Tudor Enăchescu", "Str. Fagului 30, Piatra Neamț"},
    {"Simona Făgărășanu", "Str. Libertății 12, Deva"},
}};

constexpr const char* kSellerName = "Quorvela Travel SRL";

std::uint64_t splitmix(std::uint64_t& state) {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

// A generator of its own, not <random>'s distributions, so the same seed gives the same invoices with
// any standard library.
struct Rng {
    std::uint64_t state;
    std::int64_t below(std::int64_t n) { return static_cast<std::int64_t>(splitmix(state) % static_cast<std::uint64_t>(n)); }
};

Rng rngFor(const World& w, Channel c, std::int64_t index, std::uint64_t salt = 0) {
    std::uint64_t s = w.seed * 0x2545F4914F6CDD1DULL ^ (c == Channel::B2B ? 0x1B2BULL : 0x2B2CULL) << 48 ^
                      static_cast<std::uint64_t>(index) * 0x9E3779B97F4A7C15ULL ^ salt;
    splitmix(s);
    return Rng{s};
}

std::uint64_t nameHash(std::string_view s) {
    std::uint64_t h = 1469598103934665603ULL;
    for (char ch : s) h = (h ^ static_cast<unsigned char>(ch)) * 1099511628211ULL;
    return h;
}

// A Romanian fiscal code with its control digit (key 753217532).
std::string fiscalCode(std::string_view name) {
    std::uint64_t base = 1000000 + nameHash(name) % 44000000;
    char digits[16];
    std::snprintf(digits, sizeof digits, "%09llu", static_cast<unsigned long long>(base));
    static constexpr char kKey[] = "753217532";
    int sum = 0;
    for (int i = 0; i < 9; ++i) sum += (digits[i] - '0') * (kKey[i] - '0');
    int control = sum * 10 % 11;
    if (control == 10) control = 0;
    return "RO" + std::to_string(base) + std::to_string(control);
}

std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y += m <= 2;
}

const std::int64_t kFirstDay = daysFromCivil(2025, 1, 2);

std::int64_t perDay(Channel c) { return c == Channel::B2B ? 5 : 12; }

void appendAmount(std::string& out, std::int64_t bani) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%s%lld.%02lld", bani < 0 ? "-" : "", static_cast<long long>(std::llabs(bani) / 100),
                  static_cast<long long>(std::llabs(bani) % 100));
    out += buf;
}

// Half away from zero, as a cashier rounds.
std::int64_t roundDiv(std::int64_t num, std::int64_t den) { return (num + den / 2) / den; }

}  // namespace

std::int64_t firstId(const World& w, Channel c) { return c == Channel::B2B ? w.b2bFirstId : w.b2cFirstId; }
std::int64_t invoiceCount(const World& w, Channel c) { return c == Channel::B2B ? w.b2bCount : w.b2cCount; }
const char* channelName(Channel c) { return c == Channel::B2B ? "B2B" : "B2C"; }

std::string dateText(std::int64_t days) {
    std::int64_t y;
    unsigned m, d;
    civilFromDays(days, y, m, d);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04lld-%02u-%02u", static_cast<long long>(y), m, d);
    return buf;
}

bool parseDate(std::string_view t, std::int64_t& days) {
    if (t.size() != 10 || t[4] != '-' || t[7] != '-') return false;
    for (std::size_t i : {0, 1, 2, 3, 5, 6, 8, 9})
        if (t[i] < '0' || t[i] > '9') return false;
    auto num = [&](std::size_t at, std::size_t n) {
        int v = 0;
        for (std::size_t i = 0; i < n; ++i) v = v * 10 + (t[at + i] - '0');
        return v;
    };
    const int y = num(0, 4), m = num(5, 2), d = num(8, 2);
    if (m < 1 || m > 12 || d < 1 || d > 31) return false;
    days = daysFromCivil(y, static_cast<unsigned>(m), static_cast<unsigned>(d));
    return dateText(days) == t;   // rejects 2025-02-30
}

std::int64_t invoiceDay(Channel c, std::int64_t index) { return kFirstDay + index / perDay(c); }

std::int64_t firstIndexOnOrAfter(Channel c, std::int64_t day) {
    return day <= kFirstDay ? 0 : (day - kFirstDay) * perDay(c);
}

void appendJsonString(std::string& out, std::string_view text) {
    out += '"';
    for (char ch : text) {
        switch (ch) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (static_cast<unsigned char>(ch) < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(ch));
                out += buf;
            } else {
                out += ch;
            }
        }
    }
    out += '"';
}

void appendInvoice(std::string& out, const World& w, Channel c, std::int64_t index, bool badId) {
    Rng rng = rngFor(w, c, index);
    const std::int64_t id = firstId(w, c) + index;
    const std::int64_t day = invoiceDay(c, index);
    const bool b2b = c == Channel::B2B;

    // Every K-th invoice carries one fault the import must refuse: alternately a number too long for a
    // QEM document and totals that do not add up.
    int fault = 0;
    if (w.refuseEvery > 0 && (index + 1) % w.refuseEvery == 0) fault = ((index + 1) / w.refuseEvery) % 2 ? 1 : 2;

    char number[64];
    std::snprintf(number, sizeof number, "%s-%06lld%s", b2b ? "QVB" : "QVC", static_cast<long long>(id),
                  fault == 1 ? "/REFUZ-LUNG" : "");

    const Company& buyer = b2b ? kCompanies[static_cast<std::size_t>(rng.below(kCompanies.size()))]
                               : kPersons[static_cast<std::size_t>(rng.below(kPersons.size()))];

    out += "{\"invoiceId\": ";
    if (badId) {
        out += '"';
        out += std::to_string(id);
        out += "A\"";
    } else {
        out += std::to_string(id);
    }
    out += ", \"header\": {\"generalInformation\": {\"invoiceNumber\": ";
    appendJsonString(out, number);
    out += ", \"invoiceDate\": \"" + dateText(day) + "\", \"dueDate\": \"" + dateText(day + (b2b ? 30 : 0)) +
           "\", \"currency\": \"RON\"}, \"sellerInformation\": {\"sellerName\": ";
    appendJsonString(out, kSellerName);
    out += ", \"sellerVatCode\": \"" + fiscalCode(kSellerName) + "\"}, \"buyerInformation\": {\"buyerName\": ";
    appendJsonString(out, buyer.name);
    out += ", \"buyerVatCode\": \"" + (b2b ? fiscalCode(buyer.name) : std::string()) + "\", \"buyerAddress\": ";
    appendJsonString(out, buyer.address);
    out += "}}, \"lines\": [";

    const int lineCount = 1 + static_cast<int>(rng.below(4));
    std::int64_t totalNet = 0, totalVat = 0;
    for (int n = 1; n <= lineCount; ++n) {
        const Item& item = b2b ? kItems[static_cast<std::size_t>(rng.below(kItems.size()))]
                               : kItems[static_cast<std::size_t>(kB2cItems[static_cast<std::size_t>(rng.below(kB2cItems.size()))])];
        // Quantity in tenths: hours come in halves, everything else whole.
        std::int64_t q10;
        const std::string_view unit = item.unit;
        if (unit == "oră") q10 = 10 + 5 * rng.below(7);
        else if (unit == "pers") q10 = 10 * (1 + rng.below(b2b ? 30 : 5));
        else if (unit == "noapte") q10 = 10 * (1 + rng.below(7));
        else if (unit == "zi") q10 = 10 * (1 + rng.below(5));
        else if (unit == "buc") q10 = 10 * (1 + rng.below(4));
        else q10 = 10;
        const std::int64_t net = roundDiv(q10 * item.priceBani, 10);
        const std::int64_t vat = roundDiv(net * item.vatRate, 100);
        totalNet += net;
        totalVat += vat;
        if (n > 1) out += ", ";
        out += "{\"lineNo\": " + std::to_string(n) + ", \"itemCode\": ";
        appendJsonString(out, item.code);
        out += ", \"itemName\": ";
        appendJsonString(out, item.name);
        out += ", \"unit\": ";
        appendJsonString(out, item.unit);
        out += ", \"quantity\": ";
        out += std::to_string(q10 / 10);
        if (q10 % 10) {
            out += '.';
            out += std::to_string(q10 % 10);
        }
        out += ", \"unitPrice\": ";
        appendAmount(out, item.priceBani);
        out += ", \"vatRate\": ";
        out += std::to_string(item.vatRate);
        out += ", \"netAmount\": ";
        appendAmount(out, net);
        out += ", \"vatAmount\": ";
        appendAmount(out, vat);
        out += '}';
    }
    if (fault == 2) totalNet += 100;   // one leu more than the lines
    out += "], \"totals\": {\"netAmount\": ";
    appendAmount(out, totalNet);
    out += ", \"vatAmount\": ";
    appendAmount(out, totalVat);
    out += ", \"grossAmount\": ";
    appendAmount(out, totalNet + totalVat);
    out += "}}";
}

void appendBooking(std::string& out, const World& w, std::int64_t index) {
    // The guest is the invoice's buyer: the invoice draws its buyer first from the same sequence.
    Rng buyerRng = rngFor(w, Channel::B2C, index);
    const Company& guest = kPersons[static_cast<std::size_t>(buyerRng.below(kPersons.size()))];
    Rng rng = rngFor(w, Channel::B2C, index, 0xB00C);
    const std::int64_t checkIn = invoiceDay(Channel::B2C, index);
    const std::int64_t nights = 1 + rng.below(6);
    out += "{\"bookingId\": " + std::to_string(500000 + index) +
           ", \"invoiceId\": " + std::to_string(firstId(w, Channel::B2C) + index) + ", \"guestName\": ";
    appendJsonString(out, guest.name);
    out += ", \"checkIn\": \"" + dateText(checkIn) + "\", \"checkOut\": \"" + dateText(checkIn + nights) +
           "\", \"nights\": " + std::to_string(nights) + ", \"rooms\": " + std::to_string(1 + rng.below(2)) + "}";
}

}  // namespace sim
