#include "explorer/OverwriteQuestion.h"

#include "platform/Prompts.h"

OverwriteQuestion::Answer OverwriteQuestion::ask(const QString &name)
{
    if (yesToAll)
        return Answer::Replace;
    const QString text = QStringLiteral("File: \"") + name
        + QStringLiteral("\" already exists.\r\rIs it okay to overwrite this file?");
    const QString title = QStringLiteral("Vrex Explorer");
    if (!several) {
        const auto answer = Prompts::current().message(
            title, text, QMessageBox::Ok | QMessageBox::Cancel, Prompts::Icon::Question);
        return answer == QMessageBox::Ok ? Answer::Replace : Answer::Cancel;
    }
    // Skip is the default: Enter alone never replaces a file.
    enum { Yes, YesToAll, Skip, Cancel };
    const int chosen = Prompts::current().choose(title, text,
        { QStringLiteral("Yes"), QStringLiteral("Yes to all"), QStringLiteral("Skip"),
            QStringLiteral("Cancel") },
        Skip, Prompts::Icon::Question);
    yesToAll = chosen == YesToAll;
    if (chosen == Yes || chosen == YesToAll)
        return Answer::Replace;
    return chosen == Skip ? Answer::Skip : Answer::Cancel;
}
