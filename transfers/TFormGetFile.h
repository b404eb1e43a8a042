#pragma once

#include <QDialog>

#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The quick download: one file fetched by its path and the site it is on,
// without the site book and without the queue. Created once at start-up, so
// its fields keep what was typed from one opening to the next.
class TFormGetFile : public QDialog {
    Q_OBJECT
public:
    struct Site {
        QString host, login, password;
    };
    // What the dialog asks of the window it belongs to.
    struct Port {
        std::function<Site()> currentConnection;
        // An FTP operation runs, and no other may start.
        std::function<bool()> operationRunning;
        // The local file for a remote path, or empty when the user cancelled.
        std::function<QString(const QString &remotePath)> saveAs;
        // Fetches `source` from the site into `target`.
        std::function<void(const QString &source, const QString &target, const Site &site)> getNow;
    };

    explicit TFormGetFile(QWidget *parent = nullptr);

    void setPort(const Port &p) { port = p; }

    void FormShow();
    void EditFileChange();
    void CheckAnonClick();
    void ButtonOKClick();
    void ButtonCancelClick();

    QLineEdit *EditFile, *EditFTP, *EditLogin, *EditPswd;
    QCheckBox *CheckAnon;
    QLabel *LabelLogin, *LabelPswd;
    QPushButton *ButtonOK, *ButtonCancel;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void buildFields();
    void layOut(QWidget *picture);
    void enableCredentials(bool enabled);
    void centreOnScreen();

    Port port;
};
