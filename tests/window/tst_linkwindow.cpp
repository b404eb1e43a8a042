// Symbolic links on a site, opened through the main window as a person does
// it: against servers that list with LIST only, so a link's kind is unknown
// until it is opened.

#include "../ftp/VsftpdServer.h"
#include "MainWindowTest.h"
#include "PrivateFtpServer.h"
#include "ScriptedPrompts.h"
#include "WindowTestKit.h"

#include "app/MainMenu.h"
#include "app/TForm1.h"
#include "explorer/FileCommands.h"
#include "explorer/ListingView.h"
#include "explorer/SiteTree.h"
#include "explorer/SiteTreeCommands.h"
#include "storage/SiteBook.h"
#include "storage/TRegFile.h"
#include "transfers/TransferQueue.h"
#include "widgets/TListView.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

namespace {

constexpr int kNetWait = 20000;
const QString kStopped
    = QStringLiteral("\r\rThe transfer has been terminated and the queue stopped.");

// A folder, a file and three links beside what the server serves already.
void addLinks(const QString &root, const QByteArray &fileBytes)
{
    QVERIFY(QDir(root).mkpath(QStringLiteral("realdir")));
    QVERIFY(writeFileBytes(root + QStringLiteral("/realdir/inner.txt"), "inside\n"));
    QVERIFY(writeFileBytes(root + QStringLiteral("/file.bin"), fileBytes));
    QVERIFY(QFile::link(QStringLiteral("realdir"), root + QStringLiteral("/dirlink")));
    QVERIFY(QFile::link(QStringLiteral("file.bin"), root + QStringLiteral("/filelink")));
    QVERIFY(QFile::link(QStringLiteral("nowhere"), root + QStringLiteral("/dangling")));
}

} // namespace

class TestLinkWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<TForm1> form;
    std::unique_ptr<ScriptedPrompts> prompts;

    TListView *files() { return form->controls().ListView1; }
    bool idle() { return !form->listing().isBusy(); }
    QString typeOf(const QString &name)
    {
        return column(files(), 2).value(column(files(), 0).indexOf(name), QStringLiteral("<none>"));
    }

    void openWindowOn(const QString &host)
    {
        SiteBook book;
        book.InsertSite({ host, QStringLiteral("Links"), {}, {}, QStringLiteral("/") });
        book.SaveSiteBook();
        form = openMainWindow();
        QTRY_VERIFY_WITH_TIMEOUT(idle() && column(files(), 0).contains("dangling"), kNetWait);
    }

    // Enter on the row, as a person opens what is selected.
    [[nodiscard]] bool pressEnterOn(const QString &name)
    {
        if (!selectRowsNamed(files(), { name }))
            return false;
        QTest::keyClick(files()->currentView(), Qt::Key_Return);
        return true;
    }

    // Opens and downloads every kind of link on the site shown.
    void linksOpenAsWhatTheyLeadTo(const QString &served)
    {
        QTemporaryDir local;
        QTreeWidgetItem *site = child(form->root(), QStringLiteral("Links"));
        QCOMPARE(typeOf("dirlink"), QStringLiteral("Symbolic Link"));
        QCOMPARE(typeOf("filelink"), QStringLiteral("Symbolic Link"));
        QCOMPARE(typeOf("realdir"), QStringLiteral("File Folder"));
        QVERIFY(!child(site, "dirlink"));

        // A link to a folder opens as that folder and joins the tree.
        QVERIFY(pressEnterOn("dirlink"));
        QTRY_VERIFY_WITH_TIMEOUT(
            idle() && column(files(), 0) == QStringList { "inner.txt" }, kNetWait);
        QCOMPARE(
            form->controls().PanelFiles->text(), QStringLiteral("  Current Directory: /dirlink"));
        QCOMPARE(form->tree().current(), child(site, "dirlink"));
        QVERIFY(prompts->asked.isEmpty());

        // Back up, and after a refresh, it is still one folder.
        form->treeCommands().SpeedUpOneClick();
        QTRY_VERIFY(idle() && typeOf("dirlink") == QStringLiteral("File Folder"));
        form->treeCommands().Refresh1Click();
        QTRY_VERIFY_WITH_TIMEOUT(idle() && column(files(), 0).contains("filelink"), kNetWait);
        QCOMPARE(column(files(), 0).count("dirlink"), 1);
        QCOMPARE(typeOf("dirlink"), QStringLiteral("File Folder"));
        QCOMPARE(childTexts(site).count("dirlink"), 1);

        // A link to a file is downloaded as the double-click downloads a file.
        const QString saved = local.filePath(QStringLiteral("copy.bin"));
        prompts->answerSave(saved);
        QVERIFY(selectRowsNamed(files(), { "filelink" }));
        form->files().openOrDownloadRow();
        QTRY_VERIFY_WITH_TIMEOUT(
            QFile::exists(saved) && form->queue().count() == 0 && idle(), kNetWait);
        QCOMPARE(fileContents(saved), fileContents(served + "/file.bin"));
        QCOMPARE(prompts->asked.size(), 1);
        QCOMPARE(prompts->asked[0].title, QStringLiteral("Save /filelink As"));
        QCOMPARE(typeOf("filelink"), QStringLiteral("Symbolic Link"));

        // A link that leads nowhere fails as a download does, and nothing breaks.
        prompts->answerSave(local.filePath(QStringLiteral("nothing.bin")));
        QVERIFY(selectRowsNamed(files(), { "dangling" }));
        form->files().openOrDownloadRow();
        QTRY_VERIFY_WITH_TIMEOUT(idle() && !prompts->messageTexts().isEmpty(), kNetWait);
        QVERIFY2(prompts->messageTexts().last().endsWith(kStopped),
            qPrintable(prompts->messageTexts().join('|')));
        QCOMPARE(prompts->messageTexts().size(), 1);
        QVERIFY(!QFile::exists(local.filePath(QStringLiteral("nothing.bin"))));
        QCOMPARE(
            QDir(local.path()).entryList(QDir::Files | QDir::Hidden), QStringList { "copy.bin" });
        QVERIFY(!child(site, "dangling"));
        QVERIFY(pressEnterOn("dirlink"));
        QTRY_VERIFY_WITH_TIMEOUT(
            idle() && column(files(), 0) == QStringList { "inner.txt" }, kNetWait);
    }

private slots:
    void initTestCase() { useShortNetworkTimeouts(); }

    void init() { startWindowTest(prompts); }

    void cleanup() { endWindowTest(form, prompts); }

    void linksOfAListOnlyServerOpenAsWhatTheyLeadTo()
    {
        PrivateFtpServer server;
        server.setListOnly(true);
        QVERIFY2(server.start(), "server did not start");
        addLinks(server.anonRoot(), QByteArray(70000, 'L') + QByteArray("end"));
        openWindowOn(server.host());
        linksOpenAsWhatTheyLeadTo(server.anonRoot());
    }

    // vsftpd lists a link to a file as nothing when asked for it by name.
    void linksOfVsftpdOpenAsWhatTheyLeadTo()
    {
        if (!VsftpdServer::whyUnavailable().isEmpty())
            QSKIP(qPrintable(VsftpdServer::whyUnavailable()));
        VsftpdServer vsftpd;
        QVERIFY(vsftpd.ok());
        addLinks(vsftpd.anonRoot(), QByteArray(70000, 'V') + QByteArray("end"));
        openWindowOn(QString::fromLatin1(vsftpd.address()));
        linksOpenAsWhatTheyLeadTo(vsftpd.anonRoot());
    }
};

VREX_WINDOW_TEST_MAIN(TestLinkWindow)
#include "tst_linkwindow.moc"
