#pragma once

#include "transfers/TransferQueue.h"

#include <QDialog>
#include <QTime>

class QPushButton;
class QRadioButton;
class QTimeEdit;

// Asks whether the stopped queue starts now, at a time of day, or not at
// all. Created once at start-up and shown modally when needed.
class TFormStartQueue : public QDialog {
    Q_OBJECT
public:
    explicit TFormStartQueue(QWidget *parent = nullptr);

    // Before each showing: an armed start shows "Later" with its time,
    // otherwise "Now" with the current time.
    void prepare(bool armed, const QTime &scheduled, const QTime &now);

    TransferQueue::StartChoice choice() const;
    QTime chosenTime() const;

    QRadioButton *RadioNow;
    QRadioButton *RadioLater;
    QRadioButton *RadioNever;
    QTimeEdit *EditTime;
    QPushButton *ButtonOK;
    QPushButton *ButtonCancel;

    void RadioNowClick();
    void RadioLaterClick();
    void ButtonOKClick();
    void ButtonCancelClick();

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
};
