#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>

// Every modal question of the program goes through this interface, so tests
// can answer them and check their exact texts.
class Prompts {
public:
    enum class Icon { None, Information, Warning, Error, Question };

    virtual ~Prompts() = default;

    virtual QMessageBox::StandardButton message(
        const QString &title, const QString &text, QMessageBox::StandardButtons buttons, Icon icon)
        = 0;
    // A question whose answers are the given button texts: the index of the
    // one chosen. Escape or closing the box chooses the last, so it should
    // be the one that cancels.
    virtual int choose(const QString &title, const QString &text, const QStringList &buttons,
        int defaultIndex, Icon icon)
        = 0;
    // Empty string when the user cancels.
    virtual QString saveFileName(
        const QString &title, const QString &initialPath, const QString &filter)
        = 0;
    virtual QStringList openFileNames(
        const QString &title, const QString &initialDir, const QString &filter)
        = 0;
    virtual QString browseFolder(const QString &title, const QString &initialDir) = 0;
    // A line of text typed by the user (shown as dots when password is true).
    // False when the user cancels.
    virtual bool askText(const QString &title, const QString &label, QString &text, bool password)
        = 0;

    // The prompts in use; a Qt implementation unless a test installed another.
    static Prompts &current();
    // Installs p (not owned); nullptr restores the Qt implementation.
    static void install(Prompts *p);

    // Shorthands for the program's usual boxes, titled "Vrex Explorer".
    static void error(const QString &text);
    static void information(const QString &text);
    static bool askYesNo(const QString &text);
};
