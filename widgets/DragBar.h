#pragma once

#include <QFrame>

// A thin bar the user drags sideways; reports the pointer's x relative to the bar.
class DragBar : public QFrame {
    Q_OBJECT
public:
    explicit DragBar(QWidget *parent = nullptr);

signals:
    void pressed();
    void moved(int x);
    void released();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
};
