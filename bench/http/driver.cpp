// One getInvoicesId call, as the fetch run makes it, timed from the call to its return, with the peak
// resident memory during the call measured above the process's idle size (Linux /proc).
//
//   bench_http_driver URL HOST PORT DATABASE USER PASSWORD CHANNEL
//
// Prints "call_ms=… idle_kb=… peak_kb=… log_lines=…" on one line.
#include <QApplication>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include "import/u_fProc_Quorvela.h"
#include "platform/pg/pg.h"

namespace {

long statusKb(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(key) + ":";
    while (std::getline(in, line))
        if (line.rfind(prefix, 0) == 0) return std::stol(line.substr(prefix.size()));
    return -1;
}

// Starts a new peak from the current size ("5" resets VmHWM); false where the kernel does not allow it.
bool resetPeak() {
    std::ofstream out("/proc/self/clear_refs");
    out << "5";
    out.flush();
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 8) {
        std::cerr << "usage: bench_http_driver URL HOST PORT DATABASE USER PASSWORD CHANNEL\n";
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    qv::pg::Connection conQem(QStringLiteral("conQem"));
    conQem.setServer(QString::fromUtf8(argv[2]));
    conQem.setPort(std::atoi(argv[3]));
    conQem.setDatabase(QString::fromUtf8(argv[4]));
    conQem.setUsername(QString::fromUtf8(argv[5]));
    conQem.setPassword(QString::fromUtf8(argv[6]));
    conQem.setSslMode(qv::pg::SslMode::Prefer);
    conQem.open();   // the program is signed in before it fetches

    TfProc_Quorvela proc(&conQem);
    int lines = 0;
    proc.setLog([&lines](const QString& line) {
        ++lines;
        std::cerr << line.left(300).toStdString() << '\n';
    });

    const bool peakReset = resetPeak();
    const long idle = statusKb("VmRSS");
    const auto started = std::chrono::steady_clock::now();
    try {
        proc.getInvoicesId(0, QString::fromUtf8(argv[1]), QStringLiteral("quorvela"), QStringLiteral("quorvela-demo"),
                           QString::fromUtf8(argv[7]));
    } catch (const qv::AppError& e) {
        std::cerr << "error: " << e.what() << '\n';
        return 1;
    }
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
    const long peak = statusKb("VmHWM");
    std::printf("call_ms=%.1f idle_kb=%ld peak_kb=%ld peak_reset=%d log_lines=%d\n", ms, idle, peak, peakReset ? 1 : 0,
                lines);
    return 0;
}
