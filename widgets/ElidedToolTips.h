#pragma once

#include <QObject>

class QAbstractItemView;
class QHelpEvent;

// Shows a cell's whole text as its tooltip when the cell is too narrow to
// show it; a cell that shows all of its text, or one with a tooltip of its
// own, is left alone.
class ElidedToolTips : public QObject {
    Q_OBJECT
public:
    static void install(QAbstractItemView *view);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    explicit ElidedToolTips(QAbstractItemView *view);
    bool showToolTip(QHelpEvent *help);

    QAbstractItemView *view;
};
