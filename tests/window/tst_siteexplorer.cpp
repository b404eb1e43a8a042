// Browsing real FTP sites through the main window, as a person does it:
// keep a site book, open folders, refresh, and read what the window says.

#include "MainWindowTest.h"
#include "PrivateFtpServer.h"
#include "ScriptedPrompts.h"
#include "TestEnvironment.h"
#include "WindowTestKit.h"

#include "app/MainMenu.h"
#include "app/TForm1.h"
#include "app/ToolBarPanel.h"
#include "app/VrexApplication.h"
#include "explorer/ListingView.h"
#include "explorer/SiteTree.h"
#include "explorer/SiteTreeCommands.h"
#include "explorer/TFormConnect.h"
#include "explorer/TFormMessage.h"
#include "ftp/WinInet.h"
#include "platform/IconList.h"
#include "storage/SiteBook.h"
#include "storage/TRegFile.h"
#include "widgets/StatusPanels.h"
#include "widgets/TListView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStandardItemModel>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>
#include <QtTest>

#include <memory>
#include <sys/stat.h>
#include <utime.h>

namespace {

constexpr int kNetWait = 20000;

} // namespace

class TestSiteExplorer : public QObject {
    Q_OBJECT

    PrivateFtpServer server;
    std::unique_ptr<TForm1> form;
    std::unique_ptr<ScriptedPrompts> prompts;

    TForm1 &open()
    {
        form = openMainWindow();
        return *form;
    }

    TListView *files() { return form->controls().ListView1; }
    QString panel(int i) { return form->controls().StatusBar1->panelText(i); }
    bool idle() { return !form->listing().isBusy(); }

    // Fills the site dialog as a person types, then presses OK.
    void createSite(const SiteFields &site)
    {
        auto *dialog = form->findChild<TFormConnect *>();
        QTimer::singleShot(0, dialog, [dialog, site] {
            QTest::keyClicks(dialog->EditFTP, site.host);
            QTest::keyClicks(dialog->EditDesc, site.description);
            dialog->EditDir->clear();
            QTest::keyClicks(dialog->EditDir, site.directory);
            if (!site.login.isEmpty() || !site.password.isEmpty()) {
                dialog->CheckAnon->click();
                QTest::keyClicks(dialog->EditLogin, site.login);
                QTest::keyClicks(dialog->EditPswd, site.password);
            }
            QTest::mouseClick(dialog->Button2, Qt::LeftButton);
            if (dialog->isVisible()) // refused: leave the dialog so the test can go on
                dialog->reject();
        });
        form->controls().menu->New1->trigger();
    }

    QTreeWidgetItem *siteNode(const QString &description)
    {
        return child(form->root(), description);
    }

    void openNode(QTreeWidgetItem *node)
    {
        QTreeWidget *tree = form->controls().TreeView1;
        tree->scrollToItem(node);
        const QRect r = tree->visualItemRect(node);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, r.center());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(server.start());
        useShortNetworkTimeouts();
    }

    void init()
    {
        if (!server.isRunning())
            QVERIFY(server.start());
        startWindowTest(prompts);
    }

    void cleanup() { endWindowTest(form, prompts); }

    void newSiteConnectsListsAndShowsWhereItIs()
    {
        open();
        createSite({ server.host(), QStringLiteral("Test server") });
        QTRY_VERIFY_WITH_TIMEOUT(idle() && files()->rowCount() == 5, kNetWait);
        QCOMPARE(column(files(), 0),
            (QStringList { "empty", "pub", "readme.txt", "tenk.bin", "zero.bin" }));
        QCOMPARE(column(files(), 2).mid(0, 2), (QStringList { "File Folder", "File Folder" }));
        QCOMPARE(column(files(), 1).at(3), QLocale::system().toString(10000));
        QCOMPARE(form->controls().PanelFiles->text(), QStringLiteral("  Current Directory: /"));
        QCOMPARE(panel(0), QStringLiteral("Status: Ready"));
        QCOMPARE(panel(1), QStringLiteral("Objects: 5"));
        QTreeWidgetItem *site = siteNode("Test server");
        QVERIFY(site);
        QVERIFY(site->font(0).bold());
        QCOMPARE(childTexts(site).size(), 2);
        QCOMPARE(form->visibleSiteCombo()->currentText(), QStringLiteral("Test server"));
        QVERIFY(prompts->asked.isEmpty());

        TRegFile reg;
        reg.setKey(QStringLiteral("SOFTWARE\\Orvane\\Vrex Explorer"));
        TaggedValue last;
        reg.ReadValue(QStringLiteral("LastSite"), last);
        QCOMPARE(last.toString(), QStringLiteral("Test server"));
        QVERIFY(form->FormMessage()->lines().join('\n').contains("230"));

        // The site book on disk has the new site.
        SiteBook book;
        QCOMPARE(book.LoadSiteBook().count, 1);
        QCOMPARE(book.head()->FTPSite, server.host());
    }

    void theStatusBarSaysWhetherTheConnectionIsEncrypted()
    {
        open();
        QCOMPARE(panel(4), QString());
        createSite({ server.host(), QStringLiteral("Plain") });
        QTRY_VERIFY_WITH_TIMEOUT(idle() && files()->rowCount() == 5, kNetWait);
        QCOMPARE(panel(4), QStringLiteral("Not encrypted"));
        QCOMPARE(form->controls().StatusBar1->panelToolTip(4), QStringLiteral("Not encrypted"));

        // The server goes away: the next listing finds the connection gone.
        server.stop();
        form->treeCommands().Refresh1Click();
        QTRY_VERIFY_WITH_TIMEOUT(idle() && panel(4).isEmpty(), kNetWait);
    }

    void foldersOpenOnceFromTheServerThenFromTheMap()
    {
        open();
        createSite({ server.host(), QStringLiteral("Browse") });
        QTRY_VERIFY_WITH_TIMEOUT(idle() && files()->rowCount() == 5, kNetWait);
        QTreeWidgetItem *pub = child(siteNode("Browse"), "pub");
        openNode(pub);
        QTRY_VERIFY_WITH_TIMEOUT(idle() && column(files(), 0) == QStringList { "docs" }, kNetWait);
        QCOMPARE(form->controls().PanelFiles->text(), QStringLiteral("  Current Directory: /pub"));
        openNode(child(pub, "docs"));
        QTRY_VERIFY_WITH_TIMEOUT(
            idle() && column(files(), 0) == QStringList { "guide.txt" }, kNetWait);

        // Up One Level, then the server goes away: listed folders still open.
        QTest::mouseClick(form->findChild<QToolButton *>("ExplorerUpOne"), Qt::LeftButton);
        QTRY_COMPARE(column(files(), 0), QStringList { "docs" });
        server.stop();
        openNode(siteNode("Browse"));
        QTRY_COMPARE(column(files(), 0).size(), 5);
        openNode(pub);
        QTRY_COMPARE(column(files(), 0), QStringList { "docs" });
        QCOMPARE(panel(1), QStringLiteral("Objects: 1"));
        QVERIFY(prompts->asked.isEmpty());

        // Up from the site shows the site list.
        form->treeCommands().SpeedUpOneClick();
        form->treeCommands().SpeedUpOneClick();
        QTRY_COMPARE(column(files(), 0), QStringList { "Browse" });
        QCOMPARE(column(files(), 2), QStringList { "FTP Site" });
    }

    void refreshingFilesDropsDeletedFilesButKeepsFolders()
    {
        open();
        createSite({ server.host(), QStringLiteral("Refresh"), "/", "vrex", "secret" });
        QTRY_VERIFY_WITH_TIMEOUT(idle() && files()->rowCount() == 5, kNetWait);
        QVERIFY(QFile::remove(server.userRoot() + "/readme.txt"));
        QVERIFY(QDir(server.userRoot() + "/empty").removeRecursively());
        QFile added(server.userRoot() + "/added.txt");
        QVERIFY(added.open(QIODevice::WriteOnly));
        added.close();
        form->controls().menu->View1->aboutToShow();
        QVERIFY(form->controls().menu->Files1->isEnabled());
        form->controls().menu->Files1->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(idle() && column(files(), 0).contains("added.txt"), kNetWait);
        QCOMPARE(column(files(), 0),
            (QStringList { "empty", "pub", "added.txt", "tenk.bin", "zero.bin" }));
        QCOMPARE(childTexts(siteNode("Refresh")).size(), 2);
        QCOMPARE(panel(0), QStringLiteral("Status: Ready"));
    }

    void refreshAllRebuildsTheTreeAndReconnectsTheLastSite()
    {
        open();
        createSite({ server.host(), QStringLiteral("Again") });
        QTRY_VERIFY_WITH_TIMEOUT(idle() && files()->rowCount() == 5, kNetWait);
        openNode(child(siteNode("Again"), "pub"));
        QTRY_VERIFY_WITH_TIMEOUT(idle() && column(files(), 0) == QStringList { "docs" }, kNetWait);
        form->controls().menu->View1->aboutToShow();
        form->controls().menu->All1->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(idle() && files()->rowCount() == 5, kNetWait);
        QTreeWidgetItem *site = siteNode("Again");
        QVERIFY(site);
        QCOMPARE(form->tree().current(), site);
        QVERIFY(!child(child(site, "pub"), "docs")); // the map was rebuilt
        QCOMPARE(panel(0), QStringLiteral("Status: Ready"));
    }

    void deletingTheConnectedSiteAsksAndForgetsIt()
    {
        open();
        createSite({ server.host(), QStringLiteral("Keep") });
        QTRY_VERIFY_WITH_TIMEOUT(idle(), kNetWait);
        createSite({ server.host(), QStringLiteral("Doomed") });
        QTRY_VERIFY_WITH_TIMEOUT(idle() && files()->rowCount() == 5, kNetWait);
        prompts->answer(QMessageBox::Yes);
        form->MenuDeleteClick();
        QCOMPARE(prompts->asked.size(), 1);
        QCOMPARE(prompts->asked[0].title, QStringLiteral("Confirm Delete"));
        QCOMPARE(prompts->asked[0].text,
            QStringLiteral("Are you sure you want to delete the FTP Site \"Doomed\"?"));
        QVERIFY(!siteNode("Doomed"));
        // The connected site's list is cleared, the connection kept.
        QCOMPARE(files()->rowCount(), 0);
        QVERIFY(form->ftp().Connected());
        QCOMPARE(form->tree().current(), form->root());
        SiteBook book;
        QCOMPARE(book.LoadSiteBook().count, 1);
        QCOMPARE(book.head()->Description, QStringLiteral("Keep"));
        QCOMPARE(form->visibleSiteCombo()->count(), 1);
    }

    void siteDialogRulesAndEditing()
    {
        open();
        auto *dialog = form->findChild<TFormConnect *>();
        createSite({ server.host(), QStringLiteral("  Spaced  ") });
        QTRY_VERIFY_WITH_TIMEOUT(idle() && files()->rowCount() == 5, kNetWait);
        QVERIFY(siteNode("Spaced"));

        // A second site with the same description in other capitals is refused.
        createSite({ server.host(), QStringLiteral("SPACED") });
        QCOMPARE(prompts->messageTexts(),
            QStringList { "You cannot have two sites with the same description." });

        // Renaming by case only keeps the tree and needs no reconnect.
        openNode(siteNode("Spaced"));
        QTimer::singleShot(0, dialog, [dialog] {
            QVERIFY(dialog->CheckAnon->isChecked());
            QVERIFY(!dialog->EditLogin->isEnabled());
            QCOMPARE(dialog->windowTitle(), QStringLiteral("Edit FTP Site"));
            dialog->EditDesc->setText("SPACED");
            QTest::mouseClick(dialog->Button2, Qt::LeftButton);
        });
        form->controls().menu->Edit1->setEnabled(true);
        form->controls().menu->Edit1->trigger();
        QVERIFY(siteNode("SPACED"));
        QCOMPARE(form->visibleSiteCombo()->currentText(), QStringLiteral("SPACED"));
        QCOMPARE(childTexts(siteNode("SPACED")).size(), 2);

        // Changing the starting directory: Cancel keeps everything...
        prompts->clear();
        prompts->answer(QMessageBox::Cancel);
        QTimer::singleShot(0, dialog, [dialog] {
            dialog->EditDir->setText("/pub");
            QTest::mouseClick(dialog->Button2, Qt::LeftButton);
            QVERIFY(dialog->isVisible());
            dialog->reject();
        });
        form->controls().menu->Edit1->trigger();
        QCOMPARE(prompts->messageTexts(),
            QStringList { "If you change the site's starting directory, the current site "
                          "information will be lost." });
        QCOMPARE(childTexts(siteNode("SPACED")).size(), 2);

        // ...and OK forgets what the tree knew and lists the new directory.
        prompts->answer(QMessageBox::Ok);
        QTimer::singleShot(0, dialog, [dialog] {
            dialog->EditDir->setText("/pub");
            QTest::mouseClick(dialog->Button2, Qt::LeftButton);
        });
        form->controls().menu->Edit1->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(idle() && column(files(), 0) == QStringList { "docs" }, kNetWait);
        QCOMPARE(form->controls().PanelFiles->text(), QStringLiteral("  Current Directory: /pub"));
        QCOMPARE(childTexts(siteNode("SPACED")), QStringList { "docs" });
    }

    // Tab follows the fields as they are read, the box before the fields it
    // governs, and passes over those it has disabled.
    void siteDialogTabsInReadingOrder()
    {
        open();
        auto *dialog = form->findChild<TFormConnect *>();
        QList<QWidget *> anonymous, named;
        QTimer::singleShot(0, dialog, [&] {
            auto tabs = [dialog](int count) {
                QList<QWidget *> seen { dialog->focusWidget() };
                for (int i = 0; i < count; ++i) {
                    QTest::keyClick(dialog->focusWidget(), Qt::Key_Tab);
                    seen << dialog->focusWidget();
                }
                return seen;
            };
            QTest::keyClicks(dialog->EditFTP, "ftp.example.org");
            QTest::keyClicks(dialog->EditDesc, "Example");
            dialog->EditFTP->setFocus();
            anonymous = tabs(8);
            dialog->CheckAnon->click();
            dialog->EditFTP->setFocus();
            named = tabs(11);
            dialog->reject();
        });
        form->controls().menu->New1->trigger();
        using W = QList<QWidget *>;
        QCOMPARE(anonymous,
            (W { dialog->EditFTP, dialog->EditDesc, dialog->EditDir, dialog->CheckAnon,
                dialog->ComboProtocol, dialog->ComboSecurity, dialog->ComboTimeZone,
                dialog->Button2, dialog->Button1 }));
        QCOMPARE(named,
            (W { dialog->EditFTP, dialog->EditDesc, dialog->EditDir, dialog->CheckAnon,
                dialog->EditLogin, dialog->EditPswd, dialog->CheckShowPswd, dialog->ComboProtocol,
                dialog->ComboSecurity,
                dialog->ComboTimeZone, dialog->Button2, dialog->Button1 }));
    }

    void listingShowsWhatAPersonShouldSee()
    {
        const QString root = server.anonRoot();
        QFile profile(root + "/.profile");
        QVERIFY(profile.open(QIODevice::WriteOnly));
        profile.close();
        QFile big(root + "/big.iso");
        QVERIFY(big.open(QIODevice::WriteOnly));
        QVERIFY(big.resize(5000000000LL)); // sparse
        big.close();
        for (const char *name : { "ahead.txt", "tomorrow.txt" }) {
            QFile f(root + "/" + name);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.close();
        }
        // Dates from one clock reading: the expectations below hold on
        // either side of a midnight that passes meanwhile.
        const QDateTime now = QDateTime::currentDateTimeUtc();
        const QDate today = now.date();
        QVERIFY(setModified(root + "/ahead.txt", now.addDays(3)));
        QVERIFY(setModified(root + "/tomorrow.txt", now.addDays(1)));

        open();
        createSite({ server.host(), QStringLiteral("Looks") });
        QTRY_VERIFY_WITH_TIMEOUT(idle() && files()->rowCount() == 8, kNetWait);
        const QStringList names = column(files(), 0);
        QVERIFY(!names.contains(".profile"));
        QVERIFY(!childTexts(siteNode("Looks")).contains(".profile"));
        const int bigRow = int(names.indexOf("big.iso"));
        QCOMPARE(column(files(), 1).at(bigRow), QLocale::system().toString(5000000000LL));
        QVERIFY(!column(files(), 2).at(bigRow).isEmpty());

        const QString ahead = column(files(), 3).at(int(names.indexOf("ahead.txt")));
        const QString tomorrow = column(files(), 3).at(int(names.indexOf("tomorrow.txt")));
        const QLocale locale = QLocale::system();
        QVERIFY2(
            ahead.startsWith(locale.toString(today.addDays(3).addYears(-1), QLocale::ShortFormat)),
            qPrintable(ahead));
        QVERIFY2(tomorrow.startsWith(locale.toString(today.addDays(1), QLocale::ShortFormat)),
            qPrintable(tomorrow));

        // Sorting by size: folders first ascending, last descending.
        auto *header = files()->detailsView()->header();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
            QPoint(header->sectionViewportPosition(1) + 5, 5));
        QStringList bySize = column(files(), 0);
        QCOMPARE(bySize.mid(0, 2), (QStringList { "empty", "pub" }));
        QCOMPARE(bySize.last(), QStringLiteral("big.iso"));
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
            QPoint(header->sectionViewportPosition(1) + 5, 5));
        bySize = column(files(), 0);
        QCOMPARE(bySize.first(), QStringLiteral("big.iso"));
        QCOMPARE(bySize.mid(bySize.size() - 2).size(), 2);
        QVERIFY(bySize.mid(bySize.size() - 2).contains("pub"));
        for (const char *name : { ".profile", "big.iso", "ahead.txt", "tomorrow.txt" })
            QFile::remove(root + "/" + name);
    }

    void stopWhileConnectingSaysNothing()
    {
        SilentListener silent;
        open();
        createSite({ QStringLiteral("127.0.0.1:%1").arg(silent.port), QStringLiteral("Mute") });
        QVERIFY(form->listing().isBusy());
        auto *stop = form->findChild<QToolButton *>("ExplorerStop");
        QVERIFY(stop->isEnabled());
        QTest::mouseClick(stop, Qt::LeftButton);
        QTRY_VERIFY(idle());
        QCOMPARE(panel(0), QStringLiteral("Status: Ready"));
        // Stop waits for the connect's own completion, which must say nothing.
        QVERIFY(prompts->asked.isEmpty());
        QVERIFY(form->tree().currentConnection().host.isEmpty());
        QVERIFY(!stop->isEnabled());
    }

    void connectFailuresSayWhyAndTheNextCommandConnectsAfresh_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message");
        QTest::newRow("wrong password") << "password"
                                        << "Invalid Login.";
        QTest::newRow("closed port") << "closed"
                                     << "Unable to connect to site.";
        QTest::newRow("never answers") << "silent"
                                       << "The requested site could not be located.";
    }

    void connectFailuresSayWhyAndTheNextCommandConnectsAfresh()
    {
        QFETCH(QString, kind);
        QFETCH(QString, message);
        SilentListener silent;
        SiteFields site { server.host(), QStringLiteral("Failing") };
        if (kind == "password") {
            site.login = "vrex";
            site.password = "wrong";
        } else {
            site.host = QStringLiteral("127.0.0.1:%1").arg(silent.port);
            if (kind == "closed")
                silent.close();
        }
        open();
        createSite(site);
        QTRY_VERIFY2_WITH_TIMEOUT(prompts->messageTexts().contains(message),
            qPrintable(prompts->messageTexts().join('|')), kNetWait);
        QCOMPARE(prompts->asked.last().title, QStringLiteral("Vrex Explorer"));
        QCOMPARE(prompts->asked.last().icon, Prompts::Icon::Error);
        QTRY_VERIFY(idle());
        QVERIFY(form->tree().currentConnection().host.isEmpty());

        // The next command connects afresh: opening the site again tries the
        // same settings again...
        prompts->clear();
        openNode(siteNode("Failing"));
        QTRY_VERIFY2_WITH_TIMEOUT(prompts->messageTexts() == QStringList { message },
            qPrintable(prompts->messageTexts().join('|')), kNetWait);
        QTRY_VERIFY(idle());

        // ...and with the site put right, it connects and lists.
        auto *dialog = form->findChild<TFormConnect *>();
        const QString host = server.host();
        QTimer::singleShot(0, dialog, [dialog, host] {
            dialog->EditFTP->setText(host);
            if (!dialog->CheckAnon->isChecked())
                dialog->EditPswd->setText("secret");
            QTest::mouseClick(dialog->Button2, Qt::LeftButton);
        });
        form->controls().menu->Edit1->setEnabled(true);
        form->controls().menu->Edit1->trigger();
        prompts->clear();
        openNode(siteNode("Failing"));
        // (The user's folder is another test's to change: any listing will do.)
        QTRY_VERIFY_WITH_TIMEOUT(idle() && files()->rowCount() > 0, kNetWait);
        QVERIFY2(prompts->asked.isEmpty(), qPrintable(prompts->messageTexts().join('|')));
        QCOMPARE(form->tree().currentConnection().host, host);
        QVERIFY(form->ftp().Connected());
        QCOMPARE(form->tree().current(), siteNode("Failing"));
    }
};

VREX_WINDOW_TEST_MAIN(TestSiteExplorer)

#include "tst_siteexplorer.moc"
