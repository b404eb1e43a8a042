#include "widgets/DragBar.h"

#include <QMouseEvent>

DragBar::DragBar(QWidget *parent) : QFrame(parent)
{
    setCursor(Qt::SizeHorCursor);
    setFrameStyle(QFrame::VLine | QFrame::Raised);
    setFixedWidth(2);
}

void DragBar::mousePressEvent(QMouseEvent *event)
{
    event->accept();
    emit pressed();
}

void DragBar::mouseMoveEvent(QMouseEvent *event)
{
    event->accept();
    emit moved(qRound(event->position().x()));
}

void DragBar::mouseReleaseEvent(QMouseEvent *event)
{
    event->accept();
    emit released();
}
