#pragma once

#include <QStatusBar>

class QLabel;

// A status bar of fixed-width text panels, addressed by index.
class StatusPanels : public QStatusBar {
    Q_OBJECT
public:
    explicit StatusPanels(QWidget *parent = nullptr);

    void addPanel(const QString &text, int width);
    int panelCount() const { return int(panels.size()); }
    QString panelText(int index) const;
    // Shows the text at once, without waiting for the next paint cycle.
    void setPanelText(int index, const QString &text);

private:
    QList<QLabel *> panels;
};
