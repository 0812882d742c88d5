#include "import/u_fQuorvelaImportFactCI.h"

#include <QApplication>
#include <QByteArray>
#include <QElapsedTimer>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollBar>

#include <unordered_map>

#include "data/u_dmCon.h"
#include "import/list_query.h"
#include "import/u_fProc_Quorvela.h"
#include "platform/grid/datagrid.h"
#include "platform/grid/parts.h"
#include "platform/pg/pg.h"
#include "platform/ui/ui.h"

TfQuorvelaImportFactCI* fQuorvelaImportFactCI = nullptr;

using namespace qv::pg;
using namespace qv::ui;

namespace {

const char* const kNoRecords = "Nu aveti inregistrari.";

QPushButton* button(const char* name, const char* text, QWidget* parent, int l, int t, int w, int h) {
    auto* b = new QPushButton(QString::fromLatin1(text), parent);
    b->setObjectName(QString::fromLatin1(name));
    place(b, l, t, w, h);
    return b;
}


}  // namespace

TfQuorvelaImportFactCI::TfQuorvelaImportFactCI(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("fQuorvelaImportFactCI"));
    setWindowTitle(QStringLiteral("fQuorvelaImportFactCI"));
    setFont(QFont(QStringLiteral("Segoe UI"), 9));
    setClientSize(this, 1288, 662);

    Label2 = new QLabel(QStringLiteral("Import facturi clienti din Quorvela"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    QFont lf(QStringLiteral("Segoe UI"), 12);
    lf.setBold(true);
    Label2->setFont(lf);
    QPalette lp = Label2->palette();
    lp.setColor(QPalette::WindowText, Qt::red);
    Label2->setPalette(lp);
    place(Label2, 8, 0);

    ButtonFactPreluate = button("ButtonFactPreluate", "Vezi facturi preluate", this, 8, 24, 113, 25);
    ButtonPreiaFactQuorvela = button("ButtonPreiaFactQuorvela", "Preia facturi din Quorvela", this, 144, 24, 137, 25);
    ButtonMutaFactCurenta = button("ButtonMutaFactCurenta", "Muta factura curenta in QEM", this, 304, 24, 178, 25);
    ButtonMutaToateFacturile =
        button("ButtonMutaToateFacturile", "Muta toate facturile in QEM", this, 505, 24, 176, 25);
    Button2 = button("Button2", "Vezi Json factura curenta", this, 768, 24, 145, 25);

    ProgressMutaToate = new QProgressBar(this);
    ProgressMutaToate->setObjectName(QStringLiteral("ProgressMutaToate"));
    ProgressMutaToate->setFormat(QStringLiteral("Factura %v din %m"));
    place(ProgressMutaToate, 930, 24, 220, 25);
    ProgressMutaToate->hide();
    ButtonOpresteMutarea = button("ButtonOpresteMutarea", "Opreste", this, 1160, 24, 80, 25);
    ButtonOpresteMutarea->setToolTip(QStringLiteral("Opreste mutarea dupa factura curenta"));
    ButtonOpresteMutarea->hide();

    // Datasets, all on the QEM connection.
    dsConfigQuorvela = new Query(QStringLiteral("dsConfigQuorvela"), dmCon->conQem, this);
    dsConfigQuorvela->setSql({"select * ", "from config_quorvela", ";"});
    declareFields(*dsConfigQuorvela, "user_quorvela, pass_quorvela, base_url_quorvela long text");

    dsIdFactMax = new Query(QStringLiteral("dsIdFactMax"), dmCon->conQem, this);
    dsIdFactMax->setSql({"select max(id_fact) as id_fact_max", "from log_quorvela", "where api_end_point = :pApiEndPoint",
                         ";", "--select max(id_fact) as id_fact_max", "--from log_quorvela", "--;"});
    declareFields(*dsIdFactMax, "id_fact_max 64-bit integer");
    dsIdFactMax->setReadOnly(true);

    dsLogQuorvela = new Query(QStringLiteral("dsLogQuorvela"), dmCon->conQem, this);
    dsLogQuorvela->setSql(qv::import::listQuerySql());
    // Declared in the order the grid shows the columns.
    declareFields(*dsLogQuorvela,
                  "id_fact 64-bit integer; data_preluare_json datetime; err_la_import long text; "
                  "api_end_point text(3); data_doc_json date; nr_doc_json, partener_json long text; "
                  "data_doc_qem date; tip_doc_qem text(7); nr_doc_qem text(15); partener_qem text(100)");
    dsLogQuorvela->setReadOnly(true);
    dsLogQuorvela->setKeyField(QStringLiteral("id_fact"));
    dsLogQuorvela->setKeyRecordSql(qv::import::listRecordSql());

    dsLogQuorvelaUnu = new Query(QStringLiteral("dsLogQuorvelaUnu"), dmCon->conQem, this);
    dsLogQuorvelaUnu->setSql({"select id_fact,", "       api_end_point,", "       err_la_import,", "       fact_c_json",
                              "from log_quorvela", "where id_fact       = :id_fact",
                              "  and api_end_point = :api_end_point", ";"});
    // The id is 64-bit end to end: a 32-bit parameter would look up the wrong invoice past 2147483647.
    dsLogQuorvelaUnu->declareParam(QStringLiteral("id_fact"), ParamType::LargeInt);
    declareFields(*dsLogQuorvelaUnu,
                  "id_fact 64-bit integer; api_end_point text(3); err_la_import, fact_c_json long text");
    dsLogQuorvelaUnu->setMaster(dsLogQuorvela, {QStringLiteral("id_fact"), QStringLiteral("api_end_point")});

    o_quorvela_fact_ins = new StoredProc(QStringLiteral("o_quorvela_fact_ins"), dmCon->conQem, this);
    o_quorvela_fact_ins->setSql(QStringLiteral("SELECT * FROM o_quorvela_fact_ins(:pemitent, :pidfact)"));
    o_quorvela_fact_ins->declareParam(QStringLiteral("pidfact"), ParamType::LargeInt);

    cxGrid1 = new qv::grid::DataGrid(this);
    cxGrid1->setObjectName(QStringLiteral("cxGrid1"));
    qv::grid::GridView* view = cxGrid1->view();
    view->setObjectName(QStringLiteral("cxGrid1DBTableView1"));
    view->setDataSet(dsLogQuorvela);
    cxGrid1->setGridStyleSheet(dmCon->GridTableViewStyleSheetDevExpress);
    const std::pair<const char*, int> widths[] = {
        {"id_fact", 97},       {"data_preluare_json", 140}, {"err_la_import", 257}, {"api_end_point", 91},
        {"data_doc_json", 100}, {"nr_doc_json", 100},      {"partener_json", 100}, {"data_doc_qem", 100},
        {"tip_doc_qem", 100},  {"nr_doc_qem", 100},        {"partener_qem", 100}};
    for (const auto& [name, w] : widths) view->setColumnWidth(QString::fromLatin1(name), w);
    place(cxGrid1, 8, 55, 1268, 479);
    anchor(cxGrid1, AnchorLeft | AnchorTop | AnchorRight | AnchorBottom);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setReadOnly(false);
    Memo1->setTabChangesFocus(true);   // Tab leaves the log for the next control, as everywhere else
    place(Memo1, 8, 540, 1268, 114);
    anchor(Memo1, AnchorLeft | AnchorRight | AnchorBottom);

    // The grid's Tab stop is its view.
    setTabOrder(Memo1, cxGrid1->view());
    setTabOrder(cxGrid1->view(), ButtonFactPreluate);
    setTabOrder(ButtonFactPreluate, Button2);
    setTabOrder(Button2, ButtonPreiaFactQuorvela);
    setTabOrder(ButtonPreiaFactQuorvela, ButtonMutaToateFacturile);
    setTabOrder(ButtonMutaToateFacturile, ButtonMutaFactCurenta);
    setTabOrder(ButtonMutaFactCurenta, ButtonOpresteMutarea);

    connect(ButtonFactPreluate, &QPushButton::clicked, this, &TfQuorvelaImportFactCI::ButtonFactPreluateClick);
    connect(ButtonPreiaFactQuorvela, &QPushButton::clicked, this,
            &TfQuorvelaImportFactCI::ButtonPreiaFactQuorvelaClick);
    connect(ButtonMutaFactCurenta, &QPushButton::clicked, this, &TfQuorvelaImportFactCI::ButtonMutaFactCurentaClick);
    connect(ButtonMutaToateFacturile, &QPushButton::clicked, this,
            &TfQuorvelaImportFactCI::ButtonMutaToateFacturileClick);
    connect(Button2, &QPushButton::clicked, this, &TfQuorvelaImportFactCI::Button2Click);
    connect(ButtonOpresteMutarea, &QPushButton::clicked, this, &TfQuorvelaImportFactCI::ButtonOpresteMutareaClick);
}

TfQuorvelaImportFactCI::~TfQuorvelaImportFactCI() = default;

void TfQuorvelaImportFactCI::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (!shownOnce_) {
        shownOnce_ = true;
        Memo1->setFocus();
    }
}

void TfQuorvelaImportFactCI::appendLog(const QString& line) {
    Memo1->appendPlainText(line);
    // Without scroll bars the newest line must be the one in sight.
    Memo1->verticalScrollBar()->setValue(Memo1->verticalScrollBar()->maximum());
}

void TfQuorvelaImportFactCI::openOrRefreshList() {
    if (dsLogQuorvela->isActive())
        dsLogQuorvela->refresh();
    else
        dsLogQuorvela->open();
}

void TfQuorvelaImportFactCI::ButtonFactPreluateClick() { openOrRefreshList(); }

void TfQuorvelaImportFactCI::Button2Click() {
    // With no current record there is no invoice to show: a file named ".json" beside the folder helps
    // nobody.
    if (!dsLogQuorvela->isActive() || dsLogQuorvela->isEmpty()) throw qv::AppError(kNoRecords);
    const QString path =
        appDataFolder() + QLatin1Char('/') + dsLogQuorvela->fieldByName(QStringLiteral("id_fact")).asString() +
        QStringLiteral(".json");
    if (dsLogQuorvelaUnu->isActive()) dsLogQuorvelaUnu->close();
    dsLogQuorvelaUnu->open();
    const std::string_view json = dsLogQuorvelaUnu->fieldByName(QStringLiteral("fact_c_json")).raw();
    QSaveFile file(path);
    QByteArray bytes("\xEF\xBB\xBF", 3);
    bytes.append(json.data(), qsizetype(json.size()));
    bytes.append("\r\n", 2);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw qv::AppError(QStringLiteral("Nu pot scrie fisierul %1: %2").arg(path, file.errorString()));
    openWithDesktop(path);  // no program for .json is not the user's problem here
    dsLogQuorvelaUnu->close();
}

void TfQuorvelaImportFactCI::fetchChannel(const QString& channel) {
    appendLog(QStringLiteral("Incepe preluarea facturilor %1...").arg(channel));
    dsIdFactMax->paramByName(QStringLiteral("pApiEndPoint")).setAsString(channel);
    if (dsIdFactMax->isActive())
        dsIdFactMax->refresh();
    else
        dsIdFactMax->open();
    // The full 64-bit id: cut to 32 bits, an id past 2147483647 would ask for the wrong invoices.
    const FieldRef maxId = dsIdFactMax->fieldByName(QStringLiteral("id_fact_max"));
    const qint64 startId = maxId.isNull() ? 0 : maxId.asInt64();
    try {
        const QString baseUrl = dsConfigQuorvela->fieldByName(QStringLiteral("base_url_quorvela")).asString();
        const QString user = dsConfigQuorvela->fieldByName(QStringLiteral("user_quorvela")).asString();
        const QString password = dsConfigQuorvela->fieldByName(QStringLiteral("pass_quorvela")).asString();
        fProc_Quorvela->getInvoicesId(startId, baseUrl, user, password, channel);
        appendLog(QStringLiteral("Sfarsit preluare facturi %1").arg(channel));
    } catch (const std::exception& e) {
        appendLog(QStringLiteral("Eroare preluare %1 = %2").arg(channel, QString::fromUtf8(e.what())));
    }
}

void TfQuorvelaImportFactCI::ButtonPreiaFactQuorvelaClick() {
    if (dsConfigQuorvela->isActive()) dsConfigQuorvela->close();
    dsConfigQuorvela->open();
    if (dsConfigQuorvela->isEmpty()) throw qv::AppError("Nu aveti configurata tabela config_quorvela.");
    fetchChannel(QStringLiteral("B2B"));
    appendLog(QStringLiteral("----------------------------------"));
    fetchChannel(QStringLiteral("B2C"));
    openOrRefreshList();
}

void TfQuorvelaImportFactCI::moveCurrent(bool wholeList) {
    if (!dsLogQuorvela->isActive() || dsLogQuorvela->isEmpty()) throw qv::AppError(kNoRecords);
    if (!dsLogQuorvela->fieldByName(QStringLiteral("nr_doc_qem")).isNull())
        throw qv::AppError("Factura exista in QEM.");
    const FieldRef idField = dsLogQuorvela->fieldByName(QStringLiteral("id_fact"));
    const qint64 id = idField.asInt64();
    const QString idText = idField.asString();
    const bool hadError = !dsLogQuorvela->fieldByName(QStringLiteral("err_la_import")).isNull();

    // The log row is read only when something is to be written to it: most transfers succeed on a row
    // without an earlier error, and then there is nothing to write. A detail left in edit mode by an
    // earlier failure starts over from the row as stored.
    auto openLogRow = [this] {
        if (dsLogQuorvelaUnu->isActive()) dsLogQuorvelaUnu->close();
        dsLogQuorvelaUnu->open();
    };
    try {
        o_quorvela_fact_ins->paramByName(QStringLiteral("pemitent")).setAsString(dmCon->glUser);
        o_quorvela_fact_ins->paramByName(QStringLiteral("pidfact")).setAsInt64(id);
        o_quorvela_fact_ins->execute();
        appendLog(QStringLiteral("S-a importat factura cu idFact \"%1\"").arg(idText));
        if (hadError) {
            openLogRow();
            dsLogQuorvelaUnu->edit();
            dsLogQuorvelaUnu->setFieldValue(QStringLiteral("err_la_import"), QString());
            dsLogQuorvelaUnu->post();
        }
    } catch (const std::exception& e) {
        const QString message = QString::fromUtf8(e.what());
        const QString line = QStringLiteral("Eroare import idFact \"%1\" - %2").arg(idText, message);
        try {
            openLogRow();
            dsLogQuorvelaUnu->edit();
            dsLogQuorvelaUnu->setFieldValue(QStringLiteral("err_la_import"), message);
            dsLogQuorvelaUnu->post();
        } catch (...) {
            // The error could not be recorded against the row (the server went away, say): the user
            // still learns why this invoice did not move before the operation stops.
            appendLog(line);
            throw;
        }
        appendLog(line);
    }
    if (dsLogQuorvelaUnu->isActive()) dsLogQuorvelaUnu->close();
    if (wholeList)
        dsLogQuorvela->refresh();
    else
        dsLogQuorvela->refreshCurrentKey();
}

void TfQuorvelaImportFactCI::ButtonMutaFactCurentaClick() { moveCurrent(true); }

void TfQuorvelaImportFactCI::ButtonOpresteMutareaClick() { stopRequested_ = true; }

void TfQuorvelaImportFactCI::ButtonMutaToateFacturileClick() {
    if (movingAll_) return;
    if (!dsLogQuorvela->isActive() || dsLogQuorvela->isEmpty()) throw qv::AppError(kNoRecords);
    dsLogQuorvela->refresh();

    // The loop lets the window take clicks between invoices: a second fetch or move started from inside
    // it would step two loops through one focus, so those buttons wait until it ends.
    QPushButton* const busy[] = {ButtonPreiaFactQuorvela, ButtonMutaFactCurenta, ButtonMutaToateFacturile};
    for (QPushButton* b : busy) b->setEnabled(false);
    movingAll_ = true;
    stopRequested_ = false;
    struct Restore {
        TfQuorvelaImportFactCI* w;
        QPushButton* const* buttons;
        ~Restore() {
            for (int i = 0; i < 3; ++i) buttons[i]->setEnabled(true);
            w->movingAll_ = false;
            w->ProgressMutaToate->hide();
            w->ButtonOpresteMutarea->hide();
        }
    } restore{this, busy};

    // One connection for the whole loop instead of one per statement.
    Connection::Hold hold(*dmCon->conQem);

    // The records in the order and under the filter the grid shows now (grouped order when grouped).
    cxGrid1->view()->focusFirst();
    const std::vector<int> order = cxGrid1->view()->records();
    const int n = int(order.size());
    const int idCol = dsLogQuorvela->fieldIndex(QStringLiteral("id_fact"));
    const int chCol = dsLogQuorvela->fieldIndex(QStringLiteral("api_end_point"));
    auto keyOf = [&](int row) {
        std::string k(dsLogQuorvela->rawValue(row, idCol));
        k += '\x1f';
        k += dsLogQuorvela->rawValue(row, chCol);
        return k;
    };
    std::vector<std::string> keys;
    keys.reserve(order.size());
    for (int row : order) keys.push_back(keyOf(row));
    // Rows move only when the list is read whole again (an invoice that now matches two documents): then
    // the records are found again by their keys, once per such read.
    int reads = 0;
    QMetaObject::Connection reread = connect(dsLogQuorvela, &Query::opened, this, [&reads] { ++reads; });
    struct Disconnect {
        QMetaObject::Connection c;
        ~Disconnect() { QObject::disconnect(c); }
    } disconnectLater{reread};
    int seenReads = 0;
    std::unordered_map<std::string, int> rowOfKey;

    ProgressMutaToate->setRange(0, n);
    ProgressMutaToate->setValue(0);
    ProgressMutaToate->show();
    ButtonOpresteMutarea->show();

    const int nrDocCol = dsLogQuorvela->fieldIndex(QStringLiteral("nr_doc_qem"));
    // The window catches up between invoices ten times a second: painting the list and the log after
    // every one of thousands of quick transfers would cost more than the transfers themselves.
    QElapsedTimer sinceEvents;
    sinceEvents.start();
    for (int i = 0; i < n && !stopRequested_; ++i) {
        int row = order[size_t(i)];
        if (reads != seenReads) {
            seenReads = reads;
            rowOfKey.clear();
            for (int r = dsLogQuorvela->recordCount() - 1; r >= 0; --r) rowOfKey[keyOf(r)] = r;
        }
        if (seenReads > 0) {
            auto it = rowOfKey.find(keys[size_t(i)]);
            if (it == rowOfKey.end()) continue;  // gone from the list meanwhile
            row = it->second;
        }
        cxGrid1->view()->focusRecord(row);
        if (dsLogQuorvela->isNull(row, nrDocCol)) moveCurrent(false);
        if (sinceEvents.elapsed() >= 100 || i + 1 == n) {
            ProgressMutaToate->setValue(i + 1);
            QApplication::processEvents();
            sinceEvents.restart();
        }
    }
    if (stopRequested_) appendLog(QStringLiteral("Mutarea a fost oprita de utilizator."));
    dsLogQuorvela->refresh();
}
