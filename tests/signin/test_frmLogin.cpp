// The sign-in dialog driven as the clerk drives it, against the real test servers: a directory database and
// a QEM database made from the demo templates (company "Demo Turism SRL", user "contabil").
#include <gtest/gtest.h>

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

#include "data/u_dmCon.h"
#include "platform/pg/pg.h"
#include "platform/ui/ui.h"
#include "signin/u_frmLogin.h"
#include "qstring_print.h"
#include "testdb.h"

using qv::pg::SslMode;

namespace {

const QString kCompany = QStringLiteral("Demo Turism SRL");
const QString kUser = QStringLiteral("contabil");
const QString kPassword = QStringLiteral("Quorvela-2025");

void pointAt(qv::pg::Connection* con, const qvtest::TempDb& db) {
    con->setServer(QString::fromStdString(db.server().host));
    con->setPort(db.server().port);
    con->setDatabase(QString::fromStdString(db.name()));
}

// What a clerk's typing does to a box: replaces its text as one edit, whatever the script.
void type(QLineEdit* edit, const QString& text) {
    edit->setFocus();
    edit->selectAll();
    edit->insert(text);
}

QByteArray loginFileBytes() {
    QFile f(TfrmLogin::loginFilePath());
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

class FrmLoginTest : public ::testing::Test {
protected:
    void SetUp() override {
        QV_REQUIRE_SERVERS();
        ASSERT_TRUE(config_.isValid());
        qputenv("XDG_CONFIG_HOME", config_.path().toUtf8());
        world = std::make_unique<qvtest::SignInWorld>();
        qv::ui::setMessageSink([this](const QString&, const QString& text) { messages << text; });
        startProgram();
    }

    void TearDown() override {
        stopProgram();
        qv::ui::setMessageSink({});
    }

    // What start-up makes of the sign-in, with the directory connection aimed at the test world.
    void startProgram() {
        dmCon = new TdmCon();
        pointAt(dmCon->conQemMob, world->directory);
        frmLogin = new TfrmLogin();
        frmLogin->setApplicationName(QStringLiteral("wquorvela"));
    }

    void stopProgram() {
        delete frmLogin;
        frmLogin = nullptr;
        delete dmCon;
        dmCon = nullptr;
    }

    void restartProgram() {
        stopProgram();
        startProgram();
    }

    // One attempt: the dialog shown (if it is not already), the three boxes typed, "Login" clicked. True
    // when the dialog closed with OK; the messages shown are in `messages`.
    bool signIn(const QString& company, const QString& user, const QString& password) {
        messages.clear();
        if (!frmLogin->isVisible()) frmLogin->show();
        frmLogin->setResult(0);
        type(frmLogin->Edit1, company);
        type(frmLogin->Edit2, user);
        type(frmLogin->Edit3, password);
        QTest::mouseClick(frmLogin->Button1, Qt::LeftButton);
        return frmLogin->result() == QDialog::Accepted && !frmLogin->isVisible();
    }

    QTemporaryDir config_;
    std::unique_ptr<qvtest::SignInWorld> world;
    QStringList messages;
};

}  // namespace

TEST_F(FrmLoginTest, SuccessFillsTheSignInFieldsAndPointsConQemAtTheCompany) {
    ASSERT_TRUE(signIn(kCompany, kUser, kPassword)) << messages.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(messages.isEmpty());

    EXPECT_EQ(dmCon->glNumeFirma, kCompany);
    EXPECT_EQ(dmCon->glUser, kUser);
    EXPECT_EQ(dmCon->glUserPass, kPassword);
    EXPECT_EQ(dmCon->glDataBase, QString::fromStdString(world->qem.name()));
    EXPECT_EQ(dmCon->glUserRol, QStringLiteral("admin"));
    EXPECT_EQ(dmCon->glEuPL, QStringLiteral("Sediu"));
    EXPECT_EQ(dmCon->glJasIP, QStringLiteral("192.168.10.5:8080"));
    EXPECT_EQ(dmCon->glJasProtocol, QStringLiteral("http"));

    EXPECT_EQ(frmLogin->Edit3->text(), QString());
    EXPECT_EQ(frmLogin->Edit1->text(), kCompany);
    EXPECT_EQ(frmLogin->Edit2->text(), kUser);

    EXPECT_EQ(dmCon->conQem->server(), QString::fromStdString(world->qem.server().host));
    EXPECT_EQ(dmCon->conQem->port(), world->qem.server().port);
    EXPECT_EQ(dmCon->conQem->database(), QString::fromStdString(world->qem.name()));
    EXPECT_EQ(dmCon->conQem->sslMode(), SslMode::Prefer);

    EXPECT_TRUE(dmCon->dsEu->isActive());
    EXPECT_TRUE(dmCon->dsAplicatieMobEmitent->isActive());
    EXPECT_FALSE(dmCon->dsEmitent->isActive());
    EXPECT_FALSE(dmCon->dsAplicatieMob->isActive());
    EXPECT_FALSE(frmLogin->dsQemMobil->isActive());

    // A second sign-in in the same run refreshes dsEu in place and reads it again.
    world->qem.exec("UPDATE eu SET jas_ip = NULL");
    ASSERT_TRUE(signIn(kCompany, kUser, kPassword)) << messages.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(dmCon->glJasIP, QString());
    EXPECT_EQ(dmCon->glJasProtocol, QStringLiteral("https"));
}

TEST_F(FrmLoginTest, EachRefusalShowsItsMessageAndKeepsTheDialogAsTyped) {
    struct Case {
        const char* what;
        const char* qemSql;     // run on the QEM database before the attempt
        QString company;
        QString password;
        QString message;        // as the error box shows it
        bool companyFound;      // conQem re-pointed
        bool userFieldsSet;     // glUser, glUserPass, glDataBase, glUserRol, glEuPL written
    } cases[] = {
        {"unknown company", "", QStringLiteral("Demo Turism"), kPassword, QStringLiteral("Companie inexistenta."),
         false, false},
        {"wrong password", "", kCompany, QStringLiteral("quorvela-2025"), QStringLiteral("User, Password eronate."),
         true, false},
        {"application switched off", "UPDATE aplicatie_mob SET activ = false", kCompany, kPassword,
         QStringLiteral("Aplicatia wquorvela nu este disponibila."), true, false},
        {"user without the application", "DELETE FROM aplicatie_mob_emitent", kCompany, kPassword,
         QStringLiteral("Aplicatia wquorvela nu este disponibila pentru user-ul contabil."), true, false},
        {"emitent lacks a declared column", "ALTER TABLE emitent DROP COLUMN lang", kCompany, kPassword,
         QStringLiteral("dsEmitent: Field 'lang' not found."), true, false},
        {"eu lacks a declared column", "ALTER TABLE eu DROP COLUMN jas_ip", kCompany, kPassword,
         QStringLiteral("dsEu: Field 'jas_ip' not found."), true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        world = std::make_unique<qvtest::SignInWorld>();
        restartProgram();
        if (*c.qemSql) world->qem.exec(c.qemSql);

        EXPECT_FALSE(signIn(c.company, kUser, c.password));
        EXPECT_EQ(messages, QStringList{c.message});
        EXPECT_TRUE(frmLogin->isVisible());
        EXPECT_EQ(frmLogin->Edit1->text(), c.company);
        EXPECT_EQ(frmLogin->Edit2->text(), kUser);
        EXPECT_EQ(frmLogin->Edit3->text(), c.password);

        EXPECT_EQ(dmCon->glNumeFirma, c.company);
        const QString ifSet = c.userFieldsSet ? kUser : QString();
        EXPECT_EQ(dmCon->glUser, ifSet);
        EXPECT_EQ(dmCon->glUserPass, c.userFieldsSet ? c.password : QString());
        EXPECT_EQ(dmCon->glDataBase, c.userFieldsSet ? QString::fromStdString(world->qem.name()) : QString());
        EXPECT_EQ(dmCon->glUserRol, c.userFieldsSet ? QStringLiteral("admin") : QString());
        EXPECT_EQ(dmCon->glEuPL, c.userFieldsSet ? QStringLiteral("Sediu") : QString());
        EXPECT_EQ(dmCon->glJasIP, QString());
        EXPECT_EQ(dmCon->glJasProtocol, QString());

        if (c.companyFound) {
            EXPECT_EQ(dmCon->conQem->database(), QString::fromStdString(world->qem.name()));
            EXPECT_EQ(dmCon->conQem->sslMode(), SslMode::Prefer);
        } else {
            EXPECT_EQ(dmCon->conQem->server(), QStringLiteral("192.168.1.100"));
            EXPECT_EQ(dmCon->conQem->database(), QStringLiteral("qem1"));
            EXPECT_EQ(dmCon->conQem->sslMode(), SslMode::Require);
        }
        EXPECT_FALSE(dmCon->dsEmitent->isActive());
        EXPECT_FALSE(dmCon->dsAplicatieMob->isActive());
        EXPECT_FALSE(frmLogin->dsQemMobil->isActive());
        frmLogin->hide();
    }
}

TEST_F(FrmLoginTest, ConQemFollowsTheLastCompanyFound) {
    world->directory.exec(
        "INSERT INTO m_firma (nume_firma, ip, port, db_name, activ, m_site, pw_hash_type) "
        "SELECT 'Alta Firma SRL', ip, port, 'qem_alta', activ, m_site, pw_hash_type FROM m_firma");

    EXPECT_FALSE(signIn(kCompany, kUser, QStringLiteral("wrong")));
    EXPECT_EQ(messages, QStringList{QStringLiteral("User, Password eronate.")});
    EXPECT_EQ(dmCon->conQem->database(), QString::fromStdString(world->qem.name()));

    // Not found: conQem keeps the company of the attempt before.
    EXPECT_FALSE(signIn(QStringLiteral("Nimeni SRL"), kUser, kPassword));
    EXPECT_EQ(messages, QStringList{QStringLiteral("Companie inexistenta.")});
    EXPECT_EQ(dmCon->conQem->database(), QString::fromStdString(world->qem.name()));

    // Found, but its database does not exist: conQem points at it all the same.
    EXPECT_FALSE(signIn(QStringLiteral("Alta Firma SRL"), kUser, kPassword));
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains(QStringLiteral("qem_alta"))) << messages[0].toStdString();
    EXPECT_EQ(dmCon->conQem->database(), QStringLiteral("qem_alta"));
    EXPECT_FALSE(frmLogin->dsQemMobil->isActive());

    ASSERT_TRUE(signIn(kCompany, kUser, kPassword)) << messages.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(dmCon->conQem->database(), QString::fromStdString(world->qem.name()));
}

TEST_F(FrmLoginTest, PasswordIsHashedOnlyUnderExactlyHashSHA2) {
    const QString unicode = QString::fromUtf8("Parol\xC4\x83 \xC8\x99i \xF0\x9F\x94\x91");
    const QString storedDigest = QString::fromStdString(
        world->qem.exec("SELECT operator_parola FROM emitent WHERE emitent = 'contabil'"));
    ASSERT_EQ(storedDigest.size(), 64);
    struct Case {
        const char* hashType;   // SQL literal
        std::string stored;     // SQL expression for operator_parola
        QString typed;
        bool accepted;
    } cases[] = {
        {"'HashSHA2'", "encode(sha256(convert_to('Quorvela-2025', 'UTF8')), 'hex')", kPassword, true},
        {"'HashSHA2'", "encode(sha256(''::bytea), 'hex')", QString(), true},
        {"'HashSHA2'", "encode(sha256(convert_to($p$" + unicode.toStdString() + "$p$, 'UTF8')), 'hex')", unicode,
         true},
        // The digest itself typed is hashed again, so it does not match.
        {"'HashSHA2'", "encode(sha256(convert_to('Quorvela-2025', 'UTF8')), 'hex')", storedDigest, false},
        {"'hashsha2'", "'Quorvela-2025'", kPassword, true},
        {"'hashsha2'", "encode(sha256(convert_to('Quorvela-2025', 'UTF8')), 'hex')", kPassword, false},
        {"'HashSHA2 '", "'Quorvela-2025'", kPassword, true},
        {"NULL", "'Quorvela-2025'", kPassword, true},
        {"NULL", "''", QString(), true},
        {"''", "'Parola '", QStringLiteral("Parola "), true},
        {"''", "'Parola '", QStringLiteral("Parola"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.hashType) + " " + c.stored + " typed [" + c.typed.toStdString() + "]");
        world->directory.exec(std::string("UPDATE m_firma SET pw_hash_type = ") + c.hashType);
        world->qem.exec("UPDATE emitent SET operator_parola = " + c.stored + " WHERE emitent = 'contabil'");
        const bool ok = signIn(kCompany, kUser, c.typed);
        EXPECT_EQ(ok, c.accepted) << messages.join(QLatin1Char('|')).toStdString();
        if (!c.accepted) {
            EXPECT_EQ(messages, QStringList{QStringLiteral("User, Password eronate.")});
        }
        if (ok) {
            EXPECT_EQ(dmCon->glUserPass, c.typed);   // kept as typed, never the digest
        }
    }
}

TEST_F(FrmLoginTest, NamesAreDataNeverPatternsOrSql) {
    const QString oddCompany = QStringLiteral("O'Brien \"Fiii\" \\ 100% _Test_; DROP TABLE m_firma; --");
    const QString oddUser = QStringLiteral("'; DELETE FROM emitent; -- \\%_");
    world->directory.exec(
        "INSERT INTO m_firma (nume_firma, ip, port, db_name, activ, m_site, pw_hash_type) "
        "SELECT $n$" + oddCompany.toStdString() + "$n$, ip, port, db_name, activ, m_site, pw_hash_type FROM m_firma");
    world->qem.exec("INSERT INTO emitent (emitent, operator_parola, eu_punct_lucru) VALUES ($n$" +
                    oddUser.toStdString() + "$n$, encode(sha256(convert_to('p', 'UTF8')), 'hex'), 'Depozit');"
                    "INSERT INTO aplicatie_mob_emitent (aplicatie_mob, emitent, rol) VALUES ('wquorvela', $n$" +
                    oddUser.toStdString() + "$n$, 'operator')");
    struct Case {
        QString company, user, password, message;   // no message: signed in
    } cases[] = {
        {oddCompany, oddUser, QStringLiteral("p"), QString()},
        {QStringLiteral("Demo Turism SR_"), kUser, kPassword, QStringLiteral("Companie inexistenta.")},
        {QStringLiteral("Demo%"), kUser, kPassword, QStringLiteral("Companie inexistenta.")},
        {kCompany + QLatin1Char(' '), kUser, kPassword, QStringLiteral("Companie inexistenta.")},
        {kCompany.toLower(), kUser, kPassword, QStringLiteral("Companie inexistenta.")},
        {kCompany, QStringLiteral("Contabil"), kPassword, QStringLiteral("User, Password eronate.")},
        {kCompany, kUser + QLatin1Char(' '), kPassword, QStringLiteral("User, Password eronate.")},
        {kCompany, QStringLiteral("%"), kPassword, QStringLiteral("User, Password eronate.")},
        {kCompany, QStringLiteral("' OR ''='"), QStringLiteral("' OR ''='"), QStringLiteral("User, Password eronate.")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.company.toStdString() + " / " + c.user.toStdString());
        const bool ok = signIn(c.company, c.user, c.password);
        if (c.message.isEmpty()) {
            EXPECT_TRUE(ok) << messages.join(QLatin1Char('|')).toStdString();
            EXPECT_EQ(dmCon->glUser, c.user);
            EXPECT_EQ(dmCon->glNumeFirma, c.company);
            EXPECT_EQ(dmCon->glUserRol, QStringLiteral("operator"));
        } else {
            EXPECT_FALSE(ok);
            EXPECT_EQ(messages, QStringList{c.message});
        }
    }
    EXPECT_EQ(world->directory.exec("SELECT count(*) FROM m_firma"), "2");
    EXPECT_EQ(world->qem.exec("SELECT count(*) FROM emitent"), "2");
}

TEST_F(FrmLoginTest, RememberedNamesSurviveAnyOutcomeAndARestart) {
    frmLogin->show();
    EXPECT_EQ(frmLogin->Edit1->text(), QString());   // first run: no file yet
    EXPECT_EQ(frmLogin->Edit2->text(), QString());
    EXPECT_FALSE(QFile::exists(TfrmLogin::loginFilePath()));

    const QString company = QString::fromUtf8("\xC8\x98tef\xC4\x83nescu & Fiii \xF0\x9F\x9A\x8C SRL");
    const QString user = QString::fromUtf8("ionu\xC8\x9B");
    const QString password = QStringLiteral("Secret-Parola-9");
    EXPECT_FALSE(signIn(company, user, password));
    EXPECT_EQ(messages, QStringList{QStringLiteral("Companie inexistenta.")});
    const QByteArray bytes = loginFileBytes();
    EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBF"));
    EXPECT_TRUE(bytes.contains(company.toUtf8()));
    EXPECT_FALSE(bytes.contains(password.toUtf8()));

    restartProgram();
    frmLogin->show();
    EXPECT_EQ(frmLogin->Edit1->text(), company);
    EXPECT_EQ(frmLogin->Edit2->text(), user);
    EXPECT_EQ(frmLogin->Edit3->text(), QString());

    ASSERT_TRUE(signIn(kCompany, kUser, kPassword)) << messages.join(QLatin1Char('|')).toStdString();
    EXPECT_FALSE(loginFileBytes().contains(kPassword.toUtf8()));
    restartProgram();
    frmLogin->show();
    EXPECT_EQ(frmLogin->Edit1->text(), kCompany);
    EXPECT_EQ(frmLogin->Edit2->text(), kUser);
}

TEST_F(FrmLoginTest, EachShowReloadsTheRememberedNames) {
    ASSERT_FALSE(signIn(kCompany, kUser, QStringLiteral("wrong")));
    type(frmLogin->Edit1, QStringLiteral("Typed but never tried"));
    type(frmLogin->Edit2, QStringLiteral("nobody"));
    frmLogin->close();

    frmLogin->show();
    EXPECT_EQ(frmLogin->Edit1->text(), kCompany);
    EXPECT_EQ(frmLogin->Edit2->text(), kUser);
    EXPECT_EQ(frmLogin->Edit3->text(), QStringLiteral("wrong"));   // not remembered, merely left in its box
}

TEST_F(FrmLoginTest, DamagedFileGivesEmptyBoxesAndIsRewrittenByTheNextAttempt) {
    QFile f(TfrmLogin::loginFilePath());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("\xEF\xBB\xBF{\"FDBS\":{\"table\":\"dsLogin\",\"rows\":[{\"company\":\"Demo Tur");
    f.close();

    frmLogin->show();
    EXPECT_EQ(frmLogin->Edit1->text(), QString());
    EXPECT_EQ(frmLogin->Edit2->text(), QString());
    EXPECT_TRUE(messages.isEmpty());

    ASSERT_TRUE(signIn(kCompany, kUser, kPassword)) << messages.join(QLatin1Char('|')).toStdString();
    restartProgram();
    frmLogin->show();
    EXPECT_EQ(frmLogin->Edit1->text(), kCompany);
    EXPECT_EQ(frmLogin->Edit2->text(), kUser);
}

TEST_F(FrmLoginTest, DirectoryConnectionFaultsShowTheLayersTextAndTheDialogStaysUsable) {
    qvtest::SignInWorld plain(qvtest::plainServer());
    struct Case {
        const char* what;
        std::function<void()> aim;
        QString message;        // exact, or
        QString contains;       // part of libpq's own text
    } cases[] = {
        {"server without TLS", [&] { pointAt(dmCon->conQemMob, plain.directory); },
         QStringLiteral("SSL connection is not allowed."), QString()},
        {"nothing listening",
         [&] {
             dmCon->conQemMob->setServer(QStringLiteral("127.0.0.1"));
             dmCon->conQemMob->setPort(1);
         },
         QString(), QStringLiteral("Connection refused")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.aim();
        EXPECT_FALSE(signIn(kCompany, kUser, kPassword));
        ASSERT_EQ(messages.size(), 1);
        if (!c.message.isEmpty()) {
            EXPECT_EQ(messages[0], c.message);
        }
        if (!c.contains.isEmpty()) {
            EXPECT_TRUE(messages[0].contains(c.contains)) << messages[0].toStdString();
        }
        EXPECT_TRUE(frmLogin->isVisible());
        EXPECT_EQ(dmCon->glNumeFirma, kCompany);
        EXPECT_EQ(dmCon->glUser, QString());
        EXPECT_EQ(dmCon->conQem->database(), QStringLiteral("qem1"));
        EXPECT_FALSE(frmLogin->dsQemMobil->isActive());
    }
    pointAt(dmCon->conQemMob, world->directory);
    EXPECT_TRUE(signIn(kCompany, kUser, kPassword)) << messages.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(dmCon->conQemMob->usesSsl());
}

TEST_F(FrmLoginTest, KeyboardFocusAndClosing) {
    frmLogin->show();
    frmLogin->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frmLogin));
    EXPECT_EQ(frmLogin->focusWidget(), frmLogin->Edit3);

    // Tab order: password, Login, company, user, and round again.
    QList<QWidget*> order;
    QWidget* w = frmLogin->Edit3;
    do {
        if (w->focusPolicy() & Qt::TabFocus) order << w;
        w = w->nextInFocusChain();
    } while (w != frmLogin->Edit3);
    EXPECT_EQ(order, (QList<QWidget*>{frmLogin->Edit3, frmLogin->Button1, frmLogin->Edit1, frmLogin->Edit2}));

    QTest::keyClicks(frmLogin->Edit3, QStringLiteral("abc"));
    EXPECT_EQ(frmLogin->Edit3->displayText(), QStringLiteral("***"));
    frmLogin->Edit3->clear();

    // Enter in any box presses Login.
    QTest::keyClicks(frmLogin->Edit1, kCompany);
    QTest::keyClicks(frmLogin->Edit2, kUser);
    QTest::keyClicks(frmLogin->Edit3, QStringLiteral("wrong"));
    for (QLineEdit* box : {frmLogin->Edit1, frmLogin->Edit2, frmLogin->Edit3}) {
        messages.clear();
        QTest::keyClick(box, Qt::Key_Return);
        EXPECT_EQ(messages, QStringList{QStringLiteral("User, Password eronate.")}) << box->objectName().toStdString();
    }

    // Escape does nothing; the close box ends the dialog without OK.
    QTest::keyClick(frmLogin->Edit3, Qt::Key_Escape);
    EXPECT_TRUE(frmLogin->isVisible());
    frmLogin->Edit1->setFocus();
    frmLogin->close();
    EXPECT_FALSE(frmLogin->isVisible());
    EXPECT_NE(frmLogin->result(), int(QDialog::Accepted));

    // Shown modally again: the focus is where it was left, and the close box ends exec() without OK.
    QWidget* focusOnShow = nullptr;
    bool visibleAfterEscape = false;
    QTimer::singleShot(0, frmLogin, [&] {
        focusOnShow = frmLogin->focusWidget();
        QTest::keyClick(frmLogin->Edit1, Qt::Key_Escape);
        visibleAfterEscape = frmLogin->isVisible();
        frmLogin->close();
    });
    EXPECT_NE(frmLogin->exec(), int(QDialog::Accepted));
    EXPECT_EQ(focusOnShow, frmLogin->Edit1);
    EXPECT_TRUE(visibleAfterEscape);

    // Enter in the password box signs in.
    QTimer::singleShot(0, frmLogin, [&] {
        type(frmLogin->Edit3, kPassword);
        QTest::keyClick(frmLogin->Edit3, Qt::Key_Enter);
    });
    EXPECT_EQ(frmLogin->exec(), int(QDialog::Accepted)) << messages.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(dmCon->glUser, kUser);
}
