#include "signin/u_frmLogin.h"

#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "data/declared_fields.h"
#include "data/u_dmCon.h"
#include "platform/error.h"
#include "platform/pg/pg.h"
#include "platform/ui/ui.h"
#include "signin/memtable.h"
#include "signin/signin_rules.h"

TfrmLogin* frmLogin = nullptr;

using qv::AppError;
using qv::pg::SslMode;
using namespace qv::ui;

namespace {
QLabel* makeLabel(const char* name, const char* text, QWidget* parent, int left, int top) {
    auto* l = new QLabel(QString::fromLatin1(text), parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setFont(QFont(QStringLiteral("Tahoma"), 9));
    place(l, left, top);
    return l;
}

QLineEdit* makeEdit(const char* name, QWidget* parent, int top) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    place(e, 77, top, 268, 21);
    return e;
}
}  // namespace

TfrmLogin::TfrmLogin(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmLogin"));
    setWindowTitle(QStringLiteral("frmLogin"));
    setFont(QFont(QStringLiteral("Tahoma"), 8));
    setClientSize(this, 362, 158);

    Label1 = makeLabel("Label1", "Company", this, 16, 24);
    Label2 = makeLabel("Label2", "UserName", this, 16, 56);
    Label3 = makeLabel("Label3", "Password", this, 16, 88);
    Edit1 = makeEdit("Edit1", this, 22);
    Edit2 = makeEdit("Edit2", this, 54);
    Edit3 = makeEdit("Edit3", this, 86);
    Edit3->setEchoMode(QLineEdit::Password);
    // The echo character of QLineEdit follows the style; the clerk is used to stars.
    Edit3->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));
    Button1 = new QPushButton(QStringLiteral("Login"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    place(Button1, 77, 120, 75, 30);
    Button1->setDefault(true);

    // The password comes first: company and user are usually remembered from the last time.
    setTabOrder(Edit3, Button1);
    setTabOrder(Button1, Edit1);
    setTabOrder(Edit1, Edit2);

    dsQemMobil = new qv::pg::Query(QStringLiteral("dsQemMobil"), dmCon->conQemMob, this);
    dsQemMobil->setSql({QStringLiteral("select *"), QStringLiteral("from m_firma"),
                        QStringLiteral("where nume_firma = :pNumeFirma"), QStringLiteral(";")});
    qv::pg::declareFields(*dsQemMobil, qv::data::kQemMobilFields);

    dsLogin = new qv::signin::MemTable(QStringLiteral("dsLogin"), this);
    dsLogin->addField(QStringLiteral("company"), 200);
    dsLogin->addField(QStringLiteral("username"), 200);
    new qv::signin::EditLink(Edit1, dsLogin, QStringLiteral("company"));
    new qv::signin::EditLink(Edit2, dsLogin, QStringLiteral("username"));

    // A failed attempt shows its message and leaves the dialog open for the next one.
    connect(Button1, &QPushButton::clicked, this, [this] { guarded([this] { Button1Click(); }); });
}

QString TfrmLogin::applicationName() const { return applicationName_ ? *applicationName_ : qv::ui::applicationName(); }

QString TfrmLogin::loginFilePath() { return appDataFolder() + QStringLiteral("/QemDorup.json"); }

void TfrmLogin::showEvent(QShowEvent* event) {
    // A window restored by the desktop is not a new show; reloading then would drop what was typed.
    if (event->spontaneous()) {
        QDialog::showEvent(event);
        return;
    }
    // Loading before the dialog paints, so the boxes never flash the previous contents.
    guarded([this] { FormShow(); });
    QDialog::showEvent(event);
    QWidget* target = shownBefore_ && lastFocus_ ? lastFocus_ : Edit3;
    shownBefore_ = true;
    target->setFocus(Qt::OtherFocusReason);
}

void TfrmLogin::hideEvent(QHideEvent* event) {
    if (QWidget* w = focusWidget()) lastFocus_ = w;
    QDialog::hideEvent(event);
}

void TfrmLogin::keyPressEvent(QKeyEvent* event) {
    // No Cancel: Escape must not end the dialog; only the close box does.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TfrmLogin::FormShow() {
    const QString path = loginFilePath();
    // A damaged file only costs the clerk retyping two names; it is no reason to stop the sign-in.
    if (QFile::exists(path)) dsLogin->loadFromFile(path);
    dsLogin->open();
}

void TfrmLogin::Button1Click() {
    // Remember the names first, so they are there next time whatever happens below.
    dsLogin->saveToFile(loginFilePath());

    dmCon->glNumeFirma = Edit1->text();
    dmCon->conQemMob->setSslMode(SslMode::Require);
    dsQemMobil->paramByName(QStringLiteral("pNumeFirma")).setAsString(Edit1->text());
    dsQemMobil->open();

    auto closeSignInQueries = [this] {
        dmCon->dsAplicatieMob->close();
        dmCon->dsEmitent->close();
        dsQemMobil->close();
    };
    try {
        if (dsQemMobil->isEmpty()) throw AppError("Companie inexistenta");

        qv::pg::Connection* conQem = dmCon->conQem;
        conQem->setServer(dsQemMobil->fieldByName(QStringLiteral("ip")).asString());
        conQem->setPort(dsQemMobil->fieldByName(QStringLiteral("port")).asInteger());
        conQem->setDatabase(dsQemMobil->fieldByName(QStringLiteral("db_name")).asString());
        conQem->setSslMode(SslMode::Prefer);

        qv::pg::Query* dsEmitent = dmCon->dsEmitent;
        dsEmitent->close();
        dsEmitent->paramByName(QStringLiteral("pEmitent")).setAsString(Edit2->text());
        dsEmitent->paramByName(QStringLiteral("pP"))
            .setAsString(qv::signin::passwordForServer(
                Edit3->text(), dsQemMobil->fieldByName(QStringLiteral("pw_hash_type")).asString()));
        dsEmitent->open();
        if (dsEmitent->isEmpty()) throw AppError("User, Password eronate");

        const QString appName = applicationName();
        qv::pg::Query* dsAplicatieMob = dmCon->dsAplicatieMob;
        dsAplicatieMob->close();
        dsAplicatieMob->paramByName(QStringLiteral("pAplicatieMob")).setAsString(appName);
        dsAplicatieMob->open();
        if (dsAplicatieMob->isEmpty())
            throw AppError(QStringLiteral("Aplicatia ") + appName + QStringLiteral(" nu este disponibila"));

        qv::pg::Query* dsAplicatieMobEmitent = dmCon->dsAplicatieMobEmitent;
        dsAplicatieMobEmitent->close();
        dsAplicatieMobEmitent->paramByName(QStringLiteral("pEmitent")).setAsString(Edit2->text());
        dsAplicatieMobEmitent->paramByName(QStringLiteral("pAplicatieMob")).setAsString(appName);
        dsAplicatieMobEmitent->open();
        if (dsAplicatieMobEmitent->isEmpty())
            throw AppError(QStringLiteral("Aplicatia ") + appName +
                           QStringLiteral(" nu este disponibila pentru user-ul ") + Edit2->text());

        dmCon->glUser = Edit2->text();
        dmCon->glUserPass = Edit3->text();
        dmCon->glDataBase = dsQemMobil->fieldByName(QStringLiteral("db_name")).asString();
        dmCon->glUserRol = dsAplicatieMobEmitent->fieldByName(QStringLiteral("rol")).asString();
        dmCon->glEuPL = dsEmitent->fieldByName(QStringLiteral("eu_punct_lucru")).asString();

        if (dmCon->dsEu->isActive())
            dmCon->dsEu->refresh();
        else
            dmCon->dsEu->open();
        dmCon->glJasIP = dmCon->dsEu->fieldByName(QStringLiteral("jas_ip")).asString();
        dmCon->glJasProtocol = qv::signin::jasProtocolFor(dmCon->glJasIP);

        Edit3->clear();
        accept();
    } catch (...) {
        closeSignInQueries();
        throw;
    }
    closeSignInQueries();
}
