#include "import/u_fProc_Quorvela.h"

#include "platform/http/http.h"
#include "platform/pg/pg.h"

TfProc_Quorvela* fProc_Quorvela = nullptr;

using qv::backoffice::Call;
using qv::backoffice::Operation;

TfProc_Quorvela::TfProc_Quorvela(qv::pg::Connection* conQem, QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("fProc_Quorvela"));
    o_quorvela_log_ins = new qv::pg::StoredProc(QStringLiteral("o_quorvela_log_ins"), conQem, this);
    o_quorvela_log_ins->setSql(QStringLiteral("SELECT * FROM o_quorvela_log_ins(:pjson, :papiendpoint)"));
    o_quorvela_log_ins->declareParam(QStringLiteral("pjson"), qv::pg::ParamType::Text);
    o_quorvela_log_ins->declareParam(QStringLiteral("papiendpoint"), qv::pg::ParamType::Text);
}

void TfProc_Quorvela::getInvoicesId(qint64 pId, const QString& pBaseUrl, const QString& pUser,
                                    const QString& pPassword, const QString& pApiEndPoint) {
    Call call;
    call.operation = Operation::InvoicesId;
    call.id = pId;
    call.baseUrl = pBaseUrl;
    call.user = pUser;
    call.password = pPassword;
    call.apiEndPoint = pApiEndPoint;
    run(call);
}

void TfProc_Quorvela::getInvoicesData(QDate pDataIncep, QDate pDataSf, const QString& pBaseUrl,
                                      const QString& pUser, const QString& pPassword,
                                      const QString& pApiEndPoint) {
    Call call;
    call.operation = Operation::InvoicesData;
    call.from = pDataIncep;
    call.to = pDataSf;
    call.baseUrl = pBaseUrl;
    call.user = pUser;
    call.password = pPassword;
    call.apiEndPoint = pApiEndPoint;
    run(call);
}

void TfProc_Quorvela::getBookings(QDate pDataIncep, QDate pDataSf, const QString& pBaseUrl, const QString& pUser,
                                  const QString& pPassword) {
    Call call;
    call.operation = Operation::Bookings;
    call.from = pDataIncep;
    call.to = pDataSf;
    call.baseUrl = pBaseUrl;
    call.user = pUser;
    call.password = pPassword;
    run(call);
}

void TfProc_Quorvela::run(const Call& call) {
    qv::http::Request request = qv::backoffice::buildRequest(call);
    request.connectTimeout = connectTimeout_;
    request.readTimeout = readTimeout_;
    qv::http::Response response = qv::http::perform(request);
    qv::backoffice::throwIfServerError(response.statusCode, response.reasonPhrase, response.statusLine);

    std::string text = qv::http::decodeBody(std::move(response.body), qv::http::charsetOf(response.contentType));
    qv::backoffice::Answer answer{response.statusCode, response.reasonPhrase, response.statusLine, text};
    const bool keep = qv::backoffice::handleAnswer(call.operation, answer, [this](const QString& line) { log(line); });
    if (keep) store(std::move(text), call.apiEndPoint);
}

void TfProc_Quorvela::store(std::string body, const QString& apiEndPoint) {
    qv::pg::Param& pjson = o_quorvela_log_ins->paramByName(QStringLiteral("pjson"));
    pjson.setRawText(std::move(body));
    o_quorvela_log_ins->paramByName(QStringLiteral("papiendpoint")).setAsString(apiEndPoint);
    // An answer can be hundreds of megabytes: it must not stay in the parameter after the call.
    struct Release {
        qv::pg::Param& p;
        ~Release() { p.clear(); }
    } release{pjson};
    o_quorvela_log_ins->execute();
}
