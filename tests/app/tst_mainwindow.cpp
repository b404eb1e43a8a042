// The main window as a person meets it: what it shows at start, what its
// frame commands do, and how it asks before closing.

#include "MainWindowTest.h"
#include "ScriptedPrompts.h"
#include "TestEnvironment.h"

#include "app/MainMenu.h"
#include "app/TForm1.h"
#include "app/TFormOptions.h"
#include "app/ToolBarPanel.h"
#include "app/VrexApplication.h"
#include "explorer/TFormMessage.h"
#include "platform/HelpViewer.h"
#include "platform/IconList.h"
#include "platform/TempFolder.h"
#include "storage/TRegFile.h"
#include "transfers/TransferQueue.h"
#include "transfers/TransferSettings.h"
#include "widgets/StatusPanels.h"
#include "widgets/TListView.h"
#include "widgets/TwoWaySplitter.h"

#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QToolButton>
#include <QTreeWidget>
#include <QWindow>
#include <QtTest>

#include <memory>

namespace {

QString readSetting(const QString &name)
{
    TRegFile reg;
    reg.setKey(QStringLiteral("SOFTWARE\\Orvane\\Vrex Explorer"));
    TaggedValue v;
    reg.ReadValue(name, v);
    return v.isNull() ? QStringLiteral("<null>") : v.toString();
}

void writeSetting(const QString &name, const QString &value)
{
    TRegFile reg;
    reg.setKey(QStringLiteral("SOFTWARE\\Orvane\\Vrex Explorer"));
    reg.WriteValue(name, TaggedValue(value));
}

void writeSiteBook(const QStringList &descriptions)
{
    SiteBook book;
    QFile::remove(book.filePath());
    for (const QString &d : descriptions) {
        TSiteRecord site;
        site.FTPSite = QStringLiteral("127.0.0.1:1");
        site.Description = d;
        site.Directory = QStringLiteral("/");
        book.InsertSite(site);
    }
    if (!descriptions.isEmpty())
        book.SaveSiteBook();
}

QStringList itemsOf(const QComboBox *combo)
{
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    return items;
}

// Adds a download as the file commands do; an "In Progress" one is taken by
// a port that accepts every transfer, a "Waiting" one by none.
void addQueueRow(TForm1 &form, const QString &name, const QString &status)
{
    TransferQueue::Port port;
    const bool start = status == QLatin1String("In Progress");
    port.startTransfer = [start](const QueueItem &) { return start; };
    form.queue().setPort(port);
    QueueItem item;
    item.name = name;
    item.actions = QStringLiteral("Download");
    form.queue().addItem(item);
    form.queue().afterAdding();
    QCOMPARE(form.queue().statusOfRow(form.queue().count() - 1), status);
}

struct ActionState {
    const char *name;
    QString text;
    QKeySequence shortcut;
    bool enabled;
    bool visible;
};

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<TForm1> form;
    std::unique_ptr<ScriptedPrompts> prompts;

    TForm1 &open()
    {
        form = openMainWindow();
        return *form;
    }

private slots:
    void init()
    {
        prompts = std::make_unique<ScriptedPrompts>();
        writeSiteBook({});
    }

    void cleanup() { endWindowTest(form, prompts); }

    void startsWithTheFrameOfTheWindow()
    {
        TForm1 &f = open();
        QCOMPARE(f.windowTitle(), QStringLiteral("Vrex Explorer"));
        QCOMPARE(f.size(), QSize(720, 425));
        QTabBar *tabs = f.findChild<QTabBar *>(QStringLiteral("TabSet1"));
        QCOMPARE(tabs->count(), 3);
        QCOMPARE(tabs->tabText(0), QStringLiteral("FTP Site"));
        QCOMPARE(tabs->tabText(1), QStringLiteral("File Watch List"));
        QCOMPARE(tabs->tabText(2), QStringLiteral("Download && Send Queue"));
        QCOMPARE(tabs->currentIndex(), 0);
        QCOMPARE(f.controls().Notebook1->currentIndex(), 0);

        auto *bar = f.findChild<StatusPanels *>(QStringLiteral("StatusBar1"));
        QCOMPARE(bar->panelCount(), 5);
        QCOMPARE(bar->panelText(0), QStringLiteral("Status: Ready"));
        // Loading the watch list at start-up counts the (empty) file list.
        QCOMPARE(bar->panelText(1), QStringLiteral("Objects: 0"));
        QCOMPARE(bar->panelText(2), QStringLiteral("Size: 0"));
        QCOMPARE(bar->panelText(3), QStringLiteral("Queue: Idle"));
        // Not connected: nothing to say about encryption.
        QCOMPARE(bar->panelText(4), QString());
        const int widths[] = { 200, 110, 145, 100, 120 };
        auto panel = [bar](int i) {
            return bar->findChild<QWidget *>(QStringLiteral("StatusBar1Panel%1").arg(i));
        };
        // The status keeps its width; the others are as wide as their longest text.
        QCOMPARE(panel(0)->width(), widths[0]);
        for (const char *longest : { "Queue: Starts: 10:00 PM", "Queue: Stopped" })
            QVERIFY(panel(3)->contentsRect().width()
                >= panel(3)->fontMetrics().horizontalAdvance(QLatin1String(longest)));
        // The last panel takes the rest of the bar, up to the size grip.
        QVERIFY(panel(4)->geometry().right() > bar->width() - 30);

        QCOMPARE(f.findChild<TwoWaySplitter *>(QStringLiteral("TwoWaySplitter1"))->position(), 35);
        QCOMPARE(f.findChild<TwoWaySplitter *>(QStringLiteral("TwoWaySplitter2"))->position(), 40);
        QCOMPARE(f.findChild<TwoWaySplitter *>(QStringLiteral("TwoWaySplitter3"))->position(), 40);
        QCOMPARE(f.findChild<QLabel *>(QStringLiteral("PanelTree"))->text(),
            QStringLiteral("  All FTP Sites:"));
        QVERIFY(!f.findChild<QWidget *>(QStringLiteral("TreeView2"))->isVisible());
        QVERIFY(!f.findChild<QWidget *>(QStringLiteral("PanelTransfer"))->isVisible());

        QTreeWidget *tree = f.controls().TreeView1;
        QCOMPARE(tree->topLevelItemCount(), 1);
        QCOMPARE(tree->topLevelItem(0)->text(0), QStringLiteral("My FTP Sites"));
        QCOMPARE(tree->topLevelItem(0)->childCount(), 0);
        QVERIFY(tree->currentItem() == nullptr || tree->currentItem() == tree->topLevelItem(0));

        TListView *list = f.controls().ListView1;
        QCOMPARE(list->viewStyle(), TViewStyle::vsReport);
        const QStringList columns = { "Name", "Size", "Type", "Modified" };
        const int columnWidths[] = { 150, 75, 100, 125 };
        for (int c = 0; c < 4; ++c) {
            QCOMPARE(list->columnCaption(c), columns[c]);
            // Size is only ever widened, to fit the largest sizes (tst_comfort).
            if (c == 1)
                QVERIFY(list->columnWidth(c) >= columnWidths[c]);
            else
                QCOMPARE(list->columnWidth(c), columnWidths[c]);
        }
        QCOMPARE(f.controls().ListView3->columnCaption(9), QStringLiteral("Save File"));
        QCOMPARE(f.controls().ListView2->columnCaption(7), QStringLiteral("Password"));
    }

    void menusHoldEveryItemWithItsCaptionShortcutAndState()
    {
        TForm1 &f = open();
        const QKeySequence none;
        // A hidden item also reads as disabled, so its shortcut cannot fire.
        const ActionState expected[] = {
            { "MenuOpen", "&Open", none, true, true },
            { "MenuDownload", "&Download...", none, true, true },
            { "MenuNewer", "Download if &Newer...", none, true, true },
            { "MenuUpload", "&Upload...", none, false, true },
            { "MenuDelete", "De&lete", none, true, true },
            { "RenameFile1", "&Rename", QKeySequence(Qt::Key_F2), false, true },
            { "CreateDirectory1", "&Create Folder", none, true, true },
            { "MenuAdd", "Add to &Watch List...", none, true, true },
            { "Exit1", "E&xit", QKeySequence(Qt::ALT | Qt::Key_F4), true, true },
            { "New1", "Ne&w...", QKeySequence(Qt::CTRL | Qt::Key_N), true, true },
            { "Edit1", "&Edit...", none, false, true },
            { "Delete2", "&Delete", none, false, true },
            { "DownloadSite1", "Download &Site Structure", none, false, false },
            { "Queue1", "Stop &Queue", none, true, true },
            { "TransferProgress1", "&Transfer Progress", none, true, true },
            { "LastMessage1", "Last FTP Welcome &Message...", none, true, true },
            { "LargeIcons1", "Lar&ge Icons", none, true, true },
            { "SmallIcons1", "S&mall Icons", none, true, true },
            { "List1", "&List", none, true, true },
            { "Details1", "&Details", none, true, true },
            { "Files1", "&Files", QKeySequence(Qt::Key_F5), false, true },
            { "All1", "&All", none, false, true },
            { "ExplorerStyleButtons1", "Internet E&xplorer Style Buttons", none, false, false },
            { "Contents1", "&Contents...", QKeySequence(Qt::Key_F1), true, true },
            { "WebTour1", "Web &Tour of Vrex Explorer...", none, true, true },
            { "About1", "&About...", none, true, true },
        };
        for (const ActionState &e : expected) {
            auto *a = f.findChild<QAction *>(QLatin1String(e.name));
            QVERIFY2(a, e.name);
            QCOMPARE(a->text(), e.text);
            QCOMPARE(a->shortcut(), e.shortcut);
            QVERIFY2(a->isEnabled() == e.enabled, e.name);
            QVERIFY2(a->isVisible() == e.visible, e.name);
        }
        QVERIFY(f.findChild<QAction *>(QStringLiteral("Details1"))->isChecked());
        QVERIFY(f.findChild<QAction *>(QStringLiteral("ExplorerStyleButtons1"))->isChecked());
        QStringList titles;
        for (QAction *a : f.menuBar()->actions())
            titles << a->text();
        QCOMPARE(titles, (QStringList { "&File", "&Site", "&View", "&Help" }));
    }

    void bothToolBarsHaveEveryButtonWithHintAndState()
    {
        TForm1 &f = open();
        struct Expect {
            const char *name;
            const char *hint;
            bool classic;
            bool explorer;
            int left;
        };
        const Expect buttons[] = {
            { "Stop", "Stop", false, false, 4 },
            { "UpOne", "Up One Level", false, false, 34 },
            { "New", "Create New FTP Site Entry", true, true, 64 },
            { "Edit", "Edit FTP Site Information", false, false, 86 },
            { "Delete", "Delete Selection", false, true, 116 },
            { "Open", "Open File", false, false, 146 },
            { "Download", "Download File", true, true, 168 },
            { "Watch", "Add File to Watch List", false, false, 190 },
            { "Send", "Send File(s) to FTP Site", false, false, 212 },
            { "Queue", "Stop Queue", true, true, 242 },
            { "Large", "Large Icons", true, true, 272 },
            { "Small", "Small Icons", true, true, 294 },
            { "List", "List", true, true, 316 },
            { "Details", "Details", true, true, 338 },
        };
        for (const Expect &e : buttons) {
            for (const QString &prefix : { QStringLiteral("Speed"), QStringLiteral("Explorer") }) {
                const QString name = prefix + QLatin1String(e.name);
                auto *b = f.findChild<QToolButton *>(name);
                QVERIFY2(b, qPrintable(name));
                QCOMPARE(b->toolTip(), QLatin1String(e.hint));
                const bool explorer = prefix == QLatin1String("Explorer");
                QVERIFY2(b->isEnabled() == (explorer ? e.explorer : e.classic), qPrintable(name));
                const int left
                    = explorer && QLatin1String(e.name) == QLatin1String("Large") ? 273 : e.left;
                QCOMPARE(b->x(), left);
                QVERIFY(!b->icon().isNull());
            }
        }
        QVERIFY(f.findChild<QToolButton *>(QStringLiteral("SpeedDetails"))->isChecked());
        QVERIFY(f.findChild<QToolButton *>(QStringLiteral("ExplorerDetails"))->isChecked());
        QCOMPARE(f.findChild<QWidget *>(QStringLiteral("PanelExplorerTools"))->height(), 26);
    }

    void everyStartShowsTheExplorerBarAndSaysSo()
    {
        writeSetting(QStringLiteral("Buttons"), QStringLiteral("Windows95"));
        TForm1 &f = open();
        QCOMPARE(readSetting(QStringLiteral("Buttons")), QStringLiteral("Explorer"));
        QVERIFY(f.controls().PanelExplorerTools->isVisible());
        QVERIFY(!f.controls().PanelTools->isVisible());
        QCOMPARE(f.visibleSiteCombo()->objectName(), QStringLiteral("ComboSite2"));

        f.ExplorerStyleButtons1Click();
        QVERIFY(f.controls().PanelTools->isVisible());
        QVERIFY(!f.controls().PanelExplorerTools->isVisible());
        QVERIFY(!f.controls().menu->ExplorerStyleButtons1->isChecked());
        QCOMPARE(readSetting(QStringLiteral("Buttons")), QStringLiteral("Windows95"));
        QCOMPARE(f.visibleSiteCombo()->objectName(), QStringLiteral("ComboSite"));

        f.ExplorerStyleButtons1Click();
        QVERIFY(f.controls().PanelExplorerTools->isVisible());
        QCOMPARE(readSetting(QStringLiteral("Buttons")), QStringLiteral("Explorer"));
    }

    void dialogsAreCreatedOnceInOrder()
    {
        TForm1 &f = open();
        QStringList titles;
        for (QDialog *d : f.dialogs())
            titles << d->windowTitle();
        QCOMPARE(titles,
            (QStringList { "New FTP Site", "FTP Messages", "About Vrex Explorer", "Start Queue",
                "Download if Newer", "Download File from FTP Site:", "Options" }));
    }

    // A value out of range offers the default; OK writes the choice and tells
    // the window, Cancel writes nothing.
    void optionsFromTheViewMenuSetSimultaneousTransfers()
    {
        writeSetting(QStringLiteral("SimultaneousTransfers"), QStringLiteral("12"));
        TForm1 &f = open();
        QSignalSpy changed(&f, &TForm1::settingsChanged);
        QAction *item = f.controls().menu->Options1;
        QVERIFY(f.controls().menu->View1->actions().contains(item));
        int shown = -1;
        auto answer = [&](int upKeys, bool ok) {
            QTimer::singleShot(0, &f, [&, upKeys, ok] {
                auto *d = f.findChild<TFormOptions *>();
                if (!d || !d->isVisible()) {
                    if (auto *modal = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
                        modal->reject();
                    return;
                }
                shown = d->SpinSimultaneous->value();
                for (int i = 0; i < upKeys; ++i)
                    QTest::keyClick(d->SpinSimultaneous, Qt::Key_Up);
                QTest::mouseClick(ok ? d->ButtonOK : d->ButtonCancel, Qt::LeftButton);
            });
        };
        answer(2, true);
        item->trigger();
        QCOMPARE(shown, 2);
        QCOMPARE(readSetting(QStringLiteral("SimultaneousTransfers")), QStringLiteral("4"));
        QCOMPARE(changed.count(), 1);

        answer(3, false);
        item->trigger();
        QCOMPARE(shown, 4);
        QCOMPARE(readSetting(QStringLiteral("SimultaneousTransfers")), QStringLiteral("4"));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(TransferSettings(f.settings()).simultaneousTransfers(), 4);
    }

    void firstRunWithEmptySiteBookSelectsNothing()
    {
        QFile::remove(TRegFile::settingsFilePath());
        TForm1 &f = open();
        QCOMPARE(readSetting(QStringLiteral("LastSite")), QStringLiteral("<null>"));
        QCOMPARE(f.controls().TreeView1->topLevelItem(0)->childCount(), 0);
        QCOMPARE(f.visibleSiteCombo()->count(), 0);
        QVERIFY(prompts->asked.isEmpty());
    }

    void lastSiteIsSelectedOrElseTheFirstAlphabetically()
    {
        writeSiteBook({ "beta", "Alpha", "gamma" });
        writeSetting(QStringLiteral("LastSite"), QStringLiteral("gamma"));
        {
            TForm1 &f = open();
            QCOMPARE(itemsOf(f.controls().PanelTools->combo()),
                (QStringList { "Alpha", "beta", "gamma" }));
            QCOMPARE(itemsOf(f.controls().PanelExplorerTools->combo()),
                (QStringList { "Alpha", "beta", "gamma" }));
            QCOMPARE(f.controls().PanelTools->combo()->currentText(), QStringLiteral("gamma"));
            QCOMPARE(
                f.controls().PanelExplorerTools->combo()->currentText(), QStringLiteral("gamma"));
            QCOMPARE(f.controls().TreeView1->currentItem()->text(0), QStringLiteral("gamma"));
            f.FormClose();
            form.reset();
        }
        writeSetting(QStringLiteral("LastSite"), QStringLiteral("deleted long ago"));
        TForm1 &f = open();
        QCOMPARE(f.controls().PanelTools->combo()->currentText(), QStringLiteral("Alpha"));
        QCOMPARE(f.controls().TreeView1->currentItem()->text(0), QStringLiteral("Alpha"));
    }

    void invalidSiteBookIsReportedAndStartUpGoesOn()
    {
        QFile file(SiteBook().filePath());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.close();
        TForm1 &f = open();
        QCOMPARE(prompts->messageTexts(), QStringList { "Invalid Sites File." });
        QCOMPARE(prompts->asked[0].title, QStringLiteral("Vrex Explorer"));
        QCOMPARE(prompts->asked[0].icon, Prompts::Icon::Error);
        QCOMPARE(f.controls().TreeView1->topLevelItem(0)->childCount(), 0);
    }

    void closeAsksOnceAboutWaitingItems()
    {
        TForm1 &f = open();
        addQueueRow(f, "/a.txt", "Waiting");
        addQueueRow(f, "/b.txt", "Waiting");
        QVERIFY(!f.close()); // No is the default answer
        QVERIFY(f.isVisible());
        QCOMPARE(prompts->choices().size(), 1);
        const ScriptedPrompts::Question asked = prompts->choices().first();
        QCOMPARE(asked.text,
            QStringLiteral("There are still 2 files waiting in the queue.  "
                           "Are you sure you want to exit?"));
        QCOMPARE(asked.icon, Prompts::Icon::Question);
        QCOMPARE(asked.title, QStringLiteral("Vrex Explorer"));
        QCOMPARE(asked.choices, QStringList({ "&Yes", "&No" }));
        QCOMPARE(asked.defaultChoice, 1);

        prompts->clear();
        prompts->answerChoice(0);
        QVERIFY(f.close());
        QCOMPARE(prompts->asked.size(), 1);
        QVERIFY(f.isClosing());
        QCOMPARE(f.windowTitle(), QStringLiteral("Vrex-Closing..."));
        form.reset();
    }

    void oneQuestionNamesTheRunningTransferAndWhatWaitsAndNoKeepsRunning()
    {
        TForm1 &f = open();
        addQueueRow(f, "/a.txt", "In Progress");
        addQueueRow(f, "/b.txt", "Waiting");
        f.actions().request(PendingAction::Download);
        f.actions().transfer.source = QStringLiteral("/pub/a.txt");
        prompts->answerChoice(1);
        QVERIFY(!f.close());
        QVERIFY(f.isVisible());
        QCOMPARE(prompts->asked.size(), 1);
        QCOMPARE(prompts->asked[0].text,
            QStringLiteral("A file transfer is in progress: \"a.txt\", and 1 file is waiting "
                           "in the queue.  Are you sure you want to exit?"));
        QCOMPARE(f.actions().pendingAction(), PendingAction::Download);
    }

    void yesToRunningTransferClosesWithoutFurtherQuestions()
    {
        TForm1 &f = open();
        addQueueRow(f, "/a.txt", "In Progress");
        f.actions().request(PendingAction::Send);
        f.actions().transfer.source = QStringLiteral("/home/user/a.txt");
        prompts->answerChoice(0);
        QVERIFY(f.close());
        QCOMPARE(prompts->asked.size(), 1);
        QCOMPARE(prompts->asked[0].text,
            QStringLiteral("A file transfer is in progress: \"a.txt\".  "
                           "Are you sure you want to exit?"));
        QVERIFY(f.isClosing());
        form.reset();
    }

    void closeWithNothingPendingAsksNothingAndCleansTheTemporaryFolder()
    {
        TForm1 &f = open();
        QVERIFY(TempFolder::ensure());
        QFile leftover(TempFolder::path() + QStringLiteral("report.txt"));
        QVERIFY(leftover.open(QIODevice::WriteOnly));
        leftover.close();
        QVERIFY(f.close());
        QVERIFY(prompts->asked.isEmpty());
        QVERIFY(!QFile::exists(leftover.fileName()));
        QVERIFY(!QFile::exists(TempFolder::path()));
        form.reset();
    }

    void tabsSwitchPagesAndShowThatListsViewStyle()
    {
        TForm1 &f = open();
        f.listing().setViewStyle(TViewStyle::vsList);
        QVERIFY(f.controls().menu->List1->isChecked());
        f.controls().TabSet1->setCurrentIndex(2);
        QCOMPARE(f.controls().Notebook1->currentIndex(), 2);
        QVERIFY(f.controls().menu->Details1->isChecked());
        QVERIFY(f.findChild<QToolButton *>(QStringLiteral("ExplorerDetails"))->isChecked());
        f.listing().setViewStyle(TViewStyle::vsIcon);
        QCOMPARE(f.controls().ListView3->viewStyle(), TViewStyle::vsIcon);
        QCOMPARE(f.controls().ListView1->viewStyle(), TViewStyle::vsList);
        f.controls().TabSet1->setCurrentIndex(0);
        QVERIFY(f.controls().menu->List1->isChecked());
        QVERIFY(f.findChild<QToolButton *>(QStringLiteral("SpeedList"))->isChecked());

        bool allow = false;
        f.TabSet1Change(0, allow); // the page already shown: nothing changes
        QVERIFY(allow);
        QCOMPARE(f.controls().Notebook1->currentIndex(), 0);
    }

    void viewButtonsSwitchTheListOfThePageShown()
    {
        TForm1 &f = open();
        QTest::mouseClick(
            f.findChild<QToolButton *>(QStringLiteral("ExplorerSmall")), Qt::LeftButton);
        QCOMPARE(f.controls().ListView1->viewStyle(), TViewStyle::vsSmallIcon);
        QVERIFY(f.controls().menu->SmallIcons1->isChecked());
        QVERIFY(f.findChild<QToolButton *>(QStringLiteral("SpeedSmall"))->isChecked());
    }

    void dragBarMovesBothToolBarSplitters()
    {
        TForm1 &f = open();
        ToolBarPanel *bar = f.controls().PanelExplorerTools;
        auto *drag = bar->findChild<QWidget *>(QStringLiteral("Panel82"));
        QVERIFY(drag);
        const int comboWidth = bar->comboPanel()->width();
        QTest::mousePress(drag, Qt::LeftButton, {}, QPoint(1, 5));
        QMouseEvent move(QEvent::MouseMove, QPointF(50, 5), drag->mapToGlobal(QPointF(50, 5)),
            Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(drag, &move);
        QTest::mouseRelease(drag, Qt::LeftButton, {}, QPoint(50, 5));
        const int expected = (50 + comboWidth) * 100 / bar->width() + 1;
        QCOMPARE(bar->splitter()->position(), expected);
        QCOMPARE(f.controls().PanelTools->splitter()->position(), expected);
        // After release, moving does nothing.
        f.Panel8MouseMove(0, bar);
        QCOMPARE(bar->splitter()->position(), expected);
    }

    void helpOpensAtContentsAndQuitsWithTheProgram()
    {
        TForm1 &f = open();
        f.controls().menu->Contents1->trigger();
        QWidget *window = f.help()->window();
        QVERIFY(window && window->isVisible());
        QCOMPARE(f.help()->browser()->source(), HelpViewer::contentsUrl());
        QVERIFY(!f.help()->browser()->toPlainText().trimmed().isEmpty());
        QVERIFY(f.close());
        QVERIFY(!f.help()->window() || !f.help()->window()->isVisible());
        form.reset();
    }

    void messagesWindowClearsOnlyAfterOk()
    {
        TForm1 &f = open();
        TFormMessage *messages = f.FormMessage();
        messages->setLines({ "220 Welcome", "230 Logged in" });
        prompts->answer(QMessageBox::Cancel);
        messages->ButtonClearClick();
        QCOMPARE(messages->lines(), (QStringList { "220 Welcome", "230 Logged in" }));
        QCOMPARE(prompts->messageTexts(), QStringList { "Do you want to clear all messages?" });
        QCOMPARE(prompts->asked[0].buttons, QMessageBox::Ok | QMessageBox::Cancel);
        prompts->answer(QMessageBox::Ok);
        messages->ButtonClearClick();
        QVERIFY(messages->lines().isEmpty());
    }

    void unwritableSettingsAreReportedOnceAndTheWindowRuns()
    {
        // A file where the settings folder should be; a read-only or full
        // home fails the same way.
        QTemporaryDir home;
        QFile blocker(home.filePath(QStringLiteral("Orvane")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const QByteArray config = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
        TRegFile::useSettingsFile(QString());
        const auto restore = qScopeGuard([config] {
            qputenv("XDG_CONFIG_HOME", config);
            TRegFile::useSettingsFile(QString());
        });
        QVERIFY(TRegFile::settingsFilePath().startsWith(blocker.fileName() + QLatin1Char('/')));
        writeSiteBook({ "Alpha", "Beta" });

        TForm1 &f = open();
        const auto storeErrors = [this] {
            return prompts->messageTexts().filter(
                QRegularExpression(QStringLiteral("^Reg Error: ")));
        };
        QTRY_COMPARE(storeErrors().size(), 1);
        const int at = int(prompts->messageTexts().indexOf(storeErrors().first()));
        QCOMPARE(prompts->asked[at].title, QStringLiteral("Vrex Explorer"));
        QCOMPARE(prompts->asked[at].icon, Prompts::Icon::Error);

        // It runs on what it has: the bar it shows, the first site opened.
        QVERIFY(f.isVisible());
        QVERIFY(f.controls().PanelExplorerTools->isVisible());
        QVERIFY(f.controls().menu->ExplorerStyleButtons1->isChecked());
        QCOMPARE(f.controls().TreeView1->currentItem()->text(0), QStringLiteral("Alpha"));
        // Its server is not there: a site is remembered only once connected.
        QCOMPARE(readSetting(QStringLiteral("LastSite")), QStringLiteral("<null>"));

        // Later changes stay for this run without another word.
        f.ExplorerStyleButtons1Click();
        QVERIFY(f.controls().PanelTools->isVisible());
        QCOMPARE(readSetting(QStringLiteral("Buttons")), QStringLiteral("Windows95"));
        QCoreApplication::processEvents();
        QCOMPARE(storeErrors().size(), 1);
        QVERIFY(!QFileInfo::exists(TRegFile::settingsFilePath()));
    }

    void windowTitlesAreTheCaptionsAlone()
    {
        // Once a display name is set, X11 and Wayland show every title as
        // "<caption> — <display name>". Unset, it follows the application name.
        const QString name = QCoreApplication::applicationName();
        QCoreApplication::setApplicationName(QStringLiteral("probe"));
        const QString display = QGuiApplication::applicationDisplayName();
        QCoreApplication::setApplicationName(name);
        QCOMPARE(display, QStringLiteral("probe"));

        TForm1 &f = open();
        QCOMPARE(f.windowHandle()->title(), QStringLiteral("Vrex Explorer"));
        QDialog *site = f.dialogs().first();
        site->winId();
        QCOMPARE(site->windowHandle()->title(), QStringLiteral("New FTP Site"));
    }

    void exceptionInAHandlerIsShownNotFatal()
    {
        TForm1 &f = open();
        QTimer::singleShot(0, &f, [] { throw std::runtime_error("Cannot create file /x/y.dat"); });
        QTRY_COMPARE(prompts->messageTexts(), QStringList { "Cannot create file /x/y.dat" });
        QCOMPARE(prompts->asked[0].title, QStringLiteral("Vrex Explorer"));
        QCOMPARE(prompts->asked[0].icon, Prompts::Icon::Error);
        QVERIFY(f.isVisible());
    }
};

VREX_WINDOW_TEST_MAIN(TestMainWindow)

#include "tst_mainwindow.moc"
