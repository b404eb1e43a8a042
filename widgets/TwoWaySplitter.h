#pragma once

#include <QSplitter>

// A two-pane splitter whose bar position is a whole percentage of its width,
// kept when the splitter is resized and settable from code.
class TwoWaySplitter : public QSplitter {
    Q_OBJECT
public:
    explicit TwoWaySplitter(QWidget *parent = nullptr);

    int position() const { return percent; }
    void setPosition(int percentOfWidth);
    void setBarWidth(int pixels) { setHandleWidth(pixels); }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void applyPosition();
    void takePositionFromBar();

    int percent = 50;
    bool applying = false;
};
