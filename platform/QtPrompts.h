#pragma once

#include "platform/Prompts.h"

// The real dialogs: QMessageBox and QFileDialog, modal on the active window.
class QtPrompts : public Prompts {
public:
    QMessageBox::StandardButton message(const QString &title, const QString &text,
        QMessageBox::StandardButtons buttons, Icon icon) override;
    int choose(const QString &title, const QString &text, const QStringList &buttons,
        int defaultIndex, Icon icon) override;
    QString saveFileName(
        const QString &title, const QString &initialPath, const QString &filter) override;
    QStringList openFileNames(
        const QString &title, const QString &initialDir, const QString &filter) override;
    QString browseFolder(const QString &title, const QString &initialDir) override;
    bool askText(const QString &title, const QString &label, QString &text, bool password) override;
};
