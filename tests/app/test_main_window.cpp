// The main window's two states, reached through the real start-up and sign-in dialog, and the error box
// that an exception escaping a handler produces.
#include <gtest/gtest.h>

#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>
#include <ostream>

#include "app/startup.h"
#include "app/u_fMenuQuorvela.h"
#include "data/u_dmCon.h"
#include "platform/error.h"
#include "platform/ui/ui.h"
#include "signin/u_frmLogin.h"
#include "testdb.h"

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

const QString kCompany = QStringLiteral("Demo Turism SRL");
const QString kUser = QStringLiteral("contabil");
const QString kPassword = QStringLiteral("Quorvela-2025");

void type(QLineEdit* edit, const QString& text) {
    edit->setFocus();
    edit->selectAll();
    edit->insert(text);
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(config_.isValid());
        qputenv("XDG_CONFIG_HOME", config_.path().toUtf8());
        qv::ui::setMessageSink([this](const QString&, const QString& text) { messages << text; });
        createApplicationObjects();
        frmLogin->setApplicationName(QStringLiteral("wquorvela"));
        fMenuQuorvela->show();
    }

    void TearDown() override {
        destroyApplicationObjects();
        qv::ui::setMessageSink({});
    }

    // Aims the directory connection at a demo world on the test servers.
    void useWorld() {
        world = std::make_unique<qvtest::SignInWorld>();
        useDirectory(world->directory);
    }
    void useDirectory(const qvtest::TempDb& db) {
        dmCon->conQemMob->setServer(QString::fromStdString(db.server().host));
        dmCon->conQemMob->setPort(db.server().port);
        dmCon->conQemMob->setDatabase(QString::fromStdString(db.name()));
    }

    // Presses "Login" in the main window; `inDialog` runs once the modal dialog is up.
    void pressLogin(std::function<void()> inDialog) {
        bool ran = false;
        QTimer::singleShot(0, frmLogin, [&] {
            ran = true;
            inDialog();
        });
        QTest::mouseClick(fMenuQuorvela->ButtonLogin, Qt::LeftButton);
        ASSERT_TRUE(ran);
        ASSERT_FALSE(frmLogin->isVisible());
    }

    void expectSignedOut() {
        EXPECT_TRUE(fMenuQuorvela->PanelLogin->isVisible());
        EXPECT_FALSE(fMenuQuorvela->PanelMenu->isVisible());
        EXPECT_TRUE(fMenuQuorvela->ButtonLogin->isVisible());
        EXPECT_TRUE(fMenuQuorvela->ButtonLogin->isEnabled());
    }

    QTemporaryDir config_;
    std::unique_ptr<qvtest::SignInWorld> world;
    QStringList messages;
};

// Throws from its event handler, as a window's handler would.
class Thrower : public QObject {
public:
    explicit Thrower(QString message) : message_(std::move(message)) {}
    bool event(QEvent* e) override {
        if (e->type() == QEvent::User) throw qv::AppError(message_);
        return QObject::event(e);
    }

private:
    QString message_;
};

}  // namespace

TEST_F(MainWindowTest, StartsSignedOutWithEveryFieldEmpty) {
    expectSignedOut();
    // The login strip sits at the top of the window, its button where the window places it.
    fMenuQuorvela->show();
    EXPECT_EQ(fMenuQuorvela->PanelLogin->geometry(), QRect(0, 0, 351, 46));
    EXPECT_EQ(fMenuQuorvela->ButtonLogin->mapTo(fMenuQuorvela, QPoint(0, 0)), QPoint(16, 8));
    EXPECT_FALSE(frmLogin->isVisible());
    for (const QString* f : {&dmCon->glNumeFirma, &dmCon->glUser, &dmCon->glUserPass, &dmCon->glDataBase,
                             &dmCon->glUserRol, &dmCon->glEuPL, &dmCon->glJasIP, &dmCon->glJasProtocol})
        EXPECT_EQ(*f, QString());
}

TEST_F(MainWindowTest, OnlyASuccessfulSignInSwitchesToTheMenu) {
    QV_REQUIRE_SERVERS();
    useWorld();
    pressLogin([&] {
        type(frmLogin->Edit1, kCompany);
        type(frmLogin->Edit2, kUser);
        type(frmLogin->Edit3, QStringLiteral("wrong"));
        QTest::mouseClick(frmLogin->Button1, Qt::LeftButton);
        // The failed attempt leaves the dialog up and the main window as it was.
        EXPECT_EQ(messages, QStringList{QStringLiteral("User, Password eronate.")});
        EXPECT_TRUE(frmLogin->isVisible());
        expectSignedOut();
        type(frmLogin->Edit3, kPassword);
        QTest::mouseClick(frmLogin->Button1, Qt::LeftButton);
    });
    EXPECT_FALSE(fMenuQuorvela->PanelLogin->isVisible());
    EXPECT_TRUE(fMenuQuorvela->PanelMenu->isVisible());
    EXPECT_EQ(fMenuQuorvela->PanelMenu->geometry(), fMenuQuorvela->rect());   // fills the client area
    EXPECT_EQ(fMenuQuorvela->LabelDataBase->text(), QString::fromStdString(world->qem.name()));
    EXPECT_EQ(fMenuQuorvela->LabelUser->text(), QStringLiteral("User contabil"));
}

TEST_F(MainWindowTest, ClosingTheDialogLeavesTheWindowSignedOutAndLoginUsable) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        SCOPED_TRACE(attempt);
        bool shown = false;
        pressLogin([&] {
            shown = frmLogin->isVisible();
            frmLogin->close();
        });
        EXPECT_TRUE(shown);
        expectSignedOut();
        EXPECT_EQ(fMenuQuorvela->LabelUser->text(), QString());
    }
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(MainWindowTest, ALongDatabaseNameWrapsAndTheLabelGrowsDownward) {
    QV_REQUIRE_SERVERS();
    useWorld();
    // Wrapping happens between words, as database names with blanks have them.
    const std::string longName = "QEM Demo Turism Brasov " + world->qem.name();
    qvtest::adminExec(world->qem.server(), "postgres",
                      "CREATE DATABASE \"" + longName + "\" TEMPLATE " + world->qem.name() + " OWNER qem");
    world->directory.exec("UPDATE m_firma SET db_name = '" + longName + "'");
    const int oneLine = fMenuQuorvela->LabelDataBase->fontMetrics().height();

    pressLogin([&] {
        type(frmLogin->Edit1, kCompany);
        type(frmLogin->Edit2, kUser);
        type(frmLogin->Edit3, kPassword);
        QTest::mouseClick(frmLogin->Button1, Qt::LeftButton);
    });
    qvtest::adminExec(world->qem.server(), "postgres", "DROP DATABASE IF EXISTS \"" + longName + "\" WITH (FORCE)");

    ASSERT_TRUE(fMenuQuorvela->PanelMenu->isVisible()) << messages.join(QLatin1Char('|')).toStdString();
    QLabel* label = fMenuQuorvela->LabelDataBase;
    EXPECT_EQ(label->text(), QString::fromStdString(longName));
    EXPECT_EQ(label->width(), 81);
    EXPECT_EQ(label->x(), 6);
    EXPECT_EQ(label->y(), 2);
    EXPECT_GT(label->height(), 2 * oneLine);
}

TEST_F(MainWindowTest, AHandlerExceptionShowsItsMessageWithTheFullStopRule) {
    struct Case {
        QString message, shown;
    } cases[] = {
        {QStringLiteral("Companie inexistenta"), QStringLiteral("Companie inexistenta.")},
        {QStringLiteral("Deja cu punct."), QStringLiteral("Deja cu punct.")},
        {QStringLiteral("se termina cu -"), QStringLiteral("se termina cu -")},   // '-' is below '.'
        {QStringLiteral("se termina cu ,"), QStringLiteral("se termina cu ,")},
        {QStringLiteral("Field 'x'"), QStringLiteral("Field 'x'")},
        {QStringLiteral("(ceva)"), QStringLiteral("(ceva)")},
        {QStringLiteral("spatiu "), QStringLiteral("spatiu ")},
        {QStringLiteral("cale /"), QStringLiteral("cale /.")},                     // '/' is just above
        {QStringLiteral("cod 500"), QStringLiteral("cod 500.")},
        {QStringLiteral("Found 0 records:"), QStringLiteral("Found 0 records:.")},
        {QString::fromUtf8("gre\xC8\x99it"), QString::fromUtf8("gre\xC8\x99it.")},
        {QString::fromUtf8("emoji \xF0\x9F\x99\x82"), QString::fromUtf8("emoji \xF0\x9F\x99\x82.")},
        {QString(), QString()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message.toStdString());
        messages.clear();
        Thrower handler(c.message);
        QEvent e(QEvent::User);
        EXPECT_NO_THROW(QCoreApplication::sendEvent(&handler, &e));
        EXPECT_EQ(messages, QStringList{c.shown});
    }
    // The program goes on, with the window as the handler left it.
    expectSignedOut();
    EXPECT_TRUE(fMenuQuorvela->isVisible());
}
