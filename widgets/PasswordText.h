#pragma once

#include <QString>

// A password in a list: dots, always as many, so that neither the password
// nor its length shows to whoever looks at the screen.
inline QString passwordDots(const QString &password)
{
    return password.isEmpty() ? QString() : QString(8, QChar(0x25CF));
}
