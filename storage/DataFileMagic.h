#pragma once

#include <QByteArray>

// The ten bytes that open the site book and the watch file: "Vrexv1.00" and a
// zero byte.
inline const QByteArray &dataFileMagic()
{
    static const QByteArray magic("Vrexv1.00\0", 10);
    return magic;
}
