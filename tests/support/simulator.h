// The back-office simulator (tools/backoffice) started for one test on a free port, stopped when the
// object goes.
#pragma once
#include <memory>
#include <string>
#include <vector>

class QProcess;

namespace qvtest {

class Simulator {
public:
    // Options as on the simulator's command line, e.g. {"--b2b-count", "3", "--status-false"}.
    explicit Simulator(const std::vector<std::string>& options = {});
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    const std::string& url() const { return url_; }   // "http://127.0.0.1:PORT"
    int port() const { return port_; }

private:
    std::unique_ptr<QProcess> process_;
    std::string url_;
    int port_ = 0;
};

// Where the simulator binary is: $QV_BACKOFFICE_SIM, or the one this build made.
std::string simulatorPath();

}  // namespace qvtest
