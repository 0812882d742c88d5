// The remembered sign-in table: its file, and the boxes linked to its fields.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include "qstring_print.h"
#include "signin/memtable.h"

using qv::signin::EditLink;
using qv::signin::MemTable;

namespace {

void addLoginFields(MemTable& t) {
    t.addField(QStringLiteral("company"), 200);
    t.addField(QStringLiteral("username"), 200);
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return f.readAll();
}

void writeAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// Two boxes linked to the table, in a window that can hold the focus.
struct LinkedForm {
    explicit LinkedForm(MemTable& t) {
        auto* layout = new QVBoxLayout(&window);
        company = new QLineEdit(&window);
        user = new QLineEdit(&window);
        other = new QLineEdit(&window);
        layout->addWidget(company);
        layout->addWidget(user);
        layout->addWidget(other);
        new EditLink(company, &t, QStringLiteral("company"));
        new EditLink(user, &t, QStringLiteral("username"));
        window.show();
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    }
    QWidget window;
    QLineEdit* company;
    QLineEdit* user;
    QLineEdit* other;
};

class MemTableTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path() const { return dir.filePath(QStringLiteral("QemDorup.json")); }
};

}  // namespace

TEST_F(MemTableTest, FileKeepsEveryCharacterAndHasOneTopLevelMember) {
    const QString company = QString::fromUtf8("\xC8\x98" "coala \"Veche\" O'Neil \\ 100% _x_ \xF0\x9F\x99\x82 SRL");
    const QString user = QString::fromUtf8("ionu\xC8\x9B.\xC4\x83\xC3\xAE\xC3\xA2");
    {
        MemTable t(QStringLiteral("dsLogin"));
        addLoginFields(t);
        t.open();
        t.setValue(QStringLiteral("company"), company);
        t.setValue(QStringLiteral("username"), user);
        t.saveToFile(path());
    }
    const QByteArray bytes = readAll(path());
    ASSERT_TRUE(bytes.startsWith("\xEF\xBB\xBF"));
    const QJsonDocument doc = QJsonDocument::fromJson(bytes.mid(3));
    ASSERT_TRUE(doc.isObject());
    EXPECT_EQ(doc.object().keys(), QStringList{QStringLiteral("FDBS")});
    EXPECT_TRUE(doc.object().value(QStringLiteral("FDBS")).isObject());

    MemTable again(QStringLiteral("dsLogin"));
    addLoginFields(again);
    ASSERT_TRUE(again.loadFromFile(path()));
    EXPECT_TRUE(again.isActive());
    ASSERT_EQ(again.recordCount(), 1);
    EXPECT_EQ(again.recNo(), 0);
    EXPECT_EQ(again.value(QStringLiteral("company")), company);
    EXPECT_EQ(again.value(QStringLiteral("username")), user);
}

TEST_F(MemTableTest, UnreadableFileLeavesAnEmptyOpenTableAndEmptyBoxes) {
    QByteArray good;
    {
        MemTable t(QStringLiteral("dsLogin"));
        addLoginFields(t);
        t.open();
        t.setValue(QStringLiteral("company"), QStringLiteral("Demo Turism SRL"));
        t.setValue(QStringLiteral("username"), QStringLiteral("contabil"));
        t.saveToFile(path());
        good = readAll(path());
    }
    struct Case {
        const char* what;
        QByteArray bytes;
    } cases[] = {
        {"absent", QByteArray()},
        {"empty", QByteArray("")},
        {"byte-order mark only", QByteArray("\xEF\xBB\xBF")},
        {"truncated", good.left(good.size() / 2)},
        {"last byte missing", good.left(good.size() - 1)},
        {"not JSON", QByteArray("company=Demo;username=contabil")},
        {"binary", QByteArray("\x00\xFF\xFE\x01\x02", 5)},
        {"array at the top", QByteArray("[{\"FDBS\":{\"rows\":[]}}]")},
        {"no FDBS", QByteArray("{\"rows\":[{\"company\":\"Demo\"}]}")},
        {"a second top-level member", QByteArray("{\"FDBS\":{\"rows\":[]},\"x\":1}")},
        {"FDBS not an object", QByteArray("{\"FDBS\":\"Demo\"}")},
        {"no rows", QByteArray("{\"FDBS\":{}}")},
        {"a row that is not an object", QByteArray("{\"FDBS\":{\"rows\":[\"Demo\"]}}")},
        {"a value that is not text", QByteArray("{\"FDBS\":{\"rows\":[{\"company\":42}]}}")},
    };
    const QString goodPath = dir.filePath(QStringLiteral("good.json"));
    writeAll(goodPath, good);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MemTable t(QStringLiteral("dsLogin"));
        addLoginFields(t);
        LinkedForm form(t);
        ASSERT_TRUE(t.loadFromFile(goodPath));
        ASSERT_EQ(form.company->text(), QStringLiteral("Demo Turism SRL"));

        if (c.bytes.isNull()) {
            QFile::remove(path());
        } else {
            writeAll(path(), c.bytes);
        }
        EXPECT_FALSE(t.loadFromFile(path()));
        EXPECT_TRUE(t.isActive());
        EXPECT_EQ(t.recordCount(), 0);
        EXPECT_EQ(form.company->text(), QString());
        EXPECT_EQ(form.user->text(), QString());
    }
}

TEST_F(MemTableTest, TypingStartsARecordAndReachesTheFieldOnFocusLossOrSave) {
    MemTable t(QStringLiteral("dsLogin"));
    addLoginFields(t);
    t.open();
    LinkedForm form(t);

    form.company->setFocus();
    QTest::keyClicks(form.company, QStringLiteral("Demo"));
    EXPECT_EQ(t.state(), MemTable::State::Insert);
    EXPECT_EQ(t.value(QStringLiteral("company")), QString());   // still only in the box
    form.user->setFocus();
    EXPECT_EQ(t.value(QStringLiteral("company")), QStringLiteral("Demo"));

    QTest::keyClicks(form.user, QStringLiteral("contabil"));   // the focus stays in the box
    t.saveToFile(path());
    EXPECT_EQ(t.state(), MemTable::State::Browse);
    EXPECT_EQ(t.recordCount(), 1);

    // A later change edits that record instead of adding another.
    form.company->setFocus();
    QTest::keyClicks(form.company, QStringLiteral(" SRL"));
    t.saveToFile(path());
    MemTable again(QStringLiteral("dsLogin"));
    addLoginFields(again);
    ASSERT_TRUE(again.loadFromFile(path()));
    ASSERT_EQ(again.recordCount(), 1);
    EXPECT_EQ(again.value(QStringLiteral("company")), QStringLiteral("Demo SRL"));
    EXPECT_EQ(again.value(QStringLiteral("username")), QStringLiteral("contabil"));
}

TEST_F(MemTableTest, LoadingReplacesWhatWasTypedButNotSaved) {
    MemTable t(QStringLiteral("dsLogin"));
    addLoginFields(t);
    t.open();
    LinkedForm form(t);
    form.company->setText(QStringLiteral("Saved SRL"));
    t.saveToFile(path());

    form.company->setText(QStringLiteral("Typed later"));
    form.user->setText(QStringLiteral("someone"));
    ASSERT_TRUE(t.loadFromFile(path()));
    EXPECT_EQ(form.company->text(), QStringLiteral("Saved SRL"));
    EXPECT_EQ(form.user->text(), QString());
    t.saveToFile(path());   // nothing left over from the discarded typing
    MemTable again(QStringLiteral("dsLogin"));
    addLoginFields(again);
    ASSERT_TRUE(again.loadFromFile(path()));
    EXPECT_EQ(again.value(QStringLiteral("username")), QString());
}

TEST_F(MemTableTest, ValuesAreCutToTheFieldSizeWithoutSplittingACharacter) {
    MemTable t(QStringLiteral("dsLogin"));
    addLoginFields(t);
    t.open();
    const QString emoji = QString::fromUtf8("\xF0\x9F\x99\x82");   // two UTF-16 units
    t.setValue(QStringLiteral("company"), QString(199, QLatin1Char('a')) + emoji);
    t.setValue(QStringLiteral("username"), QString(250, QLatin1Char('b')));
    EXPECT_EQ(t.value(QStringLiteral("company")), QString(199, QLatin1Char('a')));
    EXPECT_EQ(t.value(QStringLiteral("username")), QString(200, QLatin1Char('b')));
}

TEST_F(MemTableTest, SavingReplacesTheFileAndLeavesNothingElseBehind) {
    writeAll(path(), "{\"FDBS\":{\"rows\":[{\"company\":\"Old SRL\",\"username\":\"old\"}]}}");
    MemTable t(QStringLiteral("dsLogin"));
    addLoginFields(t);
    ASSERT_TRUE(t.loadFromFile(path()));
    t.setValue(QStringLiteral("company"), QStringLiteral("New SRL"));
    t.saveToFile(path());

    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("QemDorup.json")});
    MemTable again(QStringLiteral("dsLogin"));
    addLoginFields(again);
    ASSERT_TRUE(again.loadFromFile(path()));
    EXPECT_EQ(again.value(QStringLiteral("company")), QStringLiteral("New SRL"));
    EXPECT_EQ(again.value(QStringLiteral("username")), QStringLiteral("old"));
}
