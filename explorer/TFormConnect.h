#pragma once

#include <QDialog>

// Created once at start-up and shown modally when needed.
class TFormConnect : public QDialog {
    Q_OBJECT
public:
    explicit TFormConnect(QWidget *parent = nullptr);
};
