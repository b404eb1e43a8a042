#include "platform/Prompts.h"

#include "platform/QtPrompts.h"

namespace {

const QString kTitle = QStringLiteral("Vrex Explorer");
Prompts *installed = nullptr;

} // namespace

Prompts &Prompts::current()
{
    static QtPrompts qtPrompts;
    return installed ? *installed : qtPrompts;
}

void Prompts::install(Prompts *p)
{
    installed = p;
}

void Prompts::error(const QString &text)
{
    current().message(kTitle, text, QMessageBox::Ok, Icon::Error);
}

void Prompts::information(const QString &text)
{
    current().message(kTitle, text, QMessageBox::Ok, Icon::Information);
}

bool Prompts::askYesNo(const QString &text)
{
    return current().message(kTitle, text, QMessageBox::Yes | QMessageBox::No, Icon::Question)
        == QMessageBox::Yes;
}
