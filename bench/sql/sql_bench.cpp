// Times the two stored functions the way the program calls them: the whole answer sent as one bound
// parameter, one transfer per call, each statement committing on its own. The baselines are measured in the
// same run on the same server. Usage:
//   qv_bench_sql log <conninfo> <invoices> <rounds>
//   qv_bench_sql fact <conninfo with 1,000 documents> <conninfo with 100,000> <calls per round> <rounds>
#include <libpq-fe.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

class Conn {
public:
    explicit Conn(const std::string& conninfo) : c_(PQconnectdb(conninfo.c_str())) {
        if (PQstatus(c_) != CONNECTION_OK) throw std::runtime_error(PQerrorMessage(c_));
    }
    ~Conn() { PQfinish(c_); }
    Conn(const Conn&) = delete;
    Conn& operator=(const Conn&) = delete;

    // Runs a statement; returns the first value of the first row ("" when none).
    std::string exec(const std::string& sql, std::vector<std::string> params = {}) {
        std::vector<const char*> values;
        for (const auto& p : params) values.push_back(p.c_str());
        PGresult* r = PQexecParams(c_, sql.c_str(), static_cast<int>(values.size()), nullptr, values.data(), nullptr,
                                   nullptr, 0);
        return take(r, sql);
    }

    std::vector<std::string> column(const std::string& sql) {
        PGresult* r = PQexec(c_, sql.c_str());
        check(r, sql);
        std::vector<std::string> out;
        for (int i = 0; i < PQntuples(r); ++i) out.emplace_back(PQgetvalue(r, i, 0));
        PQclear(r);
        return out;
    }

    std::string copyOut(const std::string& sql) {
        PGresult* r = PQexec(c_, sql.c_str());
        if (PQresultStatus(r) != PGRES_COPY_OUT) check(r, sql);
        PQclear(r);
        std::string data;
        char* buf = nullptr;
        int n;
        while ((n = PQgetCopyData(c_, &buf, 0)) > 0) {
            data.append(buf, static_cast<std::size_t>(n));
            PQfreemem(buf);
        }
        take(PQgetResult(c_), sql);
        return data;
    }

    void copyIn(const std::string& sql, const std::string& data) {
        PGresult* r = PQexec(c_, sql.c_str());
        if (PQresultStatus(r) != PGRES_COPY_IN) check(r, sql);
        PQclear(r);
        const std::size_t chunk = 1 << 20;
        for (std::size_t at = 0; at < data.size(); at += chunk) {
            const std::size_t n = std::min(chunk, data.size() - at);
            if (PQputCopyData(c_, data.data() + at, static_cast<int>(n)) != 1) throw std::runtime_error(PQerrorMessage(c_));
        }
        if (PQputCopyEnd(c_, nullptr) != 1) throw std::runtime_error(PQerrorMessage(c_));
        take(PQgetResult(c_), sql);
    }

private:
    static void check(PGresult* r, const std::string& sql) {
        const ExecStatusType st = PQresultStatus(r);
        if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK) {
            std::string msg = PQresultErrorMessage(r);
            PQclear(r);
            throw std::runtime_error(sql.substr(0, 60) + ": " + msg);
        }
    }
    std::string take(PGresult* r, const std::string& sql) {
        check(r, sql);
        std::string out;
        if (PQntuples(r) > 0 && PQnfields(r) > 0) out = PQgetvalue(r, 0, 0);
        PQclear(r);
        while ((r = PQgetResult(c_)) != nullptr) PQclear(r);
        return out;
    }

    PGconn* c_;
};

void row(const char* what, double value, const char* unit) { std::printf("  %-60s %10.2f %s\n", what, value, unit); }

int benchLog(const std::string& conninfo, int invoices, int rounds) {
    Conn db(conninfo);
    const std::string n = std::to_string(invoices);
    const std::string answer = db.exec(
        "SELECT '{\"status\": true, \"message\": \"\", \"invoices\": [' || string_agg(bench_factura(i), ', ' ORDER BY i) "
        "|| ']}' FROM generate_series(1, " + n + ") AS i");
    const std::string copyData = db.copyOut("COPY (SELECT bench_factura(i) FROM generate_series(1, " + n +
                                            ") AS i ORDER BY i) TO STDOUT");
    const std::string copyRows = db.copyOut("COPY (SELECT i, 'B2B', bench_factura(i) FROM generate_series(1, " + n +
                                            ") AS i ORDER BY i) TO STDOUT");
    // The plain baseline: the texts alone. The second one loads the very rows the function stores, into a
    // copy of log_quorvela with its indexes: what the same rows cost when nothing has to be parsed.
    db.exec("CREATE TABLE IF NOT EXISTS bench_copy (fact_c_json text)");
    db.exec("CREATE TABLE IF NOT EXISTS bench_split (fact_c_json text)");
    db.exec("CREATE TABLE IF NOT EXISTS bench_copy_log (LIKE log_quorvela INCLUDING DEFAULTS INCLUDING INDEXES)");

    std::vector<double> tCopy, tCopyLog, tSplit, tLog, tRepeat;
    for (int round = 0; round < rounds; ++round) {
        db.exec("TRUNCATE log_quorvela, bench_copy, bench_copy_log, bench_split");
        auto copy = [&] {
            auto t0 = Clock::now();
            db.copyIn("COPY bench_copy (fact_c_json) FROM STDIN", copyData);
            tCopy.push_back(msSince(t0));
            t0 = Clock::now();
            db.copyIn("COPY bench_copy_log (id_fact, api_end_point, fact_c_json) FROM STDIN", copyRows);
            tCopyLog.push_back(msSince(t0));
            // What PostgreSQL's json functions alone cost: split the answer and store the texts, no ids,
            // no checks, no conflicts.
            t0 = Clock::now();
            db.exec("INSERT INTO bench_split (fact_c_json) SELECT x::text FROM json_array_elements($1::json -> 'invoices') AS x",
                    {answer});
            tSplit.push_back(msSince(t0));
        };
        auto log = [&] {
            const auto t0 = Clock::now();
            const std::string stored = db.exec("SELECT * FROM o_quorvela_log_ins($1, $2)", {answer, "B2B"});
            tLog.push_back(msSince(t0));
            if (stored != n) throw std::runtime_error("o_quorvela_log_ins stored " + stored + " of " + n);
        };
        // Alternate the order so that neither side always runs on a warmer server.
        if (round % 2) { log(); copy(); } else { copy(); log(); }
        const auto t0 = Clock::now();
        const std::string again = db.exec("SELECT * FROM o_quorvela_log_ins($1, $2)", {answer, "B2B"});
        tRepeat.push_back(msSince(t0));
        if (again != "0") throw std::runtime_error("a repeated answer stored " + again + " invoices");
    }
    const double copyMs = median(tCopy), copyLogMs = median(tCopyLog), logMs = median(tLog);
    std::printf("One answer of %d invoices (%.1f MB), median of %d rounds:\n", invoices, answer.size() / 1e6, rounds);
    row("COPY of the same JSON texts into a scratch table", copyMs, "ms");
    row("COPY of the same rows into a copy of log_quorvela", copyLogMs, "ms");
    row("json_array_elements of the answer into a scratch table", median(tSplit), "ms");
    row("o_quorvela_log_ins, new invoices", logMs, "ms");
    row("o_quorvela_log_ins, the same answer again (all held)", median(tRepeat), "ms");
    row("ratio o_quorvela_log_ins / COPY of the texts (target <= 3)", logMs / copyMs, "x");
    row("ratio o_quorvela_log_ins / COPY into a log_quorvela copy", logMs / copyLogMs, "x");
    row("ratio json_array_elements alone / COPY of the texts", median(tSplit) / copyMs, "x");
    return 0;
}

int benchFact(const std::string& small, const std::string& big, int calls, int rounds) {
    Conn a(small), b(big);
    std::vector<std::string> idsA = a.column("SELECT id_fact FROM log_quorvela WHERE id_fact > 5000000 ORDER BY id_fact");
    std::vector<std::string> idsB = b.column("SELECT id_fact FROM log_quorvela WHERE id_fact > 5000000 ORDER BY id_fact");
    const std::size_t need = static_cast<std::size_t>(calls) * static_cast<std::size_t>(rounds + 1);
    if (idsA.size() < need || idsB.size() < need) throw std::runtime_error("not enough logged invoices to move");
    const std::string docsA = a.exec("SELECT count(*) FROM doc"), docsB = b.exec("SELECT count(*) FROM doc");

    std::size_t next = 0;
    auto move = [&](Conn& db, const std::vector<std::string>& ids) {
        const auto t0 = Clock::now();
        for (int i = 0; i < calls; ++i) db.exec("SELECT * FROM o_quorvela_fact_ins($1, $2)", {"contabil", ids[next + static_cast<std::size_t>(i)]});
        return msSince(t0) / calls;
    };
    // The first round only warms the sessions (plans, caches) and is not counted.
    std::vector<double> tA, tB;
    for (int round = 0; round <= rounds; ++round) {
        double x, y;
        if (round % 2) { y = move(b, idsB); x = move(a, idsA); } else { x = move(a, idsA); y = move(b, idsB); }
        next += static_cast<std::size_t>(calls);
        if (round > 0) { tA.push_back(x); tB.push_back(y); }
    }
    const double msA = median(tA), msB = median(tB);
    std::printf("o_quorvela_fact_ins, %d calls per round, median of %d rounds:\n", calls, rounds);
    row(("per call with " + docsA + " documents in doc").c_str(), msA, "ms");
    row(("per call with " + docsB + " documents in doc").c_str(), msB, "ms");
    row("ratio (target <= 1.3)", msB / msA, "x");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const std::string mode = argc > 1 ? argv[1] : "";
        if (mode == "log" && argc == 5) return benchLog(argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
        if (mode == "fact" && argc == 6) return benchFact(argv[2], argv[3], std::atoi(argv[4]), std::atoi(argv[5]));
        std::fprintf(stderr, "usage: qv_bench_sql log <conninfo> <invoices> <rounds>\n"
                             "       qv_bench_sql fact <conninfo-small> <conninfo-big> <calls> <rounds>\n");
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qv_bench_sql: %s\n", e.what());
        return 1;
    }
}
