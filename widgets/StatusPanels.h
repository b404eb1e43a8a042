#pragma once

#include <QStatusBar>

class QLabel;

// A status bar of text panels, addressed by index: fixed widths, but the
// last panel fills what the others leave.
class StatusPanels : public QStatusBar {
    Q_OBJECT
public:
    explicit StatusPanels(QWidget *parent = nullptr);

    void addPanel(const QString &text, int width);
    int panelCount() const { return int(panels.size()); }
    QString panelText(int index) const;
    // The text shows with the next paint; `now` paints it at once, for
    // texts that must be seen while the program is busy.
    void setPanelText(int index, const QString &text, bool now = false);
    // Sizes the panel to the longest of `texts`, so that each shows whole.
    void fitPanelTo(int index, const QStringList &texts);
    // What the panel says when the pointer rests on it.
    void setPanelToolTip(int index, const QString &text);
    QString panelToolTip(int index) const;

private:
    QList<QLabel *> panels;
};
