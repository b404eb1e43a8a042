#pragma once

#include "platform/Prompts.h"

#include <QList>
#include <QQueue>

// Answers the program's questions as a test says, and records every one.
// Installs itself on construction and restores the real prompts when gone.
class ScriptedPrompts : public Prompts {
public:
    struct Question {
        QString kind; // "message", "choose", "save", "open", "folder", "text"
        QString title;
        QString text; // message text, or the initial path/folder of a dialog
        QMessageBox::StandardButtons buttons;
        Icon icon = Icon::None;
        QStringList choices; // the button texts of a "choose"
        int defaultChoice = -1;
        bool password = false; // a "text" question that shows dots
    };

    ScriptedPrompts();
    ~ScriptedPrompts() override;

    // Queued answers, taken in order. With none queued a message box answers
    // its first of Ok, Yes, No, Cancel offered, and a file dialog is cancelled.
    void answer(QMessageBox::StandardButton button) { buttonAnswers.enqueue(button); }
    // The index of the button a "choose" question gets; with none queued it
    // gets its default button.
    void answerChoice(int index) { choiceAnswers.enqueue(index); }
    void answerSave(const QString &path) { pathAnswers.enqueue(path); }
    void answerOpen(const QStringList &paths) { openAnswers.enqueue(paths); }
    void answerFolder(const QString &path) { pathAnswers.enqueue(path); }
    // What a text question gets; a null string cancels it, as do none queued.
    void answerText(const QString &text) { textAnswers.enqueue(text); }

    QList<Question> asked;
    // Texts of the message boxes asked so far, in order.
    QStringList messageTexts() const;
    // The "choose" questions asked so far, in order.
    QList<Question> choices() const;
    void clear() { asked.clear(); }

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

private:
    QQueue<QMessageBox::StandardButton> buttonAnswers;
    QQueue<int> choiceAnswers;
    QQueue<QString> pathAnswers;
    QQueue<QStringList> openAnswers;
    QQueue<QString> textAnswers;
};
