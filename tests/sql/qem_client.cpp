#include "qem_client.h"

namespace qvsql {
namespace {

std::vector<const char*> pointers(const std::vector<Value>& params) {
    std::vector<const char*> out;
    out.reserve(params.size());
    for (const auto& p : params) out.push_back(p ? p->c_str() : nullptr);
    return out;
}

}  // namespace

Client::Client(const std::string& conninfo) : c_(PQconnectdb(conninfo.c_str())) {
    if (PQstatus(c_) != CONNECTION_OK) {
        std::string msg = PQerrorMessage(c_);
        PQfinish(c_);
        throw std::runtime_error("connection failed: " + msg);
    }
}

Client::~Client() { PQfinish(c_); }

std::vector<Row> Client::rows(const std::string& sql, const std::vector<Value>& params) {
    auto values = pointers(params);
    PGresult* r = PQexecParams(c_, sql.c_str(), static_cast<int>(values.size()), nullptr, values.data(), nullptr,
                               nullptr, 0);
    return collect(r);
}

Value Client::value(const std::string& sql, const std::vector<Value>& params) {
    auto result = rows(sql, params);
    if (result.empty() || result.front().empty()) return std::nullopt;
    return result.front().front();
}

long long Client::number(const std::string& sql, const std::vector<Value>& params) {
    Value v = value(sql, params);
    if (!v) throw std::runtime_error("no number from: " + sql);
    return std::stoll(*v);
}

void Client::send(const std::string& sql, const std::vector<Value>& params) {
    auto values = pointers(params);
    if (!PQsendQueryParams(c_, sql.c_str(), static_cast<int>(values.size()), nullptr, values.data(), nullptr, nullptr,
                           0))
        throw std::runtime_error(PQerrorMessage(c_));
}

std::vector<Row> Client::finish() {
    PGresult* r = PQgetResult(c_);
    return collect(r);
}

int Client::backendPid() const { return PQbackendPID(c_); }

std::vector<Row> Client::collect(PGresult* r) {
    const ExecStatusType st = PQresultStatus(r);
    std::vector<Row> out;
    std::string error;
    if (st == PGRES_TUPLES_OK) {
        for (int i = 0; i < PQntuples(r); ++i) {
            Row row;
            for (int j = 0; j < PQnfields(r); ++j)
                row.push_back(PQgetisnull(r, i, j) ? Value{} : Value{PQgetvalue(r, i, j)});
            out.push_back(std::move(row));
        }
    } else if (st != PGRES_COMMAND_OK) {
        const char* primary = PQresultErrorField(r, PG_DIAG_MESSAGE_PRIMARY);
        error = primary ? primary : PQerrorMessage(c_);
        if (error.empty()) error = "statement failed";
    }
    PQclear(r);
    while ((r = PQgetResult(c_)) != nullptr) PQclear(r);
    if (!error.empty()) throw DbError(error);
    return out;
}

}  // namespace qvsql
