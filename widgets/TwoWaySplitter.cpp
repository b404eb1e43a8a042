#include "widgets/TwoWaySplitter.h"

#include <QResizeEvent>

TwoWaySplitter::TwoWaySplitter(QWidget *parent) : QSplitter(Qt::Horizontal, parent)
{
    setChildrenCollapsible(false);
    connect(this, &QSplitter::splitterMoved, this, [this] { takePositionFromBar(); });
}

void TwoWaySplitter::setPosition(int percentOfWidth)
{
    percent = qBound(0, percentOfWidth, 100);
    applyPosition();
}

void TwoWaySplitter::resizeEvent(QResizeEvent *event)
{
    QSplitter::resizeEvent(event);
    applyPosition();
}

void TwoWaySplitter::applyPosition()
{
    if (count() < 2)
        return;
    const int total = width() - handleWidth();
    if (total <= 0)
        return;
    const int left = total * percent / 100;
    applying = true;
    setSizes({ left, total - left });
    applying = false;
}

void TwoWaySplitter::takePositionFromBar()
{
    if (applying || width() <= 0)
        return;
    const QList<int> s = sizes();
    if (s.size() >= 2 && s[0] + s[1] > 0)
        percent = s[0] * 100 / (s[0] + s[1]);
}
