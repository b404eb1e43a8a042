// The queue's rules on their own: the scheduled start against a clock the
// test moves, the order in which items start, and which rows may leave.

#include "ScriptedPrompts.h"

#include "transfers/QueueRules.h"
#include "transfers/TransferQueue.h"
#include "widgets/StatusPanels.h"
#include "widgets/TListView.h"

#include <QAction>
#include <QItemSelectionModel>
#include <QStandardItemModel>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <memory>

namespace {

QueueItem download(const QString &name, uint64_t size)
{
    QueueItem item;
    item.name = name;
    item.saveFile = QStringLiteral("/tmp") + name;
    item.actions = QStringLiteral("Download");
    item.host = QStringLiteral("127.0.0.1");
    setFileSize(item.entry, size);
    return item;
}

// The queue with the controls it works on and a port that records what it
// was asked to start; a started transfer runs until the test ends it.
struct QueueUnderTest {
    TListView list;
    QToolButton speed, explorer;
    QAction stopQueue1 { nullptr }, removeFromQueue1 { nullptr }, queue1 { nullptr };
    StatusPanels bar;
    std::unique_ptr<TransferQueue> queue;
    QDateTime clock;
    QStringList started;
    bool running = false;
    bool accept = true;
    double shownTotal = -1;

    QueueUnderTest()
    {
        TransferQueue::addColumns(&list);
        list.setMultiSelect(true);
        for (int i = 0; i < 4; ++i)
            bar.addPanel(QString(), 100);
        queue = std::make_unique<TransferQueue>(TransferQueue::Controls {
            &list, &speed, &explorer, &stopQueue1, &removeFromQueue1, nullptr, &queue1, &bar });
        TransferQueue::Port port;
        port.operationRunning = [this] { return running; };
        port.transferRunning = [this] { return running; };
        port.startTransfer = [this](const QueueItem &item) {
            if (!accept)
                return false;
            started << item.name;
            running = true;
            return true;
        };
        queue->setPort(port);
        TransferQueue::Services services;
        services.clock = [this] { return clock; };
        services.sizeTotalChanged = [this](double total) { shownTotal = total; };
        queue->setServices(services);
    }
    // What the transfer done handling does after a success.
    void finishTransfer()
    {
        running = false;
        queue->finishCurrentItem();
        queue->queueStep(true);
    }
    QString panel() const { return bar.panelText(3); }
    void select(int row)
    {
        list.selectionModel()->select(
            list.shownModel()->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
};

QDateTime at(const QString &dateTime)
{
    return QDateTime::fromString(dateTime, QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

} // namespace

class TestQueueRules : public QObject {
    Q_OBJECT
    std::unique_ptr<ScriptedPrompts> prompts;

private slots:
    void init() { prompts = std::make_unique<ScriptedPrompts>(); }
    void cleanup() { prompts.reset(); }

    void actionWordsAreReadByContainment_data()
    {
        QTest::addColumn<QString>("actions");
        QTest::addColumn<QString>("word");
        QTest::addColumn<bool>("opensAfter");
        QTest::addColumn<bool>("checksNewer");
        QTest::newRow("download") << "Download"
                                  << "Download" << false << false;
        QTest::newRow("download and open") << "Download, Open"
                                           << "Download" << true << false;
        QTest::newRow("download if newer") << "Download, Newer"
                                           << "Download" << false << true;
        QTest::newRow("send") << "Send"
                              << "Send" << false << false;
        QTest::newRow("an upload is never opened") << "Send, Open"
                                                   << "Send" << false << false;
        QTest::newRow("neither") << "Copy" << QString() << false << false;
    }
    void actionWordsAreReadByContainment()
    {
        QueueItem item;
        QFETCH(QString, actions);
        item.actions = actions;
        QTEST(item.transferWord(), "word");
        QTEST(item.opensAfter(), "opensAfter");
        QTEST(item.checksNewer(), "checksNewer");
    }

    void panelTexts_data()
    {
        QTest::addColumn<bool>("stopped");
        QTest::addColumn<bool>("armed");
        QTest::addColumn<QTime>("scheduled");
        QTest::addColumn<QString>("text");
        QTest::newRow("running") << false << false << QTime(21, 5) << "Queue: Idle";
        QTest::newRow("stopped") << true << false << QTime(21, 5) << "Queue: Stopped";
        QTest::newRow("armed evening") << true << true << QTime(21, 5) << "Queue: Starts: 9:05 PM";
        QTest::newRow("armed after midnight")
            << true << true << QTime(0, 10) << "Queue: Starts: 12:10 AM";
        QTest::newRow("armed noon") << true << true << QTime(12, 0) << "Queue: Starts: 12:00 PM";
        QTest::newRow("armed morning, seconds unseen")
            << true << true << QTime(9, 5, 59) << "Queue: Starts: 9:05 AM";
    }
    void panelTexts()
    {
        QFETCH(bool, stopped);
        QFETCH(bool, armed);
        QFETCH(QTime, scheduled);
        QTEST(QueueRules::panelText(stopped, armed, scheduled), "text");
    }

    // The question after Stop names the files under way when there are several.
    void stopQuestionNamesTheItemsItConcerns_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("question");
        QTest::newRow("none ran: nothing to ask") << QStringList {} << QString();
        QTest::newRow("one: the current file")
            << QStringList { "a.txt" }
            << "The queue has been stopped.  Do you want to remove the current file from the "
               "queue?";
        QTest::newRow("three, each on a line of its own")
            << QStringList { "a.txt", "b c.bin", "d.iso" }
            << "The queue has been stopped.  Do you want to remove the 3 files that were in "
               "progress from the queue?\r\r\"a.txt\"\r\"b c.bin\"\r\"d.iso\"";
    }
    void stopQuestionNamesTheItemsItConcerns()
    {
        QFETCH(QStringList, names);
        QTEST(QueueRules::stopQuestion(names), "question");
    }

    // The timer ticks every 15 s from the moment it was armed; the queue
    // starts at the first tick inside the chosen minute.
    void scheduledStartRunsAtTheFirstTickInsideTheChosenMinute_data()
    {
        QTest::addColumn<QDateTime>("armedAt");
        QTest::addColumn<QTime>("chosen");
        QTest::addColumn<QDateTime>("startsAt");
        QTest::newRow("a minute two ahead")
            << at("2026-12-08 21:03:20") << QTime(21, 5) << at("2026-12-08 21:05:05");
        QTest::newRow("across midnight")
            << at("2026-12-08 23:50:00") << QTime(0, 10) << at("2026-12-09 00:10:00");
        QTest::newRow("a passed minute waits for the next day")
            << at("2026-12-08 23:50:00") << QTime(23, 40) << at("2026-12-09 23:40:00");
        QTest::newRow("the same minute starts at the first tick")
            << at("2026-12-08 09:05:30") << QTime(9, 5) << at("2026-12-08 09:05:45");
    }
    void scheduledStartRunsAtTheFirstTickInsideTheChosenMinute()
    {
        QFETCH(QDateTime, armedAt);
        QFETCH(QTime, chosen);
        QFETCH(QDateTime, startsAt);
        QueueUnderTest t;
        t.clock = armedAt;
        t.queue->stopQueue();
        t.queue->addItem(download(QStringLiteral("/a.bin"), 10));
        t.queue->applyStartChoice(TransferQueue::StartChoice::Later, chosen);
        t.queue->queueStep(false);
        QVERIFY(t.queue->timer()->isActive());
        QCOMPARE(t.queue->timer()->interval(), 15000);
        QCOMPARE(t.panel(), QueueRules::panelText(true, true, chosen));
        QVERIFY(t.started.isEmpty());
        while (t.started.isEmpty() && t.clock < armedAt.addDays(2)) {
            t.clock = t.clock.addSecs(15);
            t.queue->Timer1Timer();
        }
        QCOMPARE(t.clock, startsAt);
        QCOMPARE(t.started, QStringList { "/a.bin" });
        QVERIFY(!t.queue->isStopped());
        QVERIFY(!t.queue->timer()->isActive());
        QCOMPARE(t.panel(), QStringLiteral("Queue: Running")); // its item started
        QCOMPARE(t.speed.toolTip(), QStringLiteral("Stop Queue"));
    }

    void itemsStartOneAfterAnotherAndTheTotalFollowsTheRows()
    {
        QueueUnderTest t;
        t.queue->startQueue(false);
        for (const char *name : { "/a", "/b", "/c" }) {
            t.queue->addItem(download(QLatin1String(name), 5000000000ULL));
            t.queue->afterAdding();
        }
        QCOMPARE(t.started, QStringList { "/a" });
        QCOMPARE(t.queue->statusOfRow(0), QStringLiteral("In Progress"));
        QCOMPARE(t.queue->statusOfRow(2), QStringLiteral("Waiting"));
        QCOMPARE(t.list.shownModel()->index(0, 1).data().toString(), QStringLiteral("In Progress"));
        QCOMPARE(t.queue->byteTotal(), 15000000000ULL);
        QCOMPARE(t.shownTotal, 15000000000.0);
        QCOMPARE(t.panel(), QStringLiteral("Queue: Running"));
        t.finishTransfer();
        QCOMPARE(t.started, (QStringList { "/a", "/b" }));
        QCOMPARE(t.queue->count(), 2);
        t.finishTransfer();
        t.finishTransfer();
        QCOMPARE(t.started, (QStringList { "/a", "/b", "/c" }));
        QCOMPARE(t.queue->count(), 0);
        QCOMPARE(t.list.shownModel()->rowCount(), 0);
        QCOMPARE(t.shownTotal, 0.0);
        QCOMPARE(t.panel(), QStringLiteral("Queue: Idle"));
    }

    void aStartNobodyTakesLeavesTheItemWaiting()
    {
        QueueUnderTest t;
        t.accept = false;
        t.queue->addItem(download(QStringLiteral("/a"), 1));
        QVERIFY(!t.queue->queueStep(false));
        QCOMPARE(t.queue->statusOfRow(0), QStringLiteral("Waiting"));
        // A stopped queue names its next item but starts nothing.
        t.accept = true;
        t.queue->stopQueue();
        QVERIFY(t.started.isEmpty());
        QCOMPARE(t.queue->currentItem(), t.queue->itemAt(0).id);
        QCOMPARE(t.panel(), QStringLiteral("Queue: Stopped"));
    }

    // A start the engine refuses at once ends inside the call that made it;
    // the step then runs again from within itself.
    void transfersThatEndInsideTheirOwnStartEmptyTheQueue()
    {
        QueueUnderTest t;
        TransferQueue::Port port;
        port.startTransfer = [&t](const QueueItem &item) {
            t.started << item.name;
            t.queue->finishCurrentItem();
            t.queue->queueStep(true);
            return true;
        };
        t.queue->setPort(port);
        t.queue->stopQueue();
        for (const char *name : { "/a", "/b", "/c" })
            t.queue->addItem(download(QLatin1String(name), 7));
        QVERIFY(t.queue->startQueue(false));
        QCOMPARE(t.started, (QStringList { "/a", "/b", "/c" }));
        QCOMPARE(t.queue->count(), 0);
        QCOMPARE(t.queue->byteTotal(), 0ULL);
    }

    void removingRowsKeepsTheRunningOneUntilItsTransferEnded()
    {
        QueueUnderTest t;
        for (const char *name : { "/a", "/b", "/c" }) {
            t.queue->addItem(download(QLatin1String(name), 100));
            t.queue->afterAdding();
        }
        // Every row selected while /a runs: the others go, /a stays with the message.
        for (int row = 0; row < 3; ++row)
            t.select(row);
        t.queue->PopupMenu4Popup();
        QVERIFY(t.removeFromQueue1.isEnabled());
        prompts->answer(QMessageBox::Yes);
        t.queue->RemovefromQueue1Click();
        QCOMPARE(prompts->messageTexts(),
            (QStringList { "Are you sure you want to remove the selected items?",
                "You cannot remove the active file from the queue.  Press Stop, "
                "then delete." }));
        QCOMPARE(prompts->asked[1].icon, Prompts::Icon::Error);
        QCOMPARE(t.queue->count(), 1);
        QCOMPARE(t.queue->byteTotal(), 100ULL);

        // Stopped, but its transfer still runs: it stays.
        t.queue->stopQueue();
        t.select(0);
        prompts->clear();
        prompts->answer(QMessageBox::Yes);
        t.queue->RemovefromQueue1Click();
        QCOMPARE(t.queue->count(), 1);
        QCOMPARE(prompts->asked.size(), 2);

        // Answering No removes nothing; once the transfer ended it can go.
        t.running = false;
        prompts->clear();
        prompts->answer(QMessageBox::No);
        t.queue->RemovefromQueue1Click();
        QCOMPARE(t.queue->count(), 1);
        prompts->answer(QMessageBox::Yes);
        t.queue->RemovefromQueue1Click();
        QCOMPARE(t.queue->count(), 0);
        QCOMPARE(t.shownTotal, 0.0);
        t.queue->PopupMenu4Popup();
        QVERIFY(!t.removeFromQueue1.isEnabled());
    }

    void stopCommandAsksAboutTheItemInProgress_data()
    {
        QTest::addColumn<bool>("remove");
        QTest::addColumn<QStringList>("rowsAfter");
        QTest::addColumn<QString>("firstStatus");
        QTest::newRow("yes removes it") << true << QStringList { "/b" } << "Waiting";
        QTest::newRow("no puts it back to waiting")
            << false << QStringList { "/a", "/b" } << "Waiting";
    }
    void stopCommandAsksAboutTheItemInProgress()
    {
        QFETCH(bool, remove);
        QFETCH(QStringList, rowsAfter);
        QueueUnderTest t;
        for (const char *name : { "/a", "/b" }) {
            t.queue->addItem(download(QLatin1String(name), 3));
            t.queue->afterAdding();
        }
        t.running = false; // the Stop command cancelled it
        prompts->answer(remove ? QMessageBox::Yes : QMessageBox::No);
        t.queue->afterStopCommand();
        QCOMPARE(prompts->messageTexts(),
            QStringList { "The queue has been stopped.  Do you want to remove the current "
                          "file from the queue?" });
        QStringList rows;
        for (int row = 0; row < t.queue->count(); ++row)
            rows << t.queue->itemAt(row).name;
        QCOMPARE(rows, rowsAfter);
        QTEST(t.queue->statusOfRow(0), "firstStatus");
        QVERIFY(t.queue->isStopped());
        QCOMPARE(t.queue->byteTotal(), uint64_t(3 * rowsAfter.size()));
        QCOMPARE(t.panel(), QStringLiteral("Queue: Stopped"));
    }

    // Several at once: the step fills the room it is given, in order; an
    // item whose server took no more logins waits again without failing;
    // Stop asks once about every item it ended, naming them.
    void severalItemsRunAtOnceAndStopAsksAboutAllOfThem()
    {
        QueueUnderTest t;
        int room = 2;
        TransferQueue::Port port;
        port.startTransfer = [&](const QueueItem &item) {
            t.started << item.name;
            --room;
            return true;
        };
        port.hasRoom = [&] { return room > 0; };
        t.queue->setPort(port);
        for (const char *name : { "/a", "/b", "/c", "/d" })
            t.queue->addItem(download(QLatin1String(name), 5));
        QVERIFY(t.queue->queueStep(false));
        QCOMPARE(t.started, (QStringList { "/a", "/b" }));
        const uint64_t a = t.queue->itemAt(0).id, b = t.queue->itemAt(1).id;
        QCOMPARE(t.queue->inProgressIds(), (std::vector<uint64_t> { a, b }));
        t.queue->requeueItem(a);
        QVERIFY(t.queue->finishItem(b));
        ++room;
        QVERIFY(t.queue->queueStep(false));
        QCOMPARE(t.started, (QStringList { "/a", "/b", "/a" }));
        ++room;
        QVERIFY(t.queue->queueStep(false));
        QCOMPARE(t.started.last(), QStringLiteral("/c"));
        prompts->answer(QMessageBox::No);
        t.queue->afterStopCommand(t.queue->inProgressIds());
        QCOMPARE(prompts->messageTexts(),
            QStringList { "The queue has been stopped.  Do you want to remove the 2 files that "
                          "were in progress from the queue?\r\r\"a\"\r\"c\"" });
        QCOMPARE(t.queue->waitingCount(), 3);
        QCOMPARE(t.queue->firstFailedRow(), -1);
        QVERIFY(!t.queue->finishItem(a)); // waiting again: not the end of a transfer
    }
};

QTEST_MAIN(TestQueueRules)
#include "tst_queuerules.moc"
