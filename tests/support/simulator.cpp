#include "simulator.h"

#include <QProcess>
#include <QStringList>

#include <cstdlib>
#include <stdexcept>

namespace qvtest {

std::string simulatorPath() {
    if (const char* p = std::getenv("QV_BACKOFFICE_SIM"); p && *p) return p;
#ifdef QV_BACKOFFICE_SIM
    return QV_BACKOFFICE_SIM;
#else
    throw std::runtime_error("the back-office simulator was not built; set QV_BACKOFFICE_SIM");
#endif
}

Simulator::Simulator(const std::vector<std::string>& options) : process_(std::make_unique<QProcess>()) {
    QStringList args;
    for (const std::string& o : options) args << QString::fromStdString(o);
    process_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_->start(QString::fromStdString(simulatorPath()), args);
    if (!process_->waitForStarted(10000))
        throw std::runtime_error("backoffice_sim did not start: " + process_->errorString().toStdString());
    while (!process_->canReadLine()) {
        if (!process_->waitForReadyRead(10000))
            throw std::runtime_error("backoffice_sim printed no URL");
    }
    url_ = process_->readLine().trimmed().toStdString();
    const auto colon = url_.rfind(':');
    port_ = colon == std::string::npos ? 0 : std::atoi(url_.c_str() + colon + 1);
    if (url_.rfind("http://", 0) != 0 || port_ <= 0) throw std::runtime_error("backoffice_sim printed " + url_);
}

Simulator::~Simulator() {
    if (process_->state() == QProcess::NotRunning) return;
    process_->terminate();
    if (!process_->waitForFinished(10000)) {
        process_->kill();
        process_->waitForFinished(5000);
    }
}

}  // namespace qvtest
