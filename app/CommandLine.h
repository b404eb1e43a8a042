#pragma once

#include <QString>
#include <QStringList>

// What the command line asks for: `vrex [--start-queue] [URL]`, `--help`, `--version`, and
// the screenshot switch of the build scripts.
struct CommandLine {
    enum class Kind { Run, Help, Version, Wrong };
    Kind kind = Kind::Run;
    QString url; // empty: none
    QString screenshot; // --screenshot FILE
    bool startQueue = false; // --start-queue: the saved queue runs at once
    QString error; // for Wrong: what is wrong

    static CommandLine parse(const QStringList &arguments);
    // The program's version, known without an application object.
    static QString version();
    static QString helpText(const QString &v);
    static QString versionText(const QString &v);
};
