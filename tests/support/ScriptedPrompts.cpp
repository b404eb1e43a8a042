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
    asked.append({ QStringLiteral("message"), title, text, buttons, icon, {}, -1 });
    if (!buttonAnswers.isEmpty())
        return buttonAnswers.dequeue();
    for (QMessageBox::StandardButton b :
        { QMessageBox::Ok, QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel })
        if (buttons.testFlag(b))
            return b;
    return QMessageBox::NoButton;
}

QList<ScriptedPrompts::Question> ScriptedPrompts::choices() const
{
    QList<Question> found;
    for (const Question &q : asked)
        if (q.kind == QLatin1String("choose"))
            found << q;
    return found;
}

int ScriptedPrompts::choose(const QString &title, const QString &text, const QStringList &buttons,
    int defaultIndex, Icon icon)
{
    asked.append({ QStringLiteral("choose"), title, text, {}, icon, buttons, defaultIndex });
    return choiceAnswers.isEmpty() ? defaultIndex : choiceAnswers.dequeue();
}

QString ScriptedPrompts::saveFileName(
    const QString &title, const QString &initialPath, const QString &)
{
    asked.append({ QStringLiteral("save"), title, initialPath, {}, Icon::None, {}, -1 });
    return pathAnswers.isEmpty() ? QString() : pathAnswers.dequeue();
}

QStringList ScriptedPrompts::openFileNames(
    const QString &title, const QString &initialDir, const QString &)
{
    asked.append({ QStringLiteral("open"), title, initialDir, {}, Icon::None, {}, -1 });
    return openAnswers.isEmpty() ? QStringList() : openAnswers.dequeue();
}

QString ScriptedPrompts::browseFolder(const QString &title, const QString &initialDir)
{
    asked.append({ QStringLiteral("folder"), title, initialDir, {}, Icon::None, {}, -1 });
    return pathAnswers.isEmpty() ? QString() : pathAnswers.dequeue();
}

bool ScriptedPrompts::askText(
    const QString &title, const QString &label, QString &text, bool password)
{
    Question q { QStringLiteral("text"), title, label, {}, Icon::None, {}, -1 };
    q.password = password;
    asked.append(q);
    const QString answer = textAnswers.isEmpty() ? QString() : textAnswers.dequeue();
    if (answer.isNull())
        return false;
    text = answer;
    return true;
}
