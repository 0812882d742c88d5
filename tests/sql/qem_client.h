// A bare libpq session as the database user "qem", for driving the QEM database's functions the way the
// program does: text parameters, each statement committing on its own unless a transaction is opened.
#pragma once
#include <libpq-fe.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace qvsql {

using Value = std::optional<std::string>;  // nullopt is SQL null
using Row = std::vector<Value>;

// A statement the server refused; what() is the server's primary message alone, as the program shows it.
struct DbError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class Client {
public:
    explicit Client(const std::string& conninfo);
    ~Client();
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    std::vector<Row> rows(const std::string& sql, const std::vector<Value>& params = {});
    // The first column of the first row; nullopt when null or when there is no row.
    Value value(const std::string& sql, const std::vector<Value>& params = {});
    // The first value read as a number ("count(*)" and the like).
    long long number(const std::string& sql, const std::vector<Value>& params = {});

    // Starts a statement without waiting for it; finish() collects its outcome.
    void send(const std::string& sql, const std::vector<Value>& params = {});
    std::vector<Row> finish();
    int backendPid() const;

private:
    std::vector<Row> collect(PGresult* r);
    PGconn* c_;
};

}  // namespace qvsql
