// The hidden window that talks to the Quorvela back office: it asks for invoices (after an id, or by
// date) and bookings, writes what came back to the import log, and stores successful invoice answers
// through o_quorvela_log_ins. Never shown; created once at start-up.
#pragma once

#include <QDate>
#include <QString>
#include <QWidget>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "import/backoffice_answer.h"

namespace qv::pg {
class Connection;
class StoredProc;
}  // namespace qv::pg

class TfProc_Quorvela : public QWidget {
    Q_OBJECT
public:
    // conQem: the company's QEM connection (dmCon's conQem), where the answers are stored.
    explicit TfProc_Quorvela(qv::pg::Connection* conQem, QWidget* parent = nullptr);

    // Invoices of one channel ("B2B", "B2C") after the given invoice id. The id travels as 64 bits, so
    // ids past the 32-bit range are asked for as themselves.
    void getInvoicesId(qint64 pId, const QString& pBaseUrl, const QString& pUser, const QString& pPassword,
                       const QString& pApiEndPoint);
    // Invoices by invoice date; the answer is stored for the given channel.
    void getInvoicesData(QDate pDataIncep, QDate pDataSf, const QString& pBaseUrl, const QString& pUser,
                         const QString& pPassword, const QString& pApiEndPoint);
    // Bookings by date: logged, never stored.
    void getBookings(QDate pDataIncep, QDate pDataSf, const QString& pBaseUrl, const QString& pUser,
                     const QString& pPassword);

    // Where log lines go (the import window's log box); without a sink they are dropped.
    void setLog(std::function<void(const QString&)> sink) { log_ = std::move(sink); }

    // The waits of every later call; 30 s each unless a caller (a test) wants to give up sooner.
    void setTimeouts(std::chrono::milliseconds connect, std::chrono::milliseconds read) {
        connectTimeout_ = connect;
        readTimeout_ = read;
    }

private:
    void run(const qv::backoffice::Call& call);
    void store(std::string body, const QString& apiEndPoint);
    void log(const QString& line) const { if (log_) log_(line); }

    qv::pg::StoredProc* o_quorvela_log_ins;
    std::function<void(const QString&)> log_;
    std::chrono::milliseconds connectTimeout_{std::chrono::seconds(30)};
    std::chrono::milliseconds readTimeout_{std::chrono::seconds(30)};
};

extern TfProc_Quorvela* fProc_Quorvela;
