#pragma once

#include <QDialog>

// Created once at start-up and shown modally when needed.
class TFormGetFile : public QDialog {
    Q_OBJECT
public:
    explicit TFormGetFile(QWidget *parent = nullptr);
};
