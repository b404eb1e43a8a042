#pragma once

#include "transfers/RunningTransfer.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QAction;
class QFrame;
class QLabel;
class QProgressBar;
class QTabBar;
class QTimer;
class RunningLines;

// The transfer panel PanelTransfer under the site tree: file name, progress
// bar, bytes done, remaining time and queue count, and the View menu item
// that shows and hides it.
class TransferProgress : public QObject {
    Q_OBJECT
public:
    struct Controls {
        QFrame *panel = nullptr; // PanelTransfer, built empty by the layout
        QAction *transferProgress1 = nullptr; // View menu item
        QTabBar *tabs = nullptr;
    };
    // What one status event needs to know about the transfer under way.
    struct TransferFacts {
        QString source;
        int64_t expectedSize = 0; // 0: unknown
        QDateTime startTime;
        QDateTime now;
        int queueRows = 0;
        double bytesPerSecond = -1; // over the last few seconds; -1: not known yet
    };

    TransferProgress(const Controls &controls, QObject *parent = nullptr);
    ~TransferProgress() override;

    // Shows the panel where it lives; the page the user is on stays.
    // A panel with no action pending starts empty.
    void showPanel(int waitingItems, bool actionPending);
    // Hides the panel after half a second, the window staying responsive.
    void hidePanel(int queueRows, bool actionPending);
    void clearPanel();
    bool isShown() const;
    void TransferProgress1Click(int waitingItems, int queueRows, bool actionPending);

    // The status event: the texts and the bar for `bytes` done.
    void WinInetFTP1GetStatus(int64_t bytes, const TransferFacts &facts);
    // The end of a quick download.
    void showComplete();
    // Beside the queue count while a folder's files run; empty: none.
    void setFolderSummary(const QString &text);
    // Or where it comes from, asked only when the panel is painted.
    void setFolderSummarySource(std::function<QString()> source);

    // The items under way: one shows as a status event would show it; several
    // show a line each and the queue total (`queueRows` files, `bytesLeft`
    // still to move). Called as often as progress comes; the panel follows
    // at most ten times a second, the first call at once.
    void showRunning(const std::vector<RunningTransfer> &items, int queueRows, int64_t bytesLeft);

    QLabel *Label1, *LabelFileName, *Label2, *LabelProgress, *LabelComplete, *LabelTime,
        *LabelQueue;
    QProgressBar *ProgressBar1;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildLabels();
    void PanelTransferResize();
    void showStatus(int64_t bytes, const QString &source, int64_t expected, int64_t elapsedMs,
        int queueRows, double bytesPerSecond);
    void paintRunning();
    void setSeveralLines(bool several);
    QString queueLine(int files) const;
    QString currentFolderSummary() const;

    Controls ui;
    QTimer *hideTimer;
    QTimer *repaintTimer; // holds back what comes within a tenth of a second
    QElapsedTimer sincePaint;
    std::unique_ptr<RunningLines> lines;
    struct Running {
        std::vector<RunningTransfer> items;
        int queueRows = 0;
        int64_t bytesLeft = 0;
    } running;
    bool several = false;
    QString folderSummary;
    std::function<QString()> folderSummarySource;
};
