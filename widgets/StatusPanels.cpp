#include "widgets/StatusPanels.h"

#include <QLabel>

#include <algorithm>

StatusPanels::StatusPanels(QWidget *parent) : QStatusBar(parent)
{
    setSizeGripEnabled(true);
}

// Every panel keeps its width but the last, which takes the rest of the bar
// (its width is then only its least); a panel added later pins it again.
void StatusPanels::addPanel(const QString &text, int width)
{
    if (!panels.isEmpty())
        panels.last()->setFixedWidth(panels.last()->minimumWidth());
    auto *label = new QLabel(text, this);
    label->setObjectName(QStringLiteral("%1Panel%2").arg(objectName()).arg(panels.size()));
    label->setMinimumWidth(width);
    label->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setContentsMargins(3, 0, 3, 0);
    panels.append(label);
    addWidget(label, 1);
}

QString StatusPanels::panelText(int index) const
{
    return index >= 0 && index < panels.size() ? panels[index]->text() : QString();
}

void StatusPanels::setPanelText(int index, const QString &text, bool now)
{
    if (index < 0 || index >= panels.size() || panels[index]->text() == text)
        return;
    panels[index]->setText(text);
    if (now)
        panels[index]->repaint();
}

void StatusPanels::fitPanelTo(int index, const QStringList &texts)
{
    if (index < 0 || index >= panels.size())
        return;
    QLabel *panel = panels[index];
    const QMargins margins = panel->contentsMargins();
    int width = 0;
    for (const QString &text : texts)
        width = std::max(width,
            panel->fontMetrics().horizontalAdvance(text) + margins.left() + margins.right()
                + 2 * panel->frameWidth() + 2 * panel->margin());
    // The last panel takes what is left; the others keep their width.
    if (index + 1 < panels.size())
        panel->setFixedWidth(width);
    else
        panel->setMinimumWidth(width);
}

void StatusPanels::setPanelToolTip(int index, const QString &text)
{
    if (index >= 0 && index < panels.size())
        panels[index]->setToolTip(text);
}

QString StatusPanels::panelToolTip(int index) const
{
    return index >= 0 && index < panels.size() ? panels[index]->toolTip() : QString();
}
