#include "explorer/TFormMessage.h"

#include "platform/Prompts.h"

#include <QFontDatabase>
#include <QFrame>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>

TFormMessage::TFormMessage(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      Memo1(new QPlainTextEdit(this)), ButtonClear(new QPushButton(tr("&Clear"), this)),
      Cancel(new QPushButton(tr("Cancel"), this))
{
    setObjectName(QStringLiteral("FormMessage"));
    setWindowTitle(tr("FTP Messages"));
    setFixedSize(542, 302);
    setModal(true);

    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setGeometry(8, 8, 529, 249);
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont font(QStringLiteral("Courier New"), 8);
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    Memo1->setFont(font);

    auto *separator = new QFrame(this);
    separator->setObjectName(QStringLiteral("Panel1"));
    separator->setFrameStyle(QFrame::HLine | QFrame::Sunken);
    separator->setGeometry(8, 264, 529, 2);

    ButtonClear->setObjectName(QStringLiteral("ButtonClear"));
    ButtonClear->setGeometry(352, 272, 75, 25);
    ButtonClear->setAutoDefault(false);
    Cancel->setObjectName(QStringLiteral("Cancel"));
    Cancel->setGeometry(458, 272, 75, 25);
    Cancel->setDefault(true);
    connect(ButtonClear, &QPushButton::clicked, this, &TFormMessage::ButtonClearClick);
    connect(Cancel, &QPushButton::clicked, this, &TFormMessage::CancelClick);
}

QStringList TFormMessage::lines() const
{
    const QString text = Memo1->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

void TFormMessage::setLines(const QStringList &lines)
{
    Memo1->setPlainText(lines.join(QLatin1Char('\n')));
}

void TFormMessage::ButtonClearClick()
{
    const auto answer = Prompts::current().message(QStringLiteral("Vrex Explorer"),
        tr("Do you want to clear all messages?"), QMessageBox::Ok | QMessageBox::Cancel,
        Prompts::Icon::Question);
    if (answer == QMessageBox::Ok)
        Memo1->clear();
}

void TFormMessage::CancelClick()
{
    reject();
}
