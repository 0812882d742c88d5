#include "testdb.h"

#include <libpq-fe.h>

#include <atomic>
#include <cstdlib>
#include <stdexcept>
#include <unistd.h>

namespace qvtest {
namespace {

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

PGconn* adminConnect(const PgServer& s, const std::string& db) {
    const char* keys[] = {"host", "port", "user", "dbname", "options", nullptr};
    std::string port = std::to_string(s.port);
    const char* vals[] = {s.socket.c_str(), port.c_str(), "postgres", db.c_str(), "-c client_min_messages=warning",
                          nullptr};
    PGconn* c = PQconnectdbParams(keys, vals, 0);
    if (PQstatus(c) != CONNECTION_OK) {
        std::string msg = PQerrorMessage(c);
        PQfinish(c);
        throw std::runtime_error("admin connection failed: " + msg);
    }
    return c;
}

}  // namespace

bool haveServers() { return !env("QV_PG_PORT").empty() && !env("QV_PG_NOSSL_PORT").empty(); }

PgServer tlsServer() {
    return {env("QV_PG_HOST").empty() ? "127.0.0.1" : env("QV_PG_HOST"), std::atoi(env("QV_PG_PORT").c_str()),
            env("QV_PG_SOCKET"), true};
}

PgServer plainServer() {
    return {env("QV_PG_HOST").empty() ? "127.0.0.1" : env("QV_PG_HOST"), std::atoi(env("QV_PG_NOSSL_PORT").c_str()),
            env("QV_PG_NOSSL_SOCKET"), false};
}

std::string password() { return env("QV_PG_PASSWORD"); }

std::string adminExec(const PgServer& s, const std::string& db, const std::string& sql) {
    PGconn* c = adminConnect(s, db);
    PGresult* r = PQexec(c, sql.c_str());
    ExecStatusType st = PQresultStatus(r);
    if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK) {
        std::string msg = PQresultErrorMessage(r);
        PQclear(r);
        PQfinish(c);
        throw std::runtime_error(msg);
    }
    std::string out;
    if (st == PGRES_TUPLES_OK && PQntuples(r) > 0 && PQnfields(r) > 0)
        out = PQgetisnull(r, 0, 0) ? "<null>" : PQgetvalue(r, 0, 0);
    PQclear(r);
    PQfinish(c);
    return out;
}

TempDb::TempDb(const PgServer& s, const std::string& templ) : server_(s) {
    static std::atomic<int> counter{0};
    name_ = "t_" + std::to_string(getpid()) + "_" + std::to_string(counter++);
    adminExec(server_, "postgres", "DROP DATABASE IF EXISTS " + name_);
    adminExec(server_, "postgres", "CREATE DATABASE " + name_ + " TEMPLATE " + templ + " OWNER qem");
}

TempDb::~TempDb() {
    try {
        adminExec(server_, "postgres", "DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)");
    } catch (...) {
    }
}

std::string TempDb::conninfo(const char* sslmode) const {
    return "host=" + server_.host + " port=" + std::to_string(server_.port) + " dbname=" + name_ +
           " user=qem password=" + password() + " sslmode=" + sslmode;
}

SignInWorld::SignInWorld(const PgServer& s)
    : directory(s, "qv_tpl_directory_demo"), qem(s, "qv_tpl_qem_demo") {
    directory.exec("UPDATE m_firma SET ip = '" + s.host + "', port = " + std::to_string(s.port) + ", db_name = '" +
                   qem.name() + "'");
}

}  // namespace qvtest
