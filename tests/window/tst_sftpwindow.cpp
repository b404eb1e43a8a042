// An SFTP site through the main window, against a real OpenSSH server: made
// in the site dialog, its host key accepted once, browsed, a file downloaded
// byte-exact, and a changed host key refused with the warning; files and
// folders changed on it, a watched file checked, an sftp:// address opened;
// a key's passphrase asked for.

#include "MainWindowTest.h"
#include "ScriptedPrompts.h"
#include "SshdServer.h"
#include "WindowTestKit.h"

#include "app/MainMenu.h"
#include "app/TForm1.h"
#include "explorer/FileCommands.h"
#include "explorer/HostKeyTrust.h"
#include "explorer/ListingView.h"
#include "explorer/SiteTree.h"
#include "explorer/SiteTreeCommands.h"
#include "explorer/TFormConnect.h"
#include "storage/SiteBook.h"
#include "storage/SiteOptionsFile.h"
#include "storage/TRegFile.h"
#include "transfers/TFormNewer.h"
#include "transfers/TransferQueue.h"
#include "transfers/WatchList.h"
#include "widgets/StatusPanels.h"
#include "widgets/TListView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

constexpr int kNetWait = 20000;

QByteArray fingerprintOf(const QString &pubFile)
{
    QProcess p;
    p.start(QStringLiteral("ssh-keygen"), { "-l", "-E", "sha256", "-f", pubFile });
    p.waitForFinished(10000);
    return p.readAllStandardOutput().split(' ').value(1);
}

} // namespace

class TestSftpWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<TForm1> form;
    std::unique_ptr<ScriptedPrompts> prompts;
    QTemporaryDir home; // the user's home: ~/.ssh holds the key the server knows

    TForm1 &open()
    {
        form = std::make_unique<TForm1>();
        form->createDialogs();
        form->show();
        if (!QTest::qWaitForWindowExposed(form.get()))
            qWarning("main window was not exposed");
        return *form;
    }
    TListView *files() { return form->controls().ListView1; }
    QString panel(int i) { return form->controls().StatusBar1->panelText(i); }
    bool idle() { return !form->listing().isBusy(); }

    // The site as a person adds it: the address, SFTP, the folder to open.
    bool securityShown = true;
    void createSite(const SshdServer &server)
    {
        auto *dialog = form->findChild<TFormConnect *>();
        const QString host = QString::fromLatin1(server.address());
        const QString folder = server.dataDir();
        QTimer::singleShot(0, dialog, [this, dialog, host, folder] {
            QTest::keyClicks(dialog->EditFTP, host);
            QTest::keyClicks(dialog->EditDesc, "Shell");
            dialog->EditDir->setText(folder);
            auto *protocol = dialog->findChild<QComboBox *>(QStringLiteral("ComboProtocol"));
            protocol->setCurrentText(QStringLiteral("SFTP (SSH)"));
            securityShown = dialog->ComboSecurity->isVisible(); // SSH always encrypts
            QTest::mouseClick(dialog->Button2, Qt::LeftButton);
        });
        form->controls().menu->New1->trigger();
    }

    // ~/.ssh as the user keeps it: the key the server knows, and the server
    // in known_hosts when it is to be known already.
    bool useKeyOf(const SshdServer &server, bool knownHost)
    {
        const QString ssh = home.filePath(".ssh");
        QDir(ssh).removeRecursively();
        return QDir().mkpath(ssh)
            && QFile::copy(server.sshDir() + "/id_ed25519", ssh + "/id_ed25519")
            && (!knownHost || writeFileBytes(ssh + "/known_hosts", server.knownHostsLine() + "\n"));
    }
    static bool until(const std::function<bool()> &done) { return QTest::qWaitFor(done, kNetWait); }
    bool shows(const QString &name, bool shown = true)
    {
        return until([&] { return idle() && column(files(), 0).contains(name) == shown; });
    }
    // Types into the editor that a rename or a new folder opened.
    static bool typeName(QWidget *in, const QString &name)
    {
        QLineEdit *editor = nullptr;
        if (!until([&] { return (editor = in->findChild<QLineEdit *>()) && editor->isVisible(); }))
            return false;
        editor->selectAll();
        QTest::keyClicks(editor, name + "\r");
        return true;
    }

private slots:
    void initTestCase()
    {
        if (!SshdServer::whyUnavailable().isEmpty())
            QSKIP(qPrintable(SshdServer::whyUnavailable()));
        qputenv("HOME", home.path().toLocal8Bit());
        qunsetenv("SSH_AUTH_SOCK");
    }
    void init()
    {
        startWindowTest(prompts);
        QFile::remove(SiteOptionsFile().filePath());
    }
    void cleanup() { endWindowTest(form, prompts); }

    void anSftpSiteIsMadeBrowsedAndDownloadedFrom()
    {
        SshdServer server;
        QVERIFY2(server.ok(), qPrintable(server.log()));
        QVERIFY(useKeyOf(server, false));
        QByteArray payload(300001, '\0');
        for (int i = 0; i < payload.size(); ++i)
            payload[i] = char(i * 7 + i / 251);
        QVERIFY(writeFileBytes(server.dataDir() + "/data.bin", payload));
        QVERIFY(QDir(server.dataDir()).mkpath("folder"));

        open();
        prompts->answerChoice(1); // Trust once
        createSite(server);
        QTRY_VERIFY_WITH_TIMEOUT(idle() && column(files(), 0).contains("data.bin"), kNetWait);
        QVERIFY(!securityShown);
        QCOMPARE(prompts->choices().size(), 1);
        const ScriptedPrompts::Question q = prompts->choices().first();
        QCOMPARE(q.title, QStringLiteral("Vrex Explorer"));
        QCOMPARE(q.choices, HostKeyTrust::kButtons);
        QCOMPARE(q.defaultChoice, 2);
        QVERIFY2(q.text.contains("Key type: ssh-ed25519"), qPrintable(q.text));
        QVERIFY2(q.text.contains(fingerprintOf(server.sshDir() + "/../host_key.pub")),
            qPrintable(q.text));
        QCOMPARE(panel(4), QStringLiteral("Encrypted (SSH)"));
        QVERIFY(form->controls().StatusBar1->panelToolTip(4).contains("cipher"));
        SiteOptionsFile stored;
        QCOMPARE(stored.load(), SiteOptionsFile::LoadStatus::Loaded);
        QVERIFY(stored.optionsOf("Shell").sftp);

        QTemporaryDir local;
        QVERIFY(selectRowsNamed(files(), { QStringLiteral("data.bin") }));
        prompts->answerSave(local.filePath("data.bin"));
        form->MenuDownloadClick();
        QTRY_VERIFY_WITH_TIMEOUT(form->queue().count() == 0 && idle()
                && fileContents(local.filePath("data.bin")) == payload,
            kNetWait);
        QCOMPARE(prompts->choices().size(), 1); // the same run asks no more

        // The server comes back with another key: a warning, and no connection.
        prompts->clear();
        prompts->answerChoice(2); // Cancel
        QVERIFY(server.restartWithNewHostKey());
        form->treeCommands().RefreshAll1Click();
        QTRY_VERIFY_WITH_TIMEOUT(!prompts->messageTexts().isEmpty() && idle(), kNetWait);
        QCOMPARE(prompts->choices().size(), 1);
        QVERIFY2(prompts->choices().first().text.startsWith("WARNING: the host key of 127.0.0.1"),
            qPrintable(prompts->choices().first().text));
        QCOMPARE(prompts->choices().first().icon, Prompts::Icon::Warning);
        QCOMPARE(prompts->messageTexts().last(),
            QStringLiteral("The host key of %1 was not trusted. The connection was not made.")
                .arg(QString::fromLatin1(server.address())));
        QCOMPARE(panel(4), QString());
    }

    void filesAndFoldersChangeOnTheSiteAndAWatchedFileIsCheckedForANewerCopy()
    {
        SshdServer server;
        QVERIFY2(server.ok(), qPrintable(server.log()));
        QVERIFY(useKeyOf(server, true));
        const QString remote = server.dataDir() + "/";
        QTemporaryDir local;
        QByteArray payload(200003, '\0');
        for (int i = 0; i < payload.size(); ++i)
            payload[i] = char(i * 13 + i / 509);
        QVERIFY(writeFileBytes(local.filePath("up.bin"), payload)
            && writeFileBytes(remote + "watched.txt", "first"));
        open();
        createSite(server);
        QVERIFY(shows("watched.txt") && prompts->asked.isEmpty()); // a host in known_hosts

        prompts->answerOpen({ local.filePath("up.bin") });
        form->files().UploadFiletoSite1Click();
        QVERIFY(shows("up.bin") && until([&] { return form->queue().count() == 0; }));
        QCOMPARE(fileContents(remote + "up.bin"), payload);
        QVERIFY(selectRowsNamed(files(), { "up.bin" }));
        form->listing().PopupMenu1Popup();
        form->controls().PopupMenu1->findChild<QAction *>("Rename1")->trigger();
        QVERIFY(typeName(files(), "moved.bin"));
        QVERIFY(until([&] { return idle() && fileContents(remote + "moved.bin") == payload; }));
        QVERIFY(!QFile::exists(remote + "up.bin") && selectRowsNamed(files(), { "moved.bin" }));
        prompts->answer(QMessageBox::Yes);
        form->MenuDeleteClick();
        QVERIFY(shows("moved.bin", false) && !QFile::exists(remote + "moved.bin"));

        form->listing().File2Click();
        form->controls().menu->CreateDirectory1->trigger();
        QVERIFY(typeName(form->controls().TreeView1, "made"));
        QTreeWidgetItem *site = child(form->root(), "Shell");
        QVERIFY(until(
            [&] { return idle() && QFileInfo(remote + "made").isDir() && child(site, "made"); }));
        form->controls().TreeView1->setCurrentItem(child(site, "made"));
        QVERIFY(until([&] { return idle() && form->tree().current() == child(site, "made"); }));
        form->MenuDeleteClick();
        QVERIFY(until([&] { return idle() && !child(site, "made"); }));
        QVERIFY(!QFileInfo::exists(remote + "made"));
        QCOMPARE(prompts->messageTexts(),
            QStringList { "Are you sure you want to delete \"" + remote + "moved.bin\"?" });

        // Watched, then changed on the site: the check finds the newer copy.
        QVERIFY(shows("watched.txt") && selectRowsNamed(files(), { "watched.txt" }));
        form->MenuAddClick();
        QVERIFY(writeFileBytes(remote + "watched.txt", "second")
            && setModified(remote + "watched.txt", QDateTime::currentDateTimeUtc().addSecs(120)));
        form->controls().TabSet1->setCurrentIndex(1);
        QVERIFY(selectRowsNamed(form->controls().ListView2, { remote + "watched.txt" }));
        prompts->answerFolder(local.path());
        QTimer::singleShot(0, form.get(), [this] {
            form->findChild<TFormNewer *>()->ButtonBrowse->click();
            form->findChild<TFormNewer *>()->ButtonOK->click();
        });
        form->watches().DownloadifChanged1Click();
        QVERIFY(until(
            [&] { return column(form->controls().ListView2, 1) == QStringList { "Downloaded" }; }));
        QVERIFY(until([&] { return fileContents(local.filePath("watched.txt")) == "second"; }));

        // Its sftp:// address opens the same site at the file.
        prompts->clear();
        prompts->answer(QMessageBox::No);
        form->handOver(
            "sftp://" + server.address() + QUrl::toPercentEncoding(remote, "/") + "watched.txt");
        QVERIFY(until([&] {
            return prompts->messageTexts() == QStringList { "Download \"watched.txt\"?" };
        }));
        QVERIFY(form->tree().current() == site && form->root()->childCount() == 1);
    }

    void aKeysPassphraseIsAskedFor()
    {
        SshdServer server;
        QVERIFY2(server.ok(), qPrintable(server.log()));
        QVERIFY(useKeyOf(server, true) && writeFileBytes(server.dataDir() + "/here.txt", "x"));
        const QString key = home.filePath(".ssh/id_ed25519");
        QCOMPARE(
            QProcess::execute("ssh-keygen", { "-q", "-p", "-P", "", "-N", "p w", "-f", key }), 0);
        open();
        prompts->answerText(QStringLiteral("p w"));
        createSite(server);
        QVERIFY(shows("here.txt") && prompts->asked.size() == 1 && prompts->asked[0].password);
        QCOMPARE(QStringList(
                     { prompts->asked[0].kind, prompts->asked[0].title, prompts->asked[0].text }),
            QStringList(
                { "text", "Vrex Explorer", "Enter the passphrase for the key " + key + ":" }));
    }
};

VREX_WINDOW_TEST_MAIN(TestSftpWindow)
#include "tst_sftpwindow.moc"
