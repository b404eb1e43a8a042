// A site's security and server time zone, as a person sets them in the site
// dialog of the real main window, and what the window then does with them.

#include "../ftp/VsftpdServer.h"
#include "MainWindowTest.h"
#include "PrivateFtpServer.h"
#include "ScriptedPrompts.h"
#include "TestEnvironment.h"
#include "WindowTestKit.h"

#include "app/MainMenu.h"
#include "app/TForm1.h"
#include "explorer/ListingView.h"
#include "explorer/RowTexts.h"
#include "explorer/SiteTree.h"
#include "explorer/TFormConnect.h"
#include "ftp/FileTime.h"
#include "storage/SiteBook.h"
#include "storage/SiteOptionsFile.h"
#include "storage/TRegFile.h"
#include "storage/WatchFile.h"
#include "transfers/TFormNewer.h"
#include "transfers/TransferQueue.h"
#include "transfers/WatchList.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

constexpr int kNetWait = 20000;
const QString kTlsIfOffered = QStringLiteral("Use TLS if the server offers it");

SiteOptions storedOptions(const QString &description, bool *present = nullptr)
{
    SiteOptionsFile file;
    file.load();
    if (present)
        *present = file.contains(description);
    return file.optionsOf(description);
}

} // namespace

class TestSiteDialogOptions : public QObject {
    Q_OBJECT

    PrivateFtpServer server;
    std::unique_ptr<TForm1> form;
    std::unique_ptr<ScriptedPrompts> prompts;

    bool idle() { return !form->listing().isBusy(); }
    TFormConnect *dialog() { return form->findChild<TFormConnect *>(); }

    // Opens the dialog with `command`, lets `use` look and type, then OK.
    void runSiteDialog(QAction *command, const std::function<void(TFormConnect *)> &use)
    {
        TFormConnect *d = dialog();
        QTimer::singleShot(0, d, [d, use] {
            use(d);
            QTest::mouseClick(d->Button2, Qt::LeftButton);
            if (d->isVisible())
                d->reject();
        });
        command->setEnabled(true); // as the menu does when it opens
        command->trigger();
    }

    static void choose(QComboBox *combo, const QString &text)
    {
        const int at = combo->findText(text);
        QVERIFY2(at >= 0, qPrintable(text));
        combo->setCurrentIndex(at);
    }

    void createSite(const QString &host, const QString &description,
        const std::function<void(TFormConnect *)> &options = {})
    {
        runSiteDialog(form->controls().menu->New1, [&](TFormConnect *d) {
            QTest::keyClicks(d->EditFTP, host);
            QTest::keyClicks(d->EditDesc, description);
            if (options)
                options(d);
        });
    }

    void selectSite(const QString &description)
    {
        QTreeWidgetItem *site = child(form->root(), description);
        QVERIFY(site);
        form->controls().TreeView1->setCurrentItem(site);
        QTRY_VERIFY_WITH_TIMEOUT(idle(), kNetWait);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(server.start());
        useShortNetworkTimeouts();
    }

    void init()
    {
        startWindowTest(prompts);
        QFile::remove(SiteOptionsFile().filePath());
        QFile::remove(WatchFile().filePath());
    }

    void cleanup() { endWindowTest(form, prompts); }

    void aNewSiteProposesTlsWhereOfferedAndOkKeepsTheChoice()
    {
        form = openMainWindow();
        QString proposedSecurity, proposedZone;
        createSite(server.host(), QStringLiteral("Fresh"), [&](TFormConnect *d) {
            proposedSecurity = d->ComboSecurity->currentText();
            proposedZone = d->ComboTimeZone->currentText();
            choose(d->ComboTimeZone, QStringLiteral("UTC+05:45"));
        });
        QCOMPARE(proposedSecurity, kTlsIfOffered);
        QCOMPARE(proposedZone, QStringLiteral("UTC"));
        QVERIFY(storedOptions(QStringLiteral("Fresh"))
            == (SiteOptions { SiteSecurity::TlsIfOffered, 345 }));
        // The site opens at once, connecting with its choices.
        QTRY_VERIFY_WITH_TIMEOUT(idle() && form->ftp().Connected(), kNetWait);
        QCOMPARE(form->ftp().Security, TFtpSecurity::TlsIfOffered);
        QCOMPARE(form->ftp().TimeZoneOffsetMinutes, 345);
        QVERIFY(prompts->asked.isEmpty());
    }

    // A site book from before knows no options: its sites stay plain until
    // changed. Renaming carries the options along; deleting drops them.
    void anOldSiteShowsPlainAndKeepsItsOptionsThroughRenameAndDelete()
    {
        {
            SiteBook book;
            TSiteRecord old;
            old.FTPSite = server.host();
            old.Description = QStringLiteral("Old site");
            old.Directory = QStringLiteral("/");
            book.InsertSite(old);
            book.SaveSiteBook();
        }
        form = openMainWindow();
        selectSite(QStringLiteral("Old site"));
        QString shownSecurity, shownZone;
        runSiteDialog(form->controls().menu->Edit1, [&](TFormConnect *d) {
            shownSecurity = d->ComboSecurity->currentText();
            shownZone = d->ComboTimeZone->currentText();
            d->EditDesc->setText(QStringLiteral("Renamed site"));
            choose(d->ComboSecurity, kTlsIfOffered);
            choose(d->ComboTimeZone, QStringLiteral("UTC-03:30"));
        });
        QCOMPARE(shownSecurity, QStringLiteral("Plain FTP"));
        QCOMPARE(shownZone, QStringLiteral("UTC"));
        bool oldPresent = true, newPresent = false;
        storedOptions(QStringLiteral("Old site"), &oldPresent);
        const SiteOptions renamed = storedOptions(QStringLiteral("Renamed site"), &newPresent);
        QVERIFY(!oldPresent && newPresent);
        QVERIFY(renamed == (SiteOptions { SiteSecurity::TlsIfOffered, -210 }));
        QTRY_VERIFY_WITH_TIMEOUT(idle(), kNetWait);

        // Edited again, the dialog shows what was kept.
        selectSite(QStringLiteral("Renamed site"));
        runSiteDialog(form->controls().menu->Edit1, [&](TFormConnect *d) {
            shownSecurity = d->ComboSecurity->currentText();
            shownZone = d->ComboTimeZone->currentText();
        });
        QCOMPARE(shownSecurity, kTlsIfOffered);
        QCOMPARE(shownZone, QStringLiteral("UTC-03:30"));
        QTRY_VERIFY_WITH_TIMEOUT(idle(), kNetWait);

        prompts->answer(QMessageBox::Yes);
        form->MenuDeleteClick();
        QVERIFY(!child(form->root(), QStringLiteral("Renamed site")));
        storedOptions(QStringLiteral("Renamed site"), &newPresent);
        QVERIFY(!newPresent);
    }

    // A damaged options file turns sites that required TLS plain: the user
    // is told once, and the file is kept aside before a save replaces it.
    void aDamagedOptionsFileIsToldAndKeptAside()
    {
        {
            SiteBook book;
            book.InsertSite({ server.host(), QStringLiteral("Secure"), {}, {}, "/" });
            book.SaveSiteBook();
        }
        const QByteArray damaged("{\"sites\": {\"Secure\": {\"security\": \"requ");
        const QString path = SiteOptionsFile().filePath();
        QVERIFY(writeFileBytes(path, damaged));
        form = openMainWindow();
        QCOMPARE(prompts->messageTexts(), QStringList { "Invalid Site Options File." });
        QCOMPARE(prompts->asked[0].icon, Prompts::Icon::Error);
        QTRY_VERIFY_WITH_TIMEOUT(idle(), kNetWait); // the last site opens first
        createSite(server.host(), QStringLiteral("Another"));
        QCOMPARE(fileContents(path + QStringLiteral(".rejected")), damaged);
        QVERIFY(storedOptions(QStringLiteral("Another")).security == SiteSecurity::TlsIfOffered);
        QTRY_VERIFY_WITH_TIMEOUT(idle(), kNetWait);
    }

    // Queue items and quick downloads name only host and login: they take
    // the options of the first site with both, else TLS where offered.
    void connectionsByHostAndLoginTakeTheMatchingSitesOptions()
    {
        form = openMainWindow();
        createSite(server.host(), QStringLiteral("Zoned"),
            [&](TFormConnect *d) { choose(d->ComboTimeZone, QStringLiteral("UTC+01:00")); });
        QTRY_VERIFY_WITH_TIMEOUT(idle() && form->ftp().Connected(), kNetWait);
        // Same host and login as the site: the connection already fits.
        QVERIFY(!form->tree().connectWith(server.host(), QString(), QString()));
        QCOMPARE(form->ftp().TimeZoneOffsetMinutes, 60);
        QVERIFY(form->tree().connectWith(
            server.host(), QStringLiteral("vrex"), QStringLiteral("secret")));
        QTRY_VERIFY_WITH_TIMEOUT(idle() && form->ftp().Connected(), kNetWait);
        QCOMPARE(form->ftp().Security, TFtpSecurity::TlsIfOffered);
        QCOMPARE(form->ftp().TimeZoneOffsetMinutes, 0);
        QVERIFY(form->tree().connectWith(server.host(), QString(), QString()));
        QTRY_VERIFY_WITH_TIMEOUT(idle() && form->ftp().Connected(), kNetWait);
        QCOMPARE(form->ftp().TimeZoneOffsetMinutes, 60);
        QCOMPARE(form->ftp().Security, TFtpSecurity::TlsIfOffered);
    }

    // vsftpd lists UTC times with LIST; a site set to UTC+02:00 shows them
    // two hours earlier, the same server as UTC shows them as listed.
    void theDateColumnFollowsTheSitesTimeZone_data()
    {
        QTest::addColumn<QString>("zone");
        QTest::addColumn<int>("minutesEast");
        QTest::newRow("UTC") << "UTC" << 0;
        QTest::newRow("UTC+02:00") << "UTC+02:00" << 120;
    }

    void theDateColumnFollowsTheSitesTimeZone()
    {
        QFETCH(QString, zone);
        QFETCH(int, minutesEast);
        const QString why = VsftpdServer::whyUnavailable();
        if (!why.isEmpty())
            QSKIP(qPrintable(why));
        VsftpdServer vsftpd;
        QVERIFY(vsftpd.ok());
        form = openMainWindow();
        createSite(QString::fromLatin1(vsftpd.address()), QStringLiteral("Listing"),
            [&](TFormConnect *d) { choose(d->ComboTimeZone, zone); });
        TListView *files = form->controls().ListView1;
        QTRY_VERIFY_WITH_TIMEOUT(
            idle() && column(files, 0).contains(QStringLiteral("tenk.bin")), kNetWait);
        const qint64 written = QFileInfo(vsftpd.anonRoot() + QStringLiteral("/tenk.bin"))
                                   .lastModified()
                                   .toSecsSinceEpoch();
        TWin32FindData expected {};
        expected.ftLastWriteTime
            = FileTime::fromUnixSeconds(written / 60 * 60 - qint64(minutesEast) * 60);
        const int row = column(files, 0).indexOf(QStringLiteral("tenk.bin"));
        QCOMPARE(column(files, 3).at(row), RowTexts::modifiedText(&expected));
    }

    // A file watched while the site was taken for UTC; then the site is set
    // to the server's real clock, UTC+02:00, and one file changes an hour
    // later. Download-if-newer must fetch that one and leave the other:
    // the kept times follow the site's clock, or the change would look two
    // hours old and be missed.
    void downloadIfNewerStaysRightWhenTheSitesClockIsSetLater()
    {
        const QString why = VsftpdServer::whyUnavailable();
        if (!why.isEmpty())
            QSKIP(qPrintable(why));
        VsftpdServer vsftpd;
        QVERIFY(vsftpd.ok());
        const QString host = QString::fromLatin1(vsftpd.address());
        // In the past: a listing shows no time of day for a future date.
        const QDateTime threeHoursAgo = QDateTime::currentDateTimeUtc().addSecs(-3 * 3600);
        const QString changed = vsftpd.anonRoot() + QStringLiteral("/tenk.bin");
        for (const QString name : { "readme.txt", "tenk.bin" })
            QVERIFY(setModified(vsftpd.anonRoot() + QLatin1Char('/') + name, threeHoursAgo));
        form = openMainWindow();
        createSite(host, QStringLiteral("Clock"),
            [&](TFormConnect *d) { choose(d->ComboTimeZone, QStringLiteral("UTC")); });
        TListView *files = form->controls().ListView1;
        QTRY_VERIFY_WITH_TIMEOUT(
            idle() && column(files, 0).contains(QStringLiteral("tenk.bin")), kNetWait);
        QVERIFY(selectRowsNamed(files, { "readme.txt", "tenk.bin" }));
        form->MenuAddClick();
        const std::vector<WatchRecord> before = WatchFile().load().records;
        QCOMPARE(int(before.size()), 2);

        runSiteDialog(form->controls().menu->Edit1,
            [&](TFormConnect *d) { choose(d->ComboTimeZone, QStringLiteral("UTC+02:00")); });
        QTRY_VERIFY_WITH_TIMEOUT(idle() && form->ftp().TimeZoneOffsetMinutes == 120, kNetWait);
        const std::vector<WatchRecord> after = WatchFile().load().records;
        for (size_t i = 0; i < 2; ++i)
            QCOMPARE(FileTime::toUnixSeconds(after[i].entry.ftLastWriteTime),
                FileTime::toUnixSeconds(before[i].entry.ftLastWriteTime) - 7200);

        QVERIFY(setModified(changed, threeHoursAgo.addSecs(3600)));
        QTemporaryDir local;
        form->controls().TabSet1->setCurrentIndex(1);
        QVERIFY(selectRowsNamed(form->controls().ListView2, { "/readme.txt", "/tenk.bin" }));
        prompts->answerFolder(local.path());
        QTimer::singleShot(0, form.get(), [this] {
            auto *newer = form->findChild<TFormNewer *>();
            QVERIFY(newer && newer->isVisible());
            newer->ButtonBrowse->click();
            newer->ButtonOK->click();
        });
        form->watches().DownloadifChanged1Click();
        QTRY_VERIFY_WITH_TIMEOUT(form->queue().count() == 0 && idle(), kNetWait);
        QCOMPARE(
            column(form->controls().ListView2, 1), (QStringList { "Up to Date", "Downloaded" }));
        QCOMPARE(QDir(local.path()).entryList(QDir::Files), QStringList { "tenk.bin" });
    }
};

VREX_WINDOW_TEST_MAIN(TestSiteDialogOptions)
#include "tst_sitedialogoptions.moc"
