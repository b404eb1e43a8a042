#pragma once

#include <QDialog>

// Created once at start-up and shown modally when needed.
class TFormNewer : public QDialog {
    Q_OBJECT
public:
    explicit TFormNewer(QWidget *parent = nullptr);
};
