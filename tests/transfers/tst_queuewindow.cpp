// The queue page, the queue buttons with the start dialog, and the transfer
// panel, through the real main window.

#include "MainWindowTest.h"
#include "ScriptedPrompts.h"

#include "app/MainMenu.h"
#include "app/ToolBarPanel.h"
#include "explorer/RowTexts.h"
#include "storage/SiteBook.h"
#include "transfers/ProgressTexts.h"
#include "transfers/RunningTransfer.h"
#include "transfers/TFormStartQueue.h"
#include "transfers/TransferProgress.h"
#include "transfers/TransferQueue.h"
#include "widgets/StatusPanels.h"
#include "widgets/TListView.h"

#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardItemModel>
#include <QTabBar>
#include <QTimeEdit>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

QueueItem download(const QString &name, uint64_t size)
{
    QueueItem item;
    item.name = name;
    item.saveFile = QStringLiteral("/home/user") + name;
    item.actions = QStringLiteral("Download");
    item.host = QStringLiteral("ftp.example.org");
    item.login = QStringLiteral("anna");
    item.password = QStringLiteral("secret");
    const QByteArray base = name.mid(name.lastIndexOf(QLatin1Char('/')) + 1).toUtf8();
    qstrncpy(item.entry.cFileName, base.constData(), sizeof item.entry.cFileName);
    setFileSize(item.entry, size);
    return item;
}

bool sameGlyph(const QIcon &icon, const char *resource)
{
    return icon.pixmap(16, 16).toImage() == QIcon(QLatin1String(resource)).pixmap(16, 16).toImage();
}

// Answers the start dialog once it shows: `act` sets it up and closes it.
void whenStartDialogShows(TForm1 &form, std::function<void(TFormStartQueue &)> act)
{
    QTimer::singleShot(0, &form, [&form, act] {
        auto *dialog = form.findChild<TFormStartQueue *>();
        QVERIFY(dialog && dialog->isVisible());
        act(*dialog);
        if (dialog->isVisible())
            dialog->reject();
    });
}

} // namespace

class TestQueueWindow : public QObject {
    Q_OBJECT
    std::unique_ptr<TForm1> form;
    std::unique_ptr<ScriptedPrompts> prompts;

private slots:
    void init()
    {
        prompts = std::make_unique<ScriptedPrompts>();
        QFile::remove(SiteBook().filePath());
        form = openMainWindow();
    }
    void cleanup()
    {
        form->FormClose();
        form.reset();
        prompts.reset();
    }

    void queuePageShowsTenColumnsAndTheItemsAdded()
    {
        TForm1 &f = *form;
        TListView *list = f.controls().ListView3;
        const QStringList captions { "Name", "Status", "Size", "Type", "Modified", "Site Name",
            "Login", "Password", "Actions", "Save File" };
        const int widths[] = { 200, 100, 75, 100, 125, 150, 100, 100, 150, 350 };
        QCOMPARE(list->columnCount(), 10);
        for (int c = 0; c < 10; ++c) {
            QCOMPARE(list->columnCaption(c), captions[c]);
            // Size is only ever widened, to fit the largest sizes.
            if (c == 2)
                QVERIFY(list->columnWidth(c) >= widths[c]);
            else
                QCOMPARE(list->columnWidth(c), widths[c]);
        }
        f.controls().TabSet1->setCurrentIndex(2);
        // Added without the hand-over, both wait.
        f.queue().addItem(download(QStringLiteral("/pub/report.pdf"), 1234567));
        f.queue().addItem(download(QStringLiteral("/pub/notes.txt"), 5000000000ULL));
        QCOMPARE(list->rowCount(), 2);
        const QStringList row0 { "/pub/report.pdf", "Waiting", RowTexts::formatSize(1234567),
            RowTexts::typeNameForFile("report.pdf"), QString(), "ftp.example.org", "anna",
            QString(8, QChar(0x25CF)) /* "secret", as dots */, "Download",
            "/home/user/pub/report.pdf" };
        for (int c = 0; c < 10; ++c)
            if (c != 4)
                QCOMPARE(list->shownModel()->index(0, c).data().toString(), row0[c]);
        QVERIFY(!list->shownModel()->index(0, 0).data(Qt::DecorationRole).value<QIcon>().isNull());
        QCOMPARE(f.controls().StatusBar1->panelText(1), QStringLiteral("Objects: 2"));
        QCOMPARE(f.controls().StatusBar1->panelText(2),
            QStringLiteral("Size: ") + RowTexts::formatSize(5001234567.0));

        emit list->columnClicked(1);
        QCOMPARE(prompts->messageTexts(), QStringList { "The queue cannot be sorted." });
        QCOMPARE(list->shownModel()->index(0, 0).data().toString(), QStringLiteral("/pub/report.pdf"));

        // The Delete command on this page removes the selected rows.
        list->selectionModel()->select(
            list->shownModel()->index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        f.controls().menu->MenuDelete->setEnabled(true);
        prompts->answer(QMessageBox::Yes);
        f.MenuDeleteClick();
        QCOMPARE(list->rowCount(), 1);
        QCOMPARE(f.controls().StatusBar1->panelText(2),
            QStringLiteral("Size: ") + RowTexts::formatSize(1234567));
    }

    void queueButtonsToggleAndTheDialogArmsTheStartOnTheInjectedClock()
    {
        TForm1 &f = *form;
        QDateTime now = QDateTime(QDate(2026, 12, 8), QTime(21, 3, 20));
        f.queue().setClock([&now] { return now; });
        QToolButton *button = f.controls().PanelExplorerTools->button(ToolBarPanel::Queue);
        QToolButton *classic = f.controls().PanelTools->button(ToolBarPanel::Queue);
        QAction *stopQueue1 = f.controls().PopupMenu4->findChild<QAction *>("StopQueue1");
        auto panel = [&f] { return f.controls().StatusBar1->panelText(3); };
        QCOMPARE(panel(), QStringLiteral("Queue: Idle"));
        QCOMPARE(button->toolTip(), QStringLiteral("Stop Queue"));
        QVERIFY(sameGlyph(button->icon(), ":/icons/QGO.svg"));

        button->click();
        QCOMPARE(panel(), QStringLiteral("Queue: Stopped"));
        for (QToolButton *b : { button, classic }) {
            QCOMPARE(b->toolTip(), QStringLiteral("Start Queue"));
            QVERIFY(sameGlyph(b->icon(), ":/icons/QSTOP.svg"));
        }
        QCOMPARE(stopQueue1->text(), QStringLiteral("&Start Queue"));
        QCOMPARE(f.controls().menu->Queue1->text(), QStringLiteral("Start &Queue"));

        // Not armed: "Now" with the current time, the picker off; "Later" arms.
        whenStartDialogShows(f, [](TFormStartQueue &d) {
            QCOMPARE(d.windowTitle(), QStringLiteral("Start Queue"));
            QVERIFY(d.RadioNow->isChecked());
            QVERIFY(!d.EditTime->isEnabled());
            QCOMPARE(d.EditTime->time(), QTime(21, 3));
            QCOMPARE(d.focusWidget(), d.ButtonOK);
            d.RadioLater->click();
            QVERIFY(d.EditTime->isEnabled());
            d.EditTime->setTime(QTime(21, 5));
            d.ButtonOK->click();
        });
        f.controls().menu->Queue1->trigger();
        QTimer *timer = f.findChild<QTimer *>(QStringLiteral("Timer1"));
        QVERIFY(timer && timer->isActive());
        QCOMPARE(timer->interval(), 15000);
        QCOMPARE(panel(), QStringLiteral("Queue: Starts: 9:05 PM"));
        QCOMPARE(button->toolTip(), QStringLiteral("Start Queue"));

        // Armed: the dialog shows "Later" with the armed time; Cancel keeps it.
        whenStartDialogShows(f, [](TFormStartQueue &d) {
            QVERIFY(d.RadioLater->isChecked());
            QVERIFY(d.EditTime->isEnabled());
            QCOMPARE(d.EditTime->time(), QTime(21, 5));
            d.ButtonCancel->click();
        });
        stopQueue1->trigger();
        QVERIFY(timer->isActive());
        QCOMPARE(panel(), QStringLiteral("Queue: Starts: 9:05 PM"));

        now = QDateTime(QDate(2026, 12, 8), QTime(21, 4, 50));
        f.queue().Timer1Timer();
        QCOMPARE(panel(), QStringLiteral("Queue: Starts: 9:05 PM"));
        now = QDateTime(QDate(2026, 12, 8), QTime(21, 5, 5));
        f.queue().Timer1Timer();
        QVERIFY(!timer->isActive());
        QCOMPARE(panel(), QStringLiteral("Queue: Idle"));
        QCOMPARE(classic->toolTip(), QStringLiteral("Stop Queue"));
        QCOMPARE(f.controls().menu->Queue1->text(), QStringLiteral("Stop &Queue"));

        // Stopped again, a double click on "Don't start" confirms it at once.
        button->click();
        whenStartDialogShows(
            f, [](TFormStartQueue &d) { QTest::mouseDClick(d.RadioNever, Qt::LeftButton); });
        button->click();
        QVERIFY(!timer->isActive());
        QVERIFY(f.queue().isStopped());
        QCOMPARE(panel(), QStringLiteral("Queue: Stopped"));
    }

    void transferPanelShowsProgressAndHidesAfterHalfASecond()
    {
        TForm1 &f = *form;
        QWidget *panel = f.controls().PanelTransfer;
        QAction *item = f.controls().menu->TransferProgress1;
        f.controls().TabSet1->setCurrentIndex(2);
        TransferProgress &p = f.progress();
        p.showPanel(2, false);
        QVERIFY(!panel->isHidden());
        QVERIFY(item->isChecked());
        QCOMPARE(f.controls().TabSet1->currentIndex(), 2); // the user's page stays
        QCOMPARE(panel->height(), 120);
        QCOMPARE(p.LabelQueue->text(), QStringLiteral("2 file(s) in queue"));

        TransferProgress::TransferFacts facts;
        facts.source = QStringLiteral("/pub/Report.PDF");
        facts.expectedSize = 1000000;
        facts.startTime = QDateTime(QDate(2026, 12, 8), QTime(12, 0));
        facts.now = facts.startTime.addSecs(10);
        facts.queueRows = 3;
        p.WinInetFTP1GetStatus(250000, facts);
        QCOMPARE(p.LabelFileName->text(), QStringLiteral("report.pdf"));
        QCOMPARE(p.LabelProgress->text(), QStringLiteral("25%"));
        QCOMPARE(p.ProgressBar1->value(), 25);
        QCOMPARE(p.LabelComplete->text(),
            ProgressTexts::completeText(250000, 1000000, QLocale::system()));
        QCOMPARE(p.LabelTime->text(), QStringLiteral("Remaining: 30 Sec"));
        QCOMPARE(p.LabelQueue->text(), QStringLiteral("3 file(s) in queue"));
        for (QWidget *w : std::initializer_list<QWidget *> {
                 p.ProgressBar1, p.LabelFileName, p.LabelTime, p.LabelQueue }) {
            QCOMPARE(w->x(), 8);
            QCOMPARE(w->width(), panel->width() - 16);
        }

        item->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(panel->isHidden(), 10000);
        QVERIFY(!item->isChecked());
        QCOMPARE(p.LabelProgress->text(), QString());
        QCOMPARE(p.ProgressBar1->value(), 0);
        QCOMPARE(p.LabelQueue->text(), QStringLiteral("0 file(s) in queue"));
        item->trigger();
        QVERIFY(!panel->isHidden());
        QVERIFY(item->isChecked());
    }

    // Two items show a line each and the queue total; back to one, the panel
    // is the one-item panel again.
    void twoRunningItemsShowALineEachAndTheQueueTotal()
    {
        TForm1 &f = *form;
        QWidget *panel = f.controls().PanelTransfer;
        TransferProgress &p = f.progress();
        p.showPanel(3, true);
        const QString longName
            = QStringLiteral("the-yearly-archive-of-every-report-we-ever-wrote.tar.gz");
        std::vector<RunningTransfer> items(2);
        items[0]
            = { 7, QStringLiteral("/pub/Report.PDF"), 250000, 1000000, 1.5 * (1 << 20), 10000 };
        items[1] = { 8, QStringLiteral("/pub/") + longName, 3 << 20, 0, -1, 2000 };
        p.showRunning(items, 5, 20 << 20);
        auto label = [panel](const char *name) { return panel->findChild<QLabel *>(name); };
        QCOMPARE(label("LabelRunning1")->text(), QStringLiteral("report.pdf"));
        QCOMPARE(label("LabelRunningState1")->text(), QStringLiteral("25% at 1.5 MB/s"));
        QCOMPARE(label("LabelRunningState2")->text(), QStringLiteral("3.0 MB"));
        QCOMPARE(label("LabelRunning2")->toolTip(), longName);
        QVERIFY(label("LabelRunning2")->text().contains(QChar(0x2026)));
        QCOMPARE(panel->findChild<QProgressBar *>("ProgressRunning1")->value(), 25);
        QCOMPARE(p.LabelQueue->text(), QStringLiteral("5 file(s) in queue, 20.0 MB left"));
        QVERIFY(!p.ProgressBar1->isVisible() && !p.LabelFileName->isVisible());
        // Top to bottom without overlap, all inside the panel.
        const QWidget *order[] = { p.Label1, label("LabelRunning1"),
            panel->findChild<QProgressBar *>("ProgressRunning1"), label("LabelRunning2"),
            panel->findChild<QProgressBar *>("ProgressRunning2"), p.LabelQueue };
        for (size_t i = 0; i < std::size(order); ++i) {
            QVERIFY(order[i]->isVisible());
            QVERIFY(order[i]->geometry().right() < panel->width());
            if (i > 0)
                QVERIFY2(order[i]->y() > order[i - 1]->geometry().bottom(),
                    order[i]->objectName().toLatin1());
        }
        QVERIFY(p.LabelQueue->geometry().bottom() < panel->height());

        p.showRunning({ items[0] }, 4, 0);
        QTRY_COMPARE(p.LabelFileName->text(), QStringLiteral("report.pdf"));
        QCOMPARE(p.LabelTime->text(), QStringLiteral("Remaining: 30 Sec at 1.5 MB/s"));
        QCOMPARE(p.LabelQueue->text(), QStringLiteral("4 file(s) in queue"));
        QVERIFY(p.ProgressBar1->isVisible() && !label("LabelRunning1")->isVisible());
        QCOMPARE(panel->height(), 120);
    }
};

VREX_WINDOW_TEST_MAIN(TestQueueWindow)
#include "tst_queuewindow.moc"
