#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;
class QRadioButton;
class TRegFile;

// "Download if Newer": one folder for every newer file, or a name for each.
// Created once at start-up and shown modally when needed.
class TFormNewer : public QDialog {
    Q_OBJECT
public:
    explicit TFormNewer(QWidget *parent = nullptr);

    // Where "NewerDir" is kept; without it the field starts at the temporary folder.
    void setSettings(TRegFile *settings) { reg = settings; }

    // Set by OK, cleared each time the dialog opens; it outlives the dialog,
    // so a later plain download from the watch list goes to the same folder.
    bool oneFolder() const { return oneFolderFlag; }
    QString folder() const;

    void FormShow();
    void RadioNewerClick();
    void RadioSeparateClick();
    void ButtonBrowseClick();
    void ButtonOKClick();
    void ButtonCancelClick();

    QRadioButton *RadioNewer;
    QLineEdit *EditDir;
    QPushButton *ButtonBrowse;
    QRadioButton *RadioSeparate;
    QPushButton *ButtonOK;
    QPushButton *ButtonCancel;

protected:
    void showEvent(QShowEvent *event) override;

private:
    TRegFile *reg = nullptr;
    bool oneFolderFlag = false;
};
