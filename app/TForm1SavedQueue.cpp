// The queue outlasts the program: it is saved as it changes and comes back
// at start-up.

#include "app/TForm1.h"

#include "platform/Prompts.h"
#include "transfers/QueueFile.h"
#include "transfers/QueueSaver.h"
#include "transfers/TransferQueue.h"

void TForm1::restoreSavedQueue()
{
    auto file = std::make_unique<QueueFile>();
    const QueueFile::LoadResult saved = file->load();
    if (saved.status == QueueFile::LoadStatus::Invalid)
        Prompts::error(QueueFile::kInvalidMessage);
    for (const QueueItem &item : saved.items)
        transferQueue->restoreItem(item);
    // Nothing starts behind the user's back: the items wait for Start Queue.
    if (!saved.items.empty())
        transferQueue->stopQueue();
    queueSaver
        = new QueueSaver(std::move(file), [this] { return transferQueue->items(); }, this);
    queueSaver->reportFailure = [](const QString &message) { Prompts::error(message); };
    queueSaver->watch(transferQueue->rows());
}
