#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QtTest>

// A data file's bytes as a test reads and plants them.

// The whole file; "<unreadable>", which no test expects, when it cannot be read.
inline QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

// `bytes` over whatever `path` held; the calling test fails when it cannot be written.
inline void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}
