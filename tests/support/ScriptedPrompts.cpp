#include "ScriptedPrompts.h"

ScriptedPrompts::ScriptedPrompts()
{
    Prompts::install(this);
}

ScriptedPrompts::~ScriptedPrompts()
{
    Prompts::install(nullptr);
}

QStringList ScriptedPrompts::messageTexts() const
{
    QStringList texts;
    for (const Question &q : asked)
        if (q.kind == QLatin1String("message"))
            texts << q.text;
    return texts;
}

QMessageBox::StandardButton ScriptedPrompts::message(
    const QString &title, const QString &text, QMessageBox::StandardButtons buttons, Icon icon)
{
    asked.append({ QStringLiteral("message"), title, text, buttons, icon });
    if (!buttonAnswers.isEmpty())
        return buttonAnswers.dequeue();
    for (QMessageBox::StandardButton b :
        { QMessageBox::Ok, QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel })
        if (buttons.testFlag(b))
            return b;
    return QMessageBox::NoButton;
}

QString ScriptedPrompts::saveFileName(
    const QString &title, const QString &initialPath, const QString &)
{
    asked.append({ QStringLiteral("save"), title, initialPath, {}, Icon::None });
    return pathAnswers.isEmpty() ? QString() : pathAnswers.dequeue();
}

QStringList ScriptedPrompts::openFileNames(
    const QString &title, const QString &initialDir, const QString &)
{
    asked.append({ QStringLiteral("open"), title, initialDir, {}, Icon::None });
    return openAnswers.isEmpty() ? QStringList() : openAnswers.dequeue();
}

QString ScriptedPrompts::browseFolder(const QString &title, const QString &initialDir)
{
    asked.append({ QStringLiteral("folder"), title, initialDir, {}, Icon::None });
    return pathAnswers.isEmpty() ? QString() : pathAnswers.dequeue();
}
