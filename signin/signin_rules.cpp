#include "signin/signin_rules.h"

#include <openssl/evp.h>

#include <QByteArray>

#include "platform/error.h"

namespace qv::signin {

QString sha256Hex(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(bytes.constData(), size_t(bytes.size()), digest, &length, EVP_sha256(), nullptr) != 1)
        throw AppError("SHA-256 digest failed");
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(digest), int(length)).toHex());
}

QString passwordForServer(const QString& password, const QString& hashType) {
    return hashType == QLatin1String("HashSHA2") ? sha256Hex(password) : password;
}

QString jasProtocolFor(const QString& jasIp) {
    return jasIp.contains(QLatin1String("8080"), Qt::CaseSensitive) ? QStringLiteral("http") : QStringLiteral("https");
}

}  // namespace qv::signin
