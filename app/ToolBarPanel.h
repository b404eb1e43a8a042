#pragma once

#include <QFrame>
#include <QMap>

class DragBar;
class QButtonGroup;
class QComboBox;
class QToolButton;
class TwoWaySplitter;

// One of the two tool bar variants: a site combo on a resizable panel and the
// command buttons. The classic variant has raised buttons, the explorer
// variant flat ones; both have the same buttons at the same places.
class ToolBarPanel : public QFrame {
    Q_OBJECT
public:
    enum class Style { Classic, Explorer };
    // Command buttons, in tool bar order.
    enum Button {
        Stop,
        UpOne,
        New,
        Edit,
        Delete,
        Open,
        Download,
        Watch,
        Send,
        Queue,
        Large,
        Small,
        List,
        Details,
        ButtonCount
    };

    ToolBarPanel(Style style, QWidget *parent = nullptr);

    QToolButton *button(Button which) const { return buttons[which]; }
    QButtonGroup *viewStyleGroup() const { return viewGroup; }
    QComboBox *combo() const { return siteCombo; }
    QWidget *comboPanel() const { return panelCombo; }
    DragBar *dragBar() const { return bar; }
    TwoWaySplitter *splitter() const { return split; }

    // Both combos sit 2 pixels from the panel's left edge, 8 pixels narrower than it.
    void PanelComboResize();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildComboPanel(const QString &prefix);
    void buildButtons(const QString &prefix, QWidget *area);

    Style style;
    TwoWaySplitter *split;
    QWidget *panelCombo;
    QComboBox *siteCombo;
    DragBar *bar;
    QToolButton *buttons[ButtonCount] = {};
    QButtonGroup *viewGroup;
};
