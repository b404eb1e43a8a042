#include "transfers/TFormStartQueue.h"

#include "widgets/DialogParts.h"

#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTimeEdit>

using DialogParts::named;

TFormStartQueue::TFormStartQueue(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FormStartQueue"));
    setWindowTitle(tr("Start Queue"));
    setModal(true);
    auto *text = named(new QLabel(tr("The queue is currently stopped.  Do you want to start the "
                                     "queue now or at a specified later time?")),
        "Label1");
    text->setWordWrap(true);
    RadioNow = named(new QRadioButton(tr("&Now")), "RadioNow");
    RadioLater = named(new QRadioButton(tr("&Later")), "RadioLater");
    RadioNever = named(new QRadioButton(tr("&Don't start it now or later")), "RadioNever");
    EditTime = named(new QTimeEdit, "EditTime");
    EditTime->setDisplayFormat(QStringLiteral("hh:mm AP"));
    ButtonOK = named(new QPushButton(tr("OK")), "ButtonOK");
    ButtonCancel = named(new QPushButton(tr("Cancel")), "ButtonCancel");
    ButtonOK->setDefault(true);

    auto *grid = new QGridLayout(this);
    grid->addWidget(text, 0, 0, 1, 2);
    grid->addWidget(RadioNow, 1, 0, 1, 2);
    grid->addWidget(RadioLater, 2, 0);
    grid->addWidget(EditTime, 2, 1);
    grid->addWidget(RadioNever, 3, 0, 1, 2);
    grid->addLayout(DialogParts::buttonRow(ButtonOK, ButtonCancel), 4, 0, 1, 2);
    layout()->setSizeConstraint(QLayout::SetFixedSize); // a fixed dialog border

    connect(RadioNow, &QRadioButton::clicked, this, &TFormStartQueue::RadioNowClick);
    connect(RadioNever, &QRadioButton::clicked, this, &TFormStartQueue::RadioNowClick);
    connect(RadioLater, &QRadioButton::clicked, this, &TFormStartQueue::RadioLaterClick);
    connect(ButtonOK, &QPushButton::clicked, this, &TFormStartQueue::ButtonOKClick);
    connect(ButtonCancel, &QPushButton::clicked, this, &TFormStartQueue::ButtonCancelClick);
    RadioNow->installEventFilter(this);
    RadioNever->installEventFilter(this);
}

void TFormStartQueue::prepare(bool armed, const QTime &scheduled, const QTime &now)
{
    (armed ? RadioLater : RadioNow)->setChecked(true);
    EditTime->setEnabled(armed);
    // The picker shows hours and minutes; seconds never count.
    const QTime shown = armed ? scheduled : now;
    EditTime->setTime(QTime(shown.hour(), shown.minute()));
}

TransferQueue::StartChoice TFormStartQueue::choice() const
{
    if (RadioLater->isChecked())
        return TransferQueue::StartChoice::Later;
    if (RadioNow->isChecked())
        return TransferQueue::StartChoice::Now;
    return TransferQueue::StartChoice::Never;
}

QTime TFormStartQueue::chosenTime() const
{
    return EditTime->time();
}

void TFormStartQueue::RadioNowClick()
{
    EditTime->setEnabled(false);
}

void TFormStartQueue::RadioLaterClick()
{
    EditTime->setEnabled(true);
    EditTime->setFocus();
}

void TFormStartQueue::ButtonOKClick()
{
    accept();
}

void TFormStartQueue::ButtonCancelClick()
{
    reject();
}

void TFormStartQueue::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    ButtonOK->setFocus();
}

// A double click on "Now" or on "Don't start" chooses it and confirms.
bool TFormStartQueue::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonDblClick
        && (watched == RadioNow || watched == RadioNever)) {
        static_cast<QRadioButton *>(watched)->setChecked(true);
        RadioNowClick();
        ButtonOKClick();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
