#pragma once

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

// "FTP Messages": the reply text the server sent at the last explicit connect.
class TFormMessage : public QDialog {
    Q_OBJECT
public:
    explicit TFormMessage(QWidget *parent = nullptr);

    QStringList lines() const;
    void setLines(const QStringList &lines);

    void ButtonClearClick();
    void CancelClick();

private:
    QPlainTextEdit *Memo1;
    QPushButton *ButtonClear;
    QPushButton *Cancel;
};
