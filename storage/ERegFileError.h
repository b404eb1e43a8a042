#pragma once

#include <QString>

#include <stdexcept>

// Raised by TRegFile; the application's default handler shows the message.
class ERegFileError : public std::runtime_error {
public:
    explicit ERegFileError(const QString &message)
        : std::runtime_error(message.toStdString()), text(message)
    {
    }
    QString message() const { return text; }

private:
    QString text;
};
