#pragma once

#include <QDialog>

// Created once at start-up and shown modally when needed.
class TFormStartQueue : public QDialog {
    Q_OBJECT
public:
    explicit TFormStartQueue(QWidget *parent = nullptr);
};
