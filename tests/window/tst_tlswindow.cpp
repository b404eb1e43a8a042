// Encrypted sites through the main window: the certificate question, the
// trust that outlasts it, the messages of a connection that cannot be made
// secure, and the status bar that says the connection is encrypted.

#include "MainWindowTest.h"
#include "ScriptedPrompts.h"
#include "TlsTestKit.h"
#include "WindowTestKit.h"

#include "app/MainMenu.h"
#include "app/TForm1.h"
#include "explorer/CertificateTrust.h"
#include "explorer/ListingView.h"
#include "explorer/SiteTree.h"
#include "explorer/SiteTreeCommands.h"
#include "explorer/TFormConnect.h"
#include "explorer/TFormMessage.h"
#include "storage/SiteBook.h"
#include "storage/TRegFile.h"
#include "storage/TrustedCertificates.h"
#include "transfers/TFormGetFile.h"
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

} // namespace

class TestTlsWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<TForm1> form;
    std::unique_ptr<ScriptedPrompts> prompts;

    // The window as the program opens it; false when it never showed.
    [[nodiscard]] bool open()
    {
        form = std::make_unique<TForm1>();
        form->createDialogs();
        form->show();
        return QTest::qWaitForWindowExposed(form.get());
    }

    TListView *files() { return form->controls().ListView1; }
    QString panel(int i) { return form->controls().StatusBar1->panelText(i); }
    bool idle() { return !form->listing().isBusy(); }
    QString trustFile() const { return TrustedCertificates().filePath(); }

    // The site as a person adds it, requiring encryption unless told otherwise.
    void createSite(const TlsFtpServer &server, const QString &description,
        const QString &security = QStringLiteral("Require explicit FTP over TLS"))
    {
        auto *dialog = form->findChild<TFormConnect *>();
        const QString host = QString::fromLatin1(server.address());
        QTimer::singleShot(0, dialog, [dialog, host, description, security] {
            QTest::keyClicks(dialog->EditFTP, host);
            QTest::keyClicks(dialog->EditDesc, description);
            dialog->CheckAnon->click();
            QTest::keyClicks(dialog->EditLogin, "vrex");
            QTest::keyClicks(dialog->EditPswd, "secret");
            dialog->ComboSecurity->setCurrentText(security);
            QTest::mouseClick(dialog->Button2, Qt::LeftButton);
        });
        form->controls().menu->New1->trigger();
    }

    void waitForMessage(const QString &message)
    {
        QTRY_VERIFY2_WITH_TIMEOUT(prompts->messageTexts().contains(message),
            qPrintable(prompts->messageTexts().join('|')), kNetWait);
        QTRY_VERIFY(idle());
    }

private slots:
    void init()
    {
        startWindowTest(prompts);
        QFile::remove(trustFile());
    }

    void cleanup() { endWindowTest(form, prompts); }

    void aSelfSignedSiteAsksOnceAndShowsItIsEncrypted()
    {
        TestCertificate cert("IP:127.0.0.1");
        TlsFtpServer server("tls", &cert);
        QVERIFY(cert.ok() && server.ok());
        QVERIFY(writeFileBytes(server.root() + "/hello.txt", "hello"));
        QVERIFY(open());
        prompts->answerChoice(CertificateTrust::TrustOnce);
        createSite(server, "Secure");
        QTRY_VERIFY_WITH_TIMEOUT(
            idle() && column(files(), 0) == QStringList { "hello.txt" }, kNetWait);
        QCOMPARE(prompts->choices().size(), 1);
        const ScriptedPrompts::Question q = prompts->choices().first();
        QCOMPARE(q.choices, CertificateTrust::kButtons);
        QVERIFY2(
            q.text.startsWith("The certificate of 127.0.0.1 is not trusted.\rIt is self-signed.\r"),
            qPrintable(q.text));
        QVERIFY2(q.text.contains("CN=Vrex test"), qPrintable(q.text));
        QVERIFY(q.text.contains(QString::fromLatin1(cert.fingerprint())));
        QCOMPARE(panel(4), QStringLiteral("Encrypted"));
        QVERIFY(form->controls().StatusBar1->panelToolTip(4).startsWith("Encrypted with TLS 1."));

        // Once holds for that connection only: connecting anew asks again.
        prompts->answerChoice(CertificateTrust::TrustOnce);
        form->treeCommands().RefreshAll1Click();
        QTRY_VERIFY_WITH_TIMEOUT(
            idle() && column(files(), 0) == QStringList { "hello.txt" }, kNetWait);
        QCOMPARE(prompts->choices().size(), 2);
        QVERIFY(!QFile::exists(trustFile()));
    }

    void cancelRefusesAndTrustAlwaysOutlastsTheWindow()
    {
        TestCertificate cert("IP:127.0.0.1");
        TlsFtpServer server("tls", &cert);
        QVERIFY(cert.ok() && server.ok());
        QVERIFY(open());
        createSite(server, "Secure");
        waitForMessage(QStringLiteral("The certificate of %1 was not trusted. "
                                      "The connection was not made.")
                           .arg(server.address()));
        QCOMPARE(prompts->asked.last().icon, Prompts::Icon::Error);
        QCOMPARE(panel(4), QString());

        prompts->clear();
        prompts->answerChoice(CertificateTrust::TrustAlways);
        form->treeCommands().RefreshAll1Click();
        QTRY_VERIFY_WITH_TIMEOUT(idle() && panel(4) == "Encrypted", kNetWait);
        QCOMPARE(prompts->asked.size(), 1);
        QVERIFY(QFile::exists(trustFile()));

        // A new window, a new run: the certificate is trusted without a word.
        form->FormClose();
        prompts->clear();
        QVERIFY(open());
        QTRY_VERIFY_WITH_TIMEOUT(idle() && panel(4) == "Encrypted", kNetWait);
        QVERIFY2(prompts->asked.isEmpty(), qPrintable(prompts->messageTexts().join('|')));
    }

    void aRefusedCertificateStopsAQuickDownloadAndSaysWhy()
    {
        TestCertificate cert("IP:127.0.0.1");
        TlsFtpServer server("tls", &cert);
        QVERIFY(cert.ok() && server.ok());
        QVERIFY(writeFileBytes(server.root() + "/hello.txt", "hello"));
        QTemporaryDir local;
        QVERIFY(open());
        prompts->answerSave(local.filePath("hello.txt"));
        QTimer::singleShot(0, form.get(), [&] {
            TFormGetFile *d = form->findChild<TFormGetFile *>();
            d->EditFile->setText("/hello.txt");
            d->EditFTP->setText(QString::fromLatin1(server.address()));
            d->EditLogin->setText("vrex");
            d->EditPswd->setText("secret");
            d->ButtonOK->click();
        });
        form->MenuDownloadClick();
        const QString message = QStringLiteral("The certificate of %1 was not trusted. "
                                               "The connection was not made.")
                                    .arg(server.address());
        QTRY_VERIFY2_WITH_TIMEOUT(prompts->messageTexts() == QStringList { message },
            qPrintable(prompts->messageTexts().join('|')), kNetWait);
        QCOMPARE(prompts->choices().size(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(
            idle() && form->actions().pendingAction() == PendingAction::None, kNetWait);
        QVERIFY(form->queue().isStopped());
        QVERIFY(!QFile::exists(local.filePath("hello.txt")));
    }

    void dataInClearIsNeverCalledEncrypted()
    {
        TestCertificate cert("IP:127.0.0.1");
        TlsFtpServer server("tls-no-prot", &cert);
        QVERIFY(cert.ok() && server.ok());
        QVERIFY(writeFileBytes(server.root() + "/hello.txt", "hello"));
        QVERIFY(open());
        prompts->answerChoice(CertificateTrust::TrustOnce);
        createSite(server, "Half secure", QStringLiteral("Use TLS if the server offers it"));
        QTRY_VERIFY_WITH_TIMEOUT(
            idle() && column(files(), 0) == QStringList { "hello.txt" }, kNetWait);
        QCOMPARE(panel(4), QStringLiteral("Partly encrypted"));
        QVERIFY(form->controls().StatusBar1->panelToolTip(4).startsWith(
            "Only the login and commands are encrypted with TLS 1."));
        QVERIFY(form->findChild<TFormMessage *>()->lines().contains(
            "The server refused to protect data connections (PROT P): only the login and "
            "commands are encrypted, not listings or files."));
        QVERIFY(server.commands().contains("PROT"));
    }

    void connectionsThatCannotBeMadeSecureSayWhy_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("altName");
        QTest::addColumn<QString>("message");
        QTest::newRow("certificate of another host")
            << "tls"
            << "DNS:other.example.org"
            << "The certificate of %1 belongs to another host. The connection was refused.";
        QTest::newRow("server refusing AUTH TLS")
            << "plain"
            << "IP:127.0.0.1"
            << "The site %1 requires encryption, but the server refused it (AUTH TLS). "
               "The connection was not made.";
    }
    void connectionsThatCannotBeMadeSecureSayWhy()
    {
        QFETCH(QString, mode);
        QFETCH(QString, altName);
        QFETCH(QString, message);
        TestCertificate cert(altName);
        TlsFtpServer server(mode, mode == "tls" ? &cert : nullptr);
        QVERIFY(cert.ok() && server.ok());
        QVERIFY(open());
        createSite(server, "Insecure");
        waitForMessage(message.arg(server.address()));
        // Refused without asking about the certificate.
        QVERIFY(prompts->choices().isEmpty());
        QCOMPARE(panel(4), QString());
        QVERIFY(form->tree().currentConnection().host.isEmpty());
    }
};

VREX_WINDOW_TEST_MAIN(TestTlsWindow)
#include "tst_tlswindow.moc"
