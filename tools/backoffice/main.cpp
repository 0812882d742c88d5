// backoffice_sim: a stand-in for the Quorvela back office's HTTP API on 127.0.0.1.
//
//   POST /v1/backOffice/invoices   {"invoiceId": ">,N"} with API-SOURCE B2B|B2C: the invoices after N
//                                  {"invoiceDate": {"from":"…", "to":"…"}}: the invoices of those days
//   POST /v1/backOffice/bookings   {"from":"…", "to":"…"}: the bookings that start on those days
//
// The first line on stdout is the URL to use ("http://127.0.0.1:PORT"); SIGTERM or SIGINT stops it.
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>
#include <algorithm>
#include <cerrno>
#include <cctype>

#ifndef _WIN32
#include <pthread.h>
#include <signal.h>
#endif

#include "catalogue.h"

namespace {

std::atomic<bool> g_stopping{false};

struct Options {
    int port = 0;
    std::string user = "quorvela";
    std::string password = "quorvela-demo";
    sim::World world;
    bool b2cFirstIdGiven = false;
    std::int64_t pageSize = 500;
    // Misbehaviour on request.
    int failStatus = 0;
    bool notJson = false;
    bool statusFalse = false;
    int redirect = 0;
    bool redirectLoop = false;
    int slowMs = 0;
    bool closeMidBody = false;
    bool badId = false;
    bool badUtf8 = false;
    bool echo = false;
    std::optional<std::string> body;
    std::string contentType = "application/json; charset=utf-8";
    std::int64_t padBytes = 0;
    bool verbose = false;
};

const char* kUsage = R"(usage: backoffice_sim [options]
  --port N            port on 127.0.0.1 (0, the default: a free one)
  --user U --password P   Basic credentials (quorvela / quorvela-demo)
  --seed N            world seed (1)
  --b2b-count N --b2c-count N   invoices per channel (120 / 80)
  --first-id N        first B2B id (1001); B2C ids start at first-id + 1000000
  --b2c-first-id N    first B2C id
  --page-size N       invoices per answer to ">,N" (500)
  --refuse-every K    every K-th invoice is one the QEM import must refuse
misbehaviour:
  --fail-status CODE  answer every request with this status
  --not-json          answer 200 with an HTML page
  --status-false      answer 200 with "status": false
  --redirect CODE     redirect every request once, to /moved/<path>
  --redirect-loop     with --redirect: redirect to the same path, forever
  --slow MS           wait before answering
  --close-mid-body    close the connection halfway through the body
  --bad-id            the last invoice of every answer has an id that is no integer
  --bad-utf8          put a byte that is not UTF-8 into the answer
  --echo              answer with what was received (method, path, headers, body)
  --body TEXT         answer 200 with exactly this body
  --content-type T    Content-Type of the answers (application/json; charset=utf-8)
  --pad-bytes N       add a member "padding" of N characters to invoice answers
  --verbose           log each request to stderr
)";

[[noreturn]] void usageError(const std::string& what) {
    std::cerr << "backoffice_sim: " << what << "\n" << kUsage;
    std::exit(2);
}

std::int64_t toInt(const std::string& option, const char* text) {
    char* end = nullptr;
    long long v = std::strtoll(text, &end, 10);
    if (!end || *end || end == text) usageError(option + " needs a number, not \"" + text + "\"");
    return v;
}

Options parseOptions(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) usageError(a + " needs a value");
            return argv[++i];
        };
        if (a == "--help" || a == "-h") { std::cout << kUsage; std::exit(0); }
        else if (a == "--port") o.port = static_cast<int>(toInt(a, value()));
        else if (a == "--user") o.user = value();
        else if (a == "--password") o.password = value();
        else if (a == "--seed") o.world.seed = static_cast<std::uint64_t>(toInt(a, value()));
        else if (a == "--b2b-count") o.world.b2bCount = toInt(a, value());
        else if (a == "--b2c-count") o.world.b2cCount = toInt(a, value());
        else if (a == "--first-id") o.world.b2bFirstId = toInt(a, value());
        else if (a == "--b2c-first-id") { o.world.b2cFirstId = toInt(a, value()); o.b2cFirstIdGiven = true; }
        else if (a == "--page-size") o.pageSize = toInt(a, value());
        else if (a == "--refuse-every") o.world.refuseEvery = toInt(a, value());
        else if (a == "--fail-status") o.failStatus = static_cast<int>(toInt(a, value()));
        else if (a == "--not-json") o.notJson = true;
        else if (a == "--status-false") o.statusFalse = true;
        else if (a == "--redirect") o.redirect = static_cast<int>(toInt(a, value()));
        else if (a == "--redirect-loop") o.redirectLoop = true;
        else if (a == "--slow") o.slowMs = static_cast<int>(toInt(a, value()));
        else if (a == "--close-mid-body") o.closeMidBody = true;
        else if (a == "--bad-id") o.badId = true;
        else if (a == "--bad-utf8") o.badUtf8 = true;
        else if (a == "--echo") o.echo = true;
        else if (a == "--body") o.body = value();
        else if (a == "--content-type") o.contentType = value();
        else if (a == "--pad-bytes") o.padBytes = toInt(a, value());
        else if (a == "--verbose") o.verbose = true;
        else usageError("unknown option " + a);
    }
    if (!o.b2cFirstIdGiven) o.world.b2cFirstId = o.world.b2bFirstId + 1000000;
    if (o.pageSize < 1) usageError("--page-size must be at least 1");
    if (o.world.b2bCount < 0 || o.world.b2cCount < 0) usageError("counts cannot be negative");
    if (o.redirectLoop && !o.redirect) o.redirect = 302;
    return o;
}

std::string statusFalse(const std::string& message) {
    std::string out = "{\"status\": false, \"message\": ";
    sim::appendJsonString(out, message);
    out += '}';
    return out;
}

std::string base64(const std::string& in) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    unsigned bits = 0;
    int count = 0;
    for (unsigned char ch : in) {
        bits = bits << 8 | ch;
        count += 8;
        while (count >= 6) {
            count -= 6;
            out += kAlphabet[(bits >> count) & 63];
        }
    }
    if (count > 0) out += kAlphabet[(bits << (6 - count)) & 63];
    while (out.size() % 4) out += '=';
    return out;
}

bool checkCredentials(const Options& o, const httplib::Request& req) {
    const std::string expected = "Basic " + base64(o.user + ":" + o.password);
    return req.get_header_value("Authorization") == expected;
}

// Sends a prepared body, all of it or (when asked) half and then a dropped connection.
void send(const Options& o, httplib::Response& res, int status, std::string body, const std::string& type) {
    res.status = status;
    if (o.badUtf8) {
        // Inside the first string value, so the text is still well-formed JSON apart from the byte.
        std::size_t q = body.find("\"message\": \"");
        if (q != std::string::npos) body.insert(q + 12, "Bun\xC3\x28");
        else body.insert(0, "\xFF");
    }
    auto shared = std::make_shared<std::string>(std::move(body));
    const std::size_t limit = o.closeMidBody ? shared->size() / 2 : shared->size();
    res.set_content_provider(
        shared->size(), type, [shared, limit](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            if (offset >= limit) return false;   // drops the connection with the body unfinished
            const std::size_t n = std::min({length, limit - offset, std::size_t(1) << 20});
            return sink.write(shared->data() + offset, n);
        });
}

void sendJson(const Options& o, httplib::Response& res, int status, std::string body) {
    send(o, res, status, std::move(body), o.contentType);
}

bool parseAfter(const std::string& text, std::int64_t& after) {
    if (text.size() < 3 || text.compare(0, 2, ">,") != 0) return false;
    const std::string digits = text.substr(2);
    if (digits.empty() || digits.size() > 20) return false;
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(digits.c_str(), &end, 10);
    if (*end || errno == ERANGE) return false;
    if (!(std::isdigit(static_cast<unsigned char>(digits[0])) || digits[0] == '-')) return false;
    after = v;
    return true;
}

void appendPadding(const Options& o, std::string& out) {
    if (o.padBytes <= 0) return;
    out += ",\n\"padding\": \"";
    out.append(static_cast<std::size_t>(o.padBytes), 'x');
    out += '"';
}

std::string invoicesAnswer(const Options& o, sim::Channel c, std::int64_t from, std::int64_t to) {
    std::string out;
    out.reserve(static_cast<std::size_t>(to - from) * 1100 + static_cast<std::size_t>(std::max<std::int64_t>(0, o.padBytes)) + 64);
    out += "{\"status\": true, \"message\": \"\", \"invoices\": [";
    for (std::int64_t i = from; i < to; ++i) {
        out += i == from ? "\n" : ",\n";
        sim::appendInvoice(out, o.world, c, i, o.badId && i + 1 == to);
    }
    out += "]";
    appendPadding(o, out);
    out += "}";
    return out;
}

std::optional<sim::Channel> channelOf(const std::string& source) {
    if (source == "B2B") return sim::Channel::B2B;
    if (source == "B2C") return sim::Channel::B2C;
    return std::nullopt;
}

bool readRange(const nlohmann::json& j, std::int64_t& from, std::int64_t& to) {
    if (!j.is_object() || !j.contains("from") || !j.contains("to") || !j["from"].is_string() || !j["to"].is_string())
        return false;
    return sim::parseDate(j["from"].get<std::string>(), from) && sim::parseDate(j["to"].get<std::string>(), to);
}

void handleInvoices(const Options& o, const httplib::Request& req, httplib::Response& res, const nlohmann::json& j) {
    const bool hasSource = req.has_header("API-SOURCE");
    const std::string source = req.get_header_value("API-SOURCE");
    if (j.contains("invoiceId")) {
        if (!hasSource) return sendJson(o, res, 200, statusFalse("Lipseste antetul API-SOURCE (B2B sau B2C)"));
        auto channel = channelOf(source);
        if (!channel)
            return sendJson(o, res, 200, statusFalse("API-SOURCE necunoscut: \"" + source + "\" (se asteapta B2B sau B2C)"));
        std::int64_t after = 0;
        if (!j["invoiceId"].is_string() || !parseAfter(j["invoiceId"].get<std::string>(), after))
            return sendJson(o, res, 200, statusFalse("invoiceId trebuie sa fie de forma \">,N\""));
        const std::int64_t first = sim::firstId(o.world, *channel);
        const std::int64_t count = sim::invoiceCount(o.world, *channel);
        std::int64_t start = after < first ? 0 : (after - first >= count ? count : after - first + 1);
        std::int64_t end = start + std::min(o.pageSize, count - start);
        return sendJson(o, res, 200, invoicesAnswer(o, *channel, start, end));
    }
    if (j.contains("invoiceDate")) {
        std::int64_t from = 0, to = 0;
        if (!readRange(j["invoiceDate"], from, to))
            return sendJson(o, res, 400, statusFalse("invoiceDate trebuie sa aiba from si to (aaaa-ll-zz)"));
        // The program asks by date without naming a channel: the back office then answers for B2B.
        sim::Channel c = sim::Channel::B2B;
        if (hasSource) {
            auto channel = channelOf(source);
            if (!channel)
                return sendJson(o, res, 200, statusFalse("API-SOURCE necunoscut: \"" + source + "\" (se asteapta B2B sau B2C)"));
            c = *channel;
        }
        std::string out = "{\"status\": true, \"message\": \"\", \"invoices\": [";
        bool any = false;
        const std::int64_t count = sim::invoiceCount(o.world, c);
        for (std::int64_t i = std::min(count, sim::firstIndexOnOrAfter(c, from)); i < count && sim::invoiceDay(c, i) <= to;
             ++i) {
            out += any ? ",\n" : "\n";
            any = true;
            sim::appendInvoice(out, o.world, c, i, false);
        }
        out += "]";
        appendPadding(o, out);
        out += "}";
        return sendJson(o, res, 200, std::move(out));
    }
    sendJson(o, res, 400, statusFalse("Cererea trebuie sa contina invoiceId sau invoiceDate"));
}

void handleBookings(const Options& o, httplib::Response& res, const nlohmann::json& j) {
    std::int64_t from = 0, to = 0;
    if (!readRange(j, from, to)) return sendJson(o, res, 400, statusFalse("Cererea trebuie sa aiba from si to (aaaa-ll-zz)"));
    std::string out = "{\"status\": true, \"message\": \"\", \"bookings\": [";
    const std::int64_t count = sim::invoiceCount(o.world, sim::Channel::B2C);
    bool any = false;
    for (std::int64_t i = std::min(count, sim::firstIndexOnOrAfter(sim::Channel::B2C, from));
         i < count && sim::invoiceDay(sim::Channel::B2C, i) <= to; ++i) {
        out += any ? ",\n" : "\n";
        any = true;
        sim::appendBooking(out, o.world, i);
    }
    out += "]}";
    sendJson(o, res, 200, std::move(out));
}

void echo(const Options& o, const httplib::Request& req, httplib::Response& res) {
    nlohmann::ordered_json j;
    j["status"] = true;
    j["message"] = "";
    j["invoices"] = nlohmann::json::array();
    j["method"] = req.method;
    j["path"] = req.path;
    nlohmann::json headers = nlohmann::json::array();
    for (const auto& [name, value] : req.headers) headers.push_back({name, value});
    j["headers"] = headers;
    j["body"] = req.body;
    sendJson(o, res, 200, j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
}

void sleepUnlessStopping(int ms) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!g_stopping && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

void serve(const Options& o, const httplib::Request& req, httplib::Response& res) {
    res.set_header("X-Request-Method", req.method);
    if (o.slowMs > 0) sleepUnlessStopping(o.slowMs);

    const bool moved = req.path.rfind("/moved/", 0) == 0;
    if (o.redirect && (o.redirectLoop || !moved)) {
        res.status = o.redirect;
        res.set_header("Location", o.redirectLoop ? req.path : "/moved" + req.path);
        return;
    }
    if (!checkCredentials(o, req)) {
        res.set_header("WWW-Authenticate", "Basic realm=\"Quorvela\"");
        return sendJson(o, res, 401, statusFalse("Utilizator sau parola gresita"));
    }
    if (o.failStatus) return send(o, res, o.failStatus, "Eroare simulata " + std::to_string(o.failStatus), "text/plain");
    if (o.body) return sendJson(o, res, 200, *o.body);
    if (o.echo) return echo(o, req, res);
    if (o.notJson)
        return send(o, res, 200, "<html><body><h1>Quorvela</h1><p>Serviciu in mentenanta</p></body></html>",
                    "text/html; charset=utf-8");
    if (o.statusFalse)
        return sendJson(o, res, 200,
                        "{\"status\": false, \"message\": \"Abonamentul API a expirat / contactati suportul\", "
                        "\"code\": 4.10, \"details\": {\"path\": \"" + req.path + "\", \"retryAfter\": 3.0E+1, "
                        "\"hint\": \"linia 1\\nlinia 2\\t\\u0103\"}}");
    if (req.method != "POST")
        return sendJson(o, res, 405, statusFalse("Metoda " + req.method + " nu este permisa; folositi POST"));

    nlohmann::json j = nlohmann::json::parse(req.body, nullptr, false);
    if (j.is_discarded() || !j.is_object()) return sendJson(o, res, 400, statusFalse("Corpul cererii nu este JSON valid"));
    const std::string path = moved ? req.path.substr(6) : req.path;
    if (path == "/v1/backOffice/invoices") return handleInvoices(o, req, res, j);
    handleBookings(o, res, j);
}

}  // namespace

int main(int argc, char** argv) {
    const Options o = parseOptions(argc, argv);

#ifndef _WIN32
    // Signals are taken by the main thread alone, with sigwait below, so the server threads never see them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
#endif

    httplib::Server server;
    auto handler = [&o](const httplib::Request& req, httplib::Response& res) { serve(o, req, res); };
    for (const char* path : {"/v1/backOffice/invoices", "/v1/backOffice/bookings", "/moved/v1/backOffice/invoices",
                             "/moved/v1/backOffice/bookings"}) {
        server.Post(path, handler);
        server.Get(path, handler);
    }
    server.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr ep) {
        std::string what = "unknown";
        try { std::rethrow_exception(ep); } catch (const std::exception& e) { what = e.what(); } catch (...) {}
        res.status = 500;
        res.set_content("Eroare interna: " + what, "text/plain");
    });
    if (o.verbose)
        server.set_logger([](const httplib::Request& req, const httplib::Response& res) {
            std::cerr << req.method << ' ' << req.path << " -> " << res.status << '\n';
        });
    // Large answers to a slow reader must not be cut by the library's 5 s default.
    server.set_write_timeout(120, 0);

    int port = o.port;
    if (port == 0) {
        port = server.bind_to_any_port("127.0.0.1");
        if (port <= 0) { std::cerr << "backoffice_sim: cannot bind to 127.0.0.1\n"; return 1; }
    } else if (!server.bind_to_port("127.0.0.1", port)) {
        std::cerr << "backoffice_sim: cannot bind to 127.0.0.1:" << port << '\n';
        return 1;
    }
    std::atomic<bool> listenerEnded{false};
    std::thread listener([&server, &listenerEnded] {
        server.listen_after_bind();
        listenerEnded = true;
    });
    // The URL says "ready": a stop that came before the listener runs would be lost.
    while (!server.is_running() && !listenerEnded) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (listenerEnded) {
        listener.join();
        std::cerr << "backoffice_sim: the server did not start\n";
        return 1;
    }
    std::printf("http://127.0.0.1:%d\n", port);
    std::fflush(stdout);
#ifndef _WIN32
    int sig = 0;
    sigwait(&stopSignals, &sig);
#else
    static std::atomic<bool> interrupted{false};
    std::signal(SIGINT, [](int) { interrupted = true; });
    std::signal(SIGTERM, [](int) { interrupted = true; });
    while (!interrupted) std::this_thread::sleep_for(std::chrono::milliseconds(50));
#endif
    g_stopping = true;
    server.stop();
    listener.join();
    return 0;
}
