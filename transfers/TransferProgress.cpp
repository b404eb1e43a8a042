#include "transfers/TransferProgress.h"

#include "transfers/ProgressTexts.h"
#include "transfers/RunningLines.h"

#include <QAction>
#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QTabBar>
#include <QTimer>

namespace {

constexpr int kPanelHeight = 120;
constexpr int kLineHeight = 15;
constexpr int kRepaintMs = 100;

QLabel *label(QFrame *panel, const char *name, const QString &text = QString())
{
    auto *l = new QLabel(text, panel);
    l->setObjectName(QLatin1String(name));
    return l;
}

} // namespace

TransferProgress::TransferProgress(const Controls &controls, QObject *parent)
    : QObject(parent), ui(controls), hideTimer(new QTimer(this)), repaintTimer(new QTimer(this)),
      lines(std::make_unique<RunningLines>(controls.panel))
{
    ui.panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    ui.panel->setFixedHeight(kPanelHeight);
    ui.panel->hide();
    buildLabels();
    ui.panel->installEventFilter(this);
    hideTimer->setSingleShot(true);
    hideTimer->setInterval(500);
    if (ui.transferProgress1)
        ui.transferProgress1->setCheckable(true);
    repaintTimer->setSingleShot(true);
    connect(repaintTimer, &QTimer::timeout, this, &TransferProgress::paintRunning);
}

TransferProgress::~TransferProgress() = default;

void TransferProgress::buildLabels()
{
    QFrame *p = ui.panel;
    Label1 = label(p, "Label1", tr("File Transfer Status:"));
    QFont bold = Label1->font();
    bold.setBold(true);
    Label1->setFont(bold);
    LabelFileName = label(p, "LabelFileName");
    Label2 = label(p, "Label2", tr("Progress:"));
    LabelProgress = label(p, "LabelProgress");
    ProgressBar1 = new QProgressBar(p);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    LabelComplete = label(p, "LabelComplete");
    LabelTime = label(p, "LabelTime");
    LabelQueue = label(p, "LabelQueue", ProgressTexts::queueText(0));
    PanelTransferResize();
}

// Every line spans the panel less a margin of eight pixels each side.
void TransferProgress::PanelTransferResize()
{
    const int width = std::max(0, ui.panel->width() - 16);
    int y = 4;
    Label1->setGeometry(8, y, width, kLineHeight);
    if (several) {
        // The total keeps the place of the one-item queue line while there is room.
        y = lines->lay(y + kLineHeight + 1, width);
        LabelQueue->setGeometry(
            8, std::max(y, ui.panel->height() - kLineHeight - 6), width, kLineHeight);
        return;
    }
    LabelFileName->setGeometry(8, y += kLineHeight + 1, width, kLineHeight);
    Label2->setGeometry(8, y += kLineHeight + 1, Label2->sizeHint().width(), kLineHeight);
    LabelProgress->setGeometry(12 + Label2->sizeHint().width(), y, 60, kLineHeight);
    ProgressBar1->setGeometry(8, y += kLineHeight + 2, width, 12);
    LabelComplete->setGeometry(8, y += 14, width, kLineHeight);
    LabelTime->setGeometry(8, y += kLineHeight + 1, width, kLineHeight);
    LabelQueue->setGeometry(8, y += kLineHeight + 1, width, kLineHeight);
}

bool TransferProgress::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui.panel && event->type() == QEvent::Resize)
        PanelTransferResize();
    return QObject::eventFilter(watched, event);
}

void TransferProgress::showPanel(int waitingItems, bool actionPending)
{
    hideTimer->stop();
    hideTimer->disconnect();
    if (!actionPending)
        clearPanel();
    LabelQueue->setText(queueLine(waitingItems));
    ui.panel->show();
    if (ui.transferProgress1)
        ui.transferProgress1->setChecked(true);
}

void TransferProgress::hidePanel(int queueRows, bool actionPending)
{
    hideTimer->disconnect();
    connect(hideTimer, &QTimer::timeout, this, [this, queueRows, actionPending] {
        ui.panel->hide();
        if (ui.transferProgress1)
            ui.transferProgress1->setChecked(false);
        if (!actionPending)
            clearPanel();
        LabelQueue->setText(ProgressTexts::queueText(queueRows));
    });
    hideTimer->start();
}

void TransferProgress::clearPanel()
{
    repaintTimer->stop();
    running = Running();
    setSeveralLines(false);
    ProgressBar1->setValue(0);
    for (QLabel *l : { LabelFileName, LabelProgress, LabelComplete, LabelTime })
        l->clear();
}

bool TransferProgress::isShown() const
{
    return ui.transferProgress1 ? ui.transferProgress1->isChecked() : ui.panel->isVisible();
}

void TransferProgress::TransferProgress1Click(int waitingItems, int queueRows, bool actionPending)
{
    if (isShown())
        hidePanel(queueRows, actionPending);
    else
        showPanel(waitingItems, actionPending);
}

void TransferProgress::WinInetFTP1GetStatus(int64_t bytes, const TransferFacts &facts)
{
    const int64_t elapsed
        = facts.startTime.isValid() && facts.now.isValid() ? facts.startTime.msecsTo(facts.now) : 0;
    showStatus(
        bytes, facts.source, facts.expectedSize, elapsed, facts.queueRows, facts.bytesPerSecond);
}

void TransferProgress::showStatus(int64_t bytes, const QString &source, int64_t expected,
    int64_t elapsedMs, int queueRows, double bytesPerSecond)
{
    const int percent = ProgressTexts::percentage(bytes, expected);
    ProgressBar1->setValue(percent);
    LabelFileName->setText(ProgressTexts::fileNameOf(source));
    LabelProgress->setText(ProgressTexts::progressText(percent, expected));
    LabelComplete->setText(ProgressTexts::completeText(bytes, expected, QLocale::system()));
    LabelQueue->setText(queueLine(queueRows));
    LabelTime->setText(ProgressTexts::timeText(percent, expected, elapsedMs, bytesPerSecond));
}

void TransferProgress::showRunning(
    const std::vector<RunningTransfer> &items, int queueRows, int64_t bytesLeft)
{
    running = { items, queueRows, bytesLeft };
    if (repaintTimer->isActive())
        return;
    const qint64 since = sincePaint.isValid() ? sincePaint.elapsed() : kRepaintMs;
    if (since >= kRepaintMs)
        paintRunning();
    else
        repaintTimer->start(int(kRepaintMs - since));
}

void TransferProgress::paintRunning()
{
    sincePaint.start();
    const std::vector<RunningTransfer> &items = running.items;
    if (items.size() >= 2) {
        lines->show(items);
        setSeveralLines(true);
        LabelQueue->setText(currentFolderSummary().isEmpty()
                ? ProgressTexts::queueTotalText(running.queueRows, running.bytesLeft)
                : queueLine(running.queueRows));
        return;
    }
    if (items.empty()) {
        // The one item's lines keep their last texts, as between two items of
        // a queue; after several, they would be older than that.
        const int rows = running.queueRows;
        if (several)
            clearPanel();
        LabelQueue->setText(ProgressTexts::queueText(rows));
        return;
    }
    setSeveralLines(false);
    const RunningTransfer &one = items.front();
    showStatus(one.bytesDone, one.name, one.size, one.elapsedMs, running.queueRows, one.speed);
}

// Several items trade the one item's lines for a line each; the panel grows
// when they need more room than one item's lines took.
void TransferProgress::setSeveralLines(bool on)
{
    const int count = on ? lines->count() : 0;
    const int height = std::max(
        kPanelHeight, 4 + kLineHeight + 1 + RunningLines::heightOf(count) + kLineHeight + 6);
    if (on == several && ui.panel->height() == height && (!on || lines->laidOut()))
        return;
    several = on;
    if (!on)
        lines->hide();
    for (QWidget *w : std::initializer_list<QWidget *> {
             LabelFileName, Label2, LabelProgress, ProgressBar1, LabelComplete, LabelTime })
        w->setVisible(!on);
    ui.panel->setFixedHeight(height);
    PanelTransferResize();
}

void TransferProgress::showComplete()
{
    ProgressBar1->setValue(100);
    LabelTime->setText(tr("Transfer complete"));
}

void TransferProgress::setFolderSummary(const QString &text)
{
    folderSummary = text;
}

void TransferProgress::setFolderSummarySource(std::function<QString()> source)
{
    folderSummarySource = std::move(source);
}

QString TransferProgress::currentFolderSummary() const
{
    return folderSummarySource ? folderSummarySource() : folderSummary;
}

QString TransferProgress::queueLine(int files) const
{
    // The panel is narrow: while a folder's files run its summary says more
    // than the count, which stays in the tool tip.
    const QString queue = ProgressTexts::queueText(files);
    const QString summary = currentFolderSummary();
    LabelQueue->setToolTip(summary.isEmpty() ? QString() : queue);
    return summary.isEmpty() ? queue : QStringLiteral("Folder: ") + summary;
}
