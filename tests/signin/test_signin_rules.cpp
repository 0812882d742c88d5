// The sign-in rules that need neither a window nor a database.
#include <gtest/gtest.h>

#include "platform/ui/ui.h"
#include "qstring_print.h"
#include "signin/signin_rules.h"

using namespace qv::signin;

namespace {
const char* kEmptyDigest = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
const char* kAbcDigest = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
}  // namespace

TEST(Sha256Hex, StandardVectorsAndUtf8) {
    struct Case {
        QString text;
        const char* digest;
    } cases[] = {
        {QString(), kEmptyDigest},
        {QStringLiteral("abc"), kAbcDigest},
        // Two blocks once padded.
        {QStringLiteral("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        // The UTF-8 bytes of a Romanian letter (C4 83), not its UTF-16 or Latin-1 form.
        {QString::fromUtf8("\xC4\x83"), "817789243c880b917385edcc706add33c1bc42fc0422d967e66ddbc29926b798"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        EXPECT_EQ(sha256Hex(c.text).toStdString(), c.digest);
    }
}

TEST(PasswordForServer, OnlyTheExactHashTypeHashes) {
    struct Case {
        QString hashType;
        QString password;
        QString sent;
    } cases[] = {
        {QStringLiteral("HashSHA2"), QStringLiteral("abc"), QString::fromLatin1(kAbcDigest)},
        {QStringLiteral("HashSHA2"), QString(), QString::fromLatin1(kEmptyDigest)},
        {QStringLiteral("hashsha2"), QStringLiteral("abc"), QStringLiteral("abc")},
        {QStringLiteral("HASHSHA2"), QStringLiteral("abc"), QStringLiteral("abc")},
        {QStringLiteral("HashSHA2 "), QStringLiteral("abc"), QStringLiteral("abc")},
        {QStringLiteral(" HashSHA2"), QStringLiteral("abc"), QStringLiteral("abc")},
        {QStringLiteral("HashSHA256"), QStringLiteral("abc"), QStringLiteral("abc")},
        {QString(), QStringLiteral("abc"), QStringLiteral("abc")},   // null in the directory
        {QString(), QString(), QString()},
        {QString(), QStringLiteral(" a b "), QStringLiteral(" a b ")},   // never trimmed
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("[" + c.hashType.toStdString() + "] [" + c.password.toStdString() + "]");
        EXPECT_EQ(passwordForServer(c.password, c.hashType), c.sent);
    }
}

TEST(JasProtocol, HttpOnlyWhen8080AppearsAnywhere) {
    struct Case {
        QString jasIp;
        const char* protocol;
    } cases[] = {
        {QStringLiteral("192.168.10.5:8080"), "http"},
        {QStringLiteral("8080"), "http"},
        {QStringLiteral("http://reports.local:18080/jasper"), "http"},
        {QStringLiteral("10.80.80.1"), "https"},
        {QStringLiteral("192.168.10.5:8081"), "https"},
        {QStringLiteral("808 0"), "https"},
        {QString::fromUtf8("\xEF\xBC\x98\xEF\xBC\x90\xEF\xBC\x98\xEF\xBC\x90"), "https"},   // full-width digits
        {QString(), "https"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.jasIp.toStdString());
        EXPECT_EQ(jasProtocolFor(c.jasIp).toStdString(), c.protocol);
    }
}

TEST(ApplicationName, FromExecutablePath) {
    struct Case {
        QString path;
        QString name;
    } cases[] = {
        {QStringLiteral("wQuorvela.exe"), QStringLiteral("wquorvela")},
        {QStringLiteral("C:\\Program Files\\Quorvela\\wQuorvela.exe"), QStringLiteral("wquorvela")},
        {QStringLiteral("/usr/local/bin/wQuorvela"), QStringLiteral("wquorvela")},
        {QStringLiteral("/opt/app.d/wQuorvela"), QStringLiteral("wquorvela")},   // a dot in a folder
        {QStringLiteral("wQuorvela.v2.exe"), QStringLiteral("wquorvela")},       // from the first dot
        {QStringLiteral("WQUORVELA.EXE"), QStringLiteral("Wquorvela")},          // the first keeps its case
        {QString::fromUtf8("C:/Apps/\xC8\x98TEFAN.exe"), QString::fromUtf8("\xC8\x98tefan")},
        {QStringLiteral("x"), QStringLiteral("x")},
        {QStringLiteral(".exe"), QString()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        EXPECT_EQ(qv::ui::applicationNameFromPath(c.path), c.name);
    }
}
