#pragma once

#include <QValidator>

// Limits a text to a number of UTF-8 bytes, the size of the fixed slot it
// will be written into, so that nothing is cut when it is saved.
class ByteLimitValidator : public QValidator {
    Q_OBJECT
public:
    ByteLimitValidator(int maxBytes, QObject *parent = nullptr)
        : QValidator(parent), limit(maxBytes)
    {
    }

    State validate(QString &input, int &) const override
    {
        return input.toUtf8().size() <= limit ? Acceptable : Invalid;
    }

private:
    int limit;
};
