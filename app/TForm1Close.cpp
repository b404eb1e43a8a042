// Closing the main window: the one question about what runs and waits, then
// the order in which everything is saved and let go.

#include "app/TForm1.h"

#include "app/AppInfo.h"
#include "app/WindowMemory.h"
#include "dispatch/TransferLanes.h"
#include "explorer/DirectoryMap.h"
#include "explorer/SiteTree.h"
#include "platform/HelpViewer.h"
#include "platform/Prompts.h"
#include "platform/TempFolder.h"
#include "transfers/QueueRules.h"
#include "transfers/QueueSaver.h"
#include "transfers/TransferQueue.h"

#include <QCloseEvent>
#include <QFileInfo>

void TForm1::closeEvent(QCloseEvent *event)
{
    if (closing || FormCloseQuery()) {
        if (!closing)
            FormClose();
        event->accept();
    } else {
        event->ignore();
    }
}

// One question names what runs and what waits; No is its default, so a
// stray Enter never ends a transfer.
bool TForm1::FormCloseQuery()
{
    const QString question = closeQuestion();
    if (!question.isEmpty()
        && Prompts::current().choose(
               AppInfo::kTitle, question, { tr("&Yes"), tr("&No") }, 1, Prompts::Icon::Question)
            != 0)
        return false;
    // Nothing starts from here on; the close cancels what runs.
    transferQueue->setClosing();
    return true;
}

QString TForm1::closeQuestion() const
{
    const int waiting = transferQueue->waitingCount();
    const QStringList names = transferLanes->runningNames();
    const bool running = dispatch.transferRunning() || !names.isEmpty();
    const QString name = dispatch.transferRunning() ? QFileInfo(dispatch.transfer.source).fileName()
                                                    : names.join(QStringLiteral(", "));
    return QueueRules::closeQuestion(running ? name : QString(), waiting);
}

void TForm1::FormClose()
{
    memory->save();
    setWindowTitle(QStringLiteral("Vrex-Closing..."));
    hide();
    closing = true;
    siteTree->closing = true;
    // Saved as the user left it, before the close cancels what runs: the
    // item under way comes back waiting, not failed.
    if (queueSaver)
        queueSaver->saveNowAndStop();
    finishRunningOperations();
    sites.FreeSiteList();
    for (PoolId id : { PoolId::DirectoryMap, PoolId::Uploads, PoolId::Watches })
        siteTree->pool(id).release();
    if (!siteTree->currentConnection().host.isEmpty())
        WinInetFTP1->Disconnect();
    TempFolder::clean();
    helpViewer->quit();
}
