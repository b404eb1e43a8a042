#include "platform/QtPrompts.h"

#include <QApplication>
#include <QFileDialog>

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

} // namespace

QMessageBox::StandardButton QtPrompts::message(
    const QString &title, const QString &text, QMessageBox::StandardButtons buttons, Icon icon)
{
    QMessageBox box(toQtIcon(icon), title, text, buttons, QApplication::activeWindow());
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

QString QtPrompts::saveFileName(
    const QString &title, const QString &initialPath, const QString &filter)
{
    return QFileDialog::getSaveFileName(QApplication::activeWindow(), title, initialPath, filter);
}

QStringList QtPrompts::openFileNames(
    const QString &title, const QString &initialDir, const QString &filter)
{
    return QFileDialog::getOpenFileNames(QApplication::activeWindow(), title, initialDir, filter);
}

QString QtPrompts::browseFolder(const QString &title, const QString &initialDir)
{
    return QFileDialog::getExistingDirectory(
        QApplication::activeWindow(), title, initialDir, QFileDialog::ShowDirsOnly);
}
