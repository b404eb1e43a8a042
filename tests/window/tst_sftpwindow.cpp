// An SFTP site through the main window, against a real OpenSSH server: made
// in the site dialog, its host key accepted once, browsed, a file downloaded
// byte-exact, and a changed host key refused with the warning.

#include "MainWindowTest.h"
#include "ScriptedPrompts.h"
#include "SshdServer.h"
#include "WindowTestKit.h"

#include "app/MainMenu.h"
#include "app/TForm1.h"
#include "explorer/HostKeyTrust.h"
#include "explorer/ListingView.h"
#include "explorer/SiteTreeCommands.h"
#include "explorer/TFormConnect.h"
#include "storage/SiteBook.h"
#include "storage/SiteOptionsFile.h"
#include "storage/TRegFile.h"
#include "transfers/TransferQueue.h"
#include "widgets/StatusPanels.h"
#include "widgets/TListView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

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
        QFile::remove(SiteBook().filePath());
        QFile::remove(SiteOptionsFile().filePath());
        QFile::remove(TRegFile::settingsFilePath());
        prompts = std::make_unique<ScriptedPrompts>();
    }
    void cleanup()
    {
        if (form) {
            form->FormClose();
            form.reset();
        }
        prompts.reset();
    }

    void anSftpSiteIsMadeBrowsedAndDownloadedFrom()
    {
        SshdServer server;
        QVERIFY2(server.ok(), qPrintable(server.log()));
        QVERIFY(QDir().mkpath(home.filePath(".ssh")));
        QFile::remove(home.filePath(".ssh/id_ed25519"));
        QVERIFY(QFile::copy(server.sshDir() + "/id_ed25519", home.filePath(".ssh/id_ed25519")));
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
};

VREX_WINDOW_TEST_MAIN(TestSftpWindow)
#include "tst_sftpwindow.moc"
