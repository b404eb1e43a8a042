#include "platform/QtPrompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QPushButton>

namespace {

QMessageBox::Icon toQtIcon(Prompts::Icon icon)
{
    switch (icon) {
    case Prompts::Icon::Information:
        return QMessageBox::Information;
    case Prompts::Icon::Warning:
        return QMessageBox::Warning;
    case Prompts::Icon::Error:
        return QMessageBox::Critical;
    case Prompts::Icon::Question:
        return QMessageBox::Question;
    case Prompts::Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

// "Text Files (*.txt)|*.txt|..." pairs in Qt's form. "*.*" means every
// file, also one without a dot in its name.
QString qtFilter(const QString &pairs)
{
    const QStringList parts = pairs.split(QLatin1Char('|'));
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i];
        const QString pattern
            = parts[i + 1] == QLatin1String("*.*") ? QStringLiteral("*") : parts[i + 1];
        const int open = description.lastIndexOf(QLatin1Char('('));
        if (open > 0)
            description.truncate(open);
        filters << description.trimmed() + QStringLiteral(" (") + pattern + QLatin1Char(')');
    }
    return filters.join(QStringLiteral(";;"));
}

// A carriage return is the program's line break.
QString shownText(const QString &text)
{
    QString shown = text;
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

} // namespace

QMessageBox::StandardButton QtPrompts::message(
    const QString &title, const QString &text, QMessageBox::StandardButtons buttons, Icon icon)
{
    QMessageBox box(toQtIcon(icon), title, shownText(text), buttons, QApplication::activeWindow());
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

int QtPrompts::choose(const QString &title, const QString &text, const QStringList &buttons,
    int defaultIndex, Icon icon)
{
    QMessageBox box(toQtIcon(icon), title, shownText(text), QMessageBox::NoButton,
        QApplication::activeWindow());
    QList<QPushButton *> pushButtons;
    for (const QString &caption : buttons)
        pushButtons << box.addButton(caption, QMessageBox::ActionRole);
    if (pushButtons.isEmpty())
        return -1;
    box.setEscapeButton(pushButtons.last());
    box.setDefaultButton(pushButtons.value(defaultIndex, pushButtons.last()));
    box.exec();
    const int chosen = int(pushButtons.indexOf(box.clickedButton()));
    return chosen >= 0 ? chosen : int(pushButtons.size()) - 1;
}

QString QtPrompts::saveFileName(
    const QString &title, const QString &initialPath, const QString &filter)
{
    // The caller asks about an existing file itself.
    return QFileDialog::getSaveFileName(QApplication::activeWindow(), title, initialPath,
        qtFilter(filter), nullptr, QFileDialog::DontConfirmOverwrite);
}

QStringList QtPrompts::openFileNames(
    const QString &title, const QString &initialDir, const QString &filter)
{
    return QFileDialog::getOpenFileNames(
        QApplication::activeWindow(), title, initialDir, qtFilter(filter));
}

QString QtPrompts::browseFolder(const QString &title, const QString &initialDir)
{
    return QFileDialog::getExistingDirectory(
        QApplication::activeWindow(), title, initialDir, QFileDialog::ShowDirsOnly);
}

bool QtPrompts::askText(const QString &title, const QString &label, QString &text, bool password)
{
    bool ok = false;
    const QString typed = QInputDialog::getText(QApplication::activeWindow(), title,
        shownText(label), password ? QLineEdit::Password : QLineEdit::Normal, QString(), &ok);
    if (ok)
        text = typed;
    return ok;
}
