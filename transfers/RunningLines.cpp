#include "transfers/RunningLines.h"

#include "transfers/ProgressTexts.h"

#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>

namespace {

constexpr int kTextHeight = 15;
constexpr int kBarHeight = 5;
constexpr int kLineHeight = kTextHeight + 1 + kBarHeight + 3;

// The widest state a line can show, so the state column never moves.
int stateWidth(const QLabel *label)
{
    return QFontMetrics(label->font()).horizontalAdvance(QStringLiteral("100% at 1023.9 MB/s")) + 4;
}

} // namespace

RunningLines::RunningLines(QFrame *panel) : panel(panel) { }

int RunningLines::heightOf(int count)
{
    return count * kLineHeight;
}

RunningLines::Line &RunningLines::line(int index)
{
    while (int(lines.size()) <= index) {
        const QString number = QString::number(lines.size() + 1);
        Line l;
        l.name = new QLabel(panel);
        l.name->setObjectName(QStringLiteral("LabelRunning") + number);
        l.state = new QLabel(panel);
        l.state->setObjectName(QStringLiteral("LabelRunningState") + number);
        l.state->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        l.bar = new QProgressBar(panel);
        l.bar->setObjectName(QStringLiteral("ProgressRunning") + number);
        l.bar->setRange(0, 100);
        l.bar->setTextVisible(false);
        lines.push_back(l);
    }
    return lines[size_t(index)];
}

void RunningLines::show(const std::vector<RunningTransfer> &items)
{
    for (size_t i = 0; i < items.size(); ++i) {
        const RunningTransfer &item = items[i];
        Line &l = line(int(i));
        const QString name = ProgressTexts::fileNameOf(item.name);
        if (name != l.fullName) {
            l.fullName = name;
            l.name->setToolTip(name);
            elide(l);
        }
        l.state->setText(ProgressTexts::runningText(item.bytesDone, item.size, item.speed));
        l.bar->setValue(ProgressTexts::percentage(item.bytesDone, item.size));
    }
    shown = int(items.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        const bool visible = int(i) < shown;
        lines[i].name->setVisible(visible);
        lines[i].state->setVisible(visible);
        lines[i].bar->setVisible(visible);
    }
}

void RunningLines::hide()
{
    show({});
}

int RunningLines::lay(int top, int width)
{
    int y = top;
    for (int i = 0; i < shown; ++i) {
        Line &l = lines[size_t(i)];
        const int stateW = std::min(stateWidth(l.state), width / 2);
        l.name->setGeometry(8, y, width - stateW - 4, kTextHeight);
        l.state->setGeometry(8 + width - stateW, y, stateW, kTextHeight);
        l.bar->setGeometry(8, y + kTextHeight + 1, width, kBarHeight);
        elide(l);
        y += kLineHeight;
    }
    laid = shown;
    return y;
}

// A long name loses its middle, where names differ least.
void RunningLines::elide(Line &l)
{
    const int room = l.name->width();
    l.name->setText(room > 0
            ? QFontMetrics(l.name->font()).elidedText(l.fullName, Qt::ElideMiddle, room)
            : l.fullName);
}
