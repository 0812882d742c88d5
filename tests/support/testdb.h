// The test servers that scripts/test starts, and throwaway databases copied from its templates.
#pragma once
#include <QString>
#include <string>

namespace qvtest {

struct PgServer {
    std::string host;     // 127.0.0.1
    int port = 0;
    std::string socket;   // the cluster's socket folder, for the superuser
    bool ssl = false;
};

bool haveServers();       // false when the environment names no servers
PgServer tlsServer();     // ssl = on
PgServer plainServer();   // ssl = off
std::string password();   // the password of the database user "qem"

// Runs SQL as the superuser over the socket; throws std::runtime_error with the server's message.
// Returns the first column of the first row, or "" when there is none (null reads as "<null>").
std::string adminExec(const PgServer& s, const std::string& db, const std::string& sql);

// A database copied from a template ("qv_tpl_qem", "qv_tpl_qem_demo", "qv_tpl_directory",
// "qv_tpl_directory_demo"), dropped when the object goes.
class TempDb {
public:
    TempDb(const PgServer& s, const std::string& templ);
    ~TempDb();
    TempDb(const TempDb&) = delete;
    TempDb& operator=(const TempDb&) = delete;
    const std::string& name() const { return name_; }
    const PgServer& server() const { return server_; }
    // As the database user "qem" (what it creates, the program can use).
    std::string exec(const std::string& sql) const { return adminExec(server_, name_, "SET ROLE qem;\n" + sql); }
    // A libpq connection string for the user "qem" over TCP.
    std::string conninfo(const char* sslmode = "prefer") const;

private:
    PgServer server_;
    std::string name_;
};

// A directory database and a QEM database from the demo templates, the directory row pointing at the
// QEM database. Company, user and password are those of the demo seed.
struct SignInWorld {
    explicit SignInWorld(const PgServer& s = tlsServer());
    TempDb directory;
    TempDb qem;
};

}  // namespace qvtest

#define QV_REQUIRE_SERVERS()                                                        \
    do {                                                                            \
        if (!qvtest::haveServers()) GTEST_SKIP() << "no test servers (scripts/test starts them)"; \
    } while (0)
