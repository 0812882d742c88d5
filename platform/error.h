// Errors that reach the user: the message is the text the user sees (UTF-8).
#pragma once
#include <stdexcept>
#include <string>

#include <QString>

namespace qv {

class AppError : public std::runtime_error {
public:
    explicit AppError(const std::string& utf8) : std::runtime_error(utf8) {}
    explicit AppError(const QString& text) : std::runtime_error(text.toStdString()) {}
    explicit AppError(const char* utf8) : std::runtime_error(utf8) {}
    QString text() const { return QString::fromUtf8(what()); }
};

}  // namespace qv
