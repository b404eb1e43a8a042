#pragma once

#include <QDialog>

class QPushButton;
class QSpinBox;
class TransferSettings;

// The program's options: how many queue items run at once. Created once at
// start-up and shown modally from "View > Options...".
class TFormOptions : public QDialog {
    Q_OBJECT
public:
    explicit TFormOptions(QWidget *parent = nullptr);

    // Shows the values in force and writes what OK confirms; true when a
    // value changed. A store that cannot be written raises its error.
    bool edit(TransferSettings &settings);

    QSpinBox *SpinSimultaneous;
    QPushButton *ButtonOK;
    QPushButton *ButtonCancel;

protected:
    void showEvent(QShowEvent *event) override;
};
