// The rules of the sign-in that do not need a window or a database.
#pragma once

#include <QString>

namespace qv::signin {

// SHA-256 of the text's UTF-8 bytes, as 64 lower-case hexadecimal digits.
QString sha256Hex(const QString& text);

// What goes to the server as the password: its digest when the directory says the company keeps digests
// ("HashSHA2", exactly), otherwise the password as typed. A null hash type reads as empty text.
QString passwordForServer(const QString& password, const QString& hashType);

// The company's report server speaks plain HTTP on port 8080 and HTTPS everywhere else.
QString jasProtocolFor(const QString& jasIp);

}  // namespace qv::signin
