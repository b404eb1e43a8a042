#pragma once

#include "transfers/RunningTransfer.h"

#include <vector>

class QFrame;
class QLabel;
class QProgressBar;

// The lines of the transfer panel while several items run: each item's name,
// its percent and speed, and a thin bar under them.
class RunningLines {
public:
    explicit RunningLines(QFrame *panel);

    // One line per item; lines beyond the items hide. Texts only: the
    // geometry changes in `lay`, when the count or the width does.
    void show(const std::vector<RunningTransfer> &items);
    void hide();
    int count() const { return shown; }
    bool laidOut() const { return laid == shown; }
    // Places the shown lines from `top` on, `width` wide at x 8; returns
    // the y below the last.
    int lay(int top, int width);
    static int heightOf(int lines);

private:
    struct Line {
        QLabel *name;
        QLabel *state;
        QProgressBar *bar;
        QString fullName;
    };
    Line &line(int index);
    void elide(Line &l);

    QFrame *panel;
    std::vector<Line> lines;
    int shown = 0;
    int laid = 0;
};
