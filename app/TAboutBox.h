#pragma once

#include <QDialog>

class QLabel;

// The About box: program icon, name, version and copyright. Created once at
// start-up and shown modally from "Help > About...".
class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget *parent = nullptr);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void updateVersion();

    QLabel *versionLabel = nullptr;
};
