// The quick download dialog of the real main window against a real FTP
// server: one file named by its path and site, fetched without the queue.

#include "MainWindowTest.h"
#include "PrivateFtpServer.h"
#include "ScriptedPrompts.h"
#include "WindowTestKit.h"

#include "app/MainLayout.h"
#include "app/TForm1.h"
#include "app/ToolBarPanel.h"
#include "explorer/SiteTree.h"
#include "ftp/WinInet.h"
#include "storage/SiteBook.h"
#include "storage/TRegFile.h"
#include "transfers/TFormGetFile.h"
#include "transfers/TransferProgress.h"
#include "transfers/TransferQueue.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabBar>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

constexpr int kNetWait = 20000;
const QString kStopped
    = QStringLiteral("\r\rThe transfer has been terminated and the queue stopped.");
const QString kTransferred = QStringLiteral("File transferred.");

} // namespace

class TestQuickDownload : public QObject {
    Q_OBJECT

    PrivateFtpServer server;
    std::unique_ptr<TForm1> form;
    std::unique_ptr<ScriptedPrompts> prompts;
    std::unique_ptr<QTemporaryDir> local;
    int connects = 0;

    bool idle() { return !form->listing().isBusy(); }
    QString localPath(const QString &name) { return local->filePath(name); }
    TFormGetFile *dialog() { return form->findChild<TFormGetFile *>(); }
    TransferProgress &progress() { return form->progress(); }

    // The window opens "Private" (login vrex) at start-up, the first site by
    // name; every connection made after that is counted.
    void openWindow(const QString &silentHost = QString())
    {
        SiteBook book;
        book.InsertSite({ server.host(), QStringLiteral("Public"), {}, {}, QStringLiteral("/") });
        book.InsertSite({ server.host(), QStringLiteral("Private"), QStringLiteral("vrex"),
            QStringLiteral("secret"), QStringLiteral("/") });
        if (!silentHost.isEmpty())
            book.InsertSite({ silentHost, QStringLiteral("Silent"), {}, {}, QStringLiteral("/") });
        book.SaveSiteBook();
        form = openMainWindow();
        QTRY_VERIFY_WITH_TIMEOUT(idle() && form->tree().current(), kNetWait);
        QCOMPARE(form->tree().currentConnection().login, QStringLiteral("vrex"));
        auto counted = form->ftp().OnConnect;
        form->ftp().OnConnect = [this, counted](TWinInetFTP *f, HINTERNET s, HINTERNET c) {
            ++connects;
            counted(f, s, c);
        };
    }

    // "&Download..." as the user chooses it: `work` runs while the dialog is
    // shown. False when the dialog did not open.
    bool useDialog(const std::function<void(TFormGetFile &)> &work)
    {
        bool opened = false;
        QTimer::singleShot(0, form.get(), [&] {
            TFormGetFile *d = dialog();
            if (!d->isVisible())
                return;
            opened = true;
            work(*d);
            if (d->isVisible())
                d->reject();
        });
        form->MenuDownloadClick();
        QCoreApplication::processEvents(); // a refused command leaves the timer waiting
        return opened;
    }

    void waitForTheEnd()
    {
        QTRY_VERIFY_WITH_TIMEOUT(
            idle() && form->actions().pendingAction() == PendingAction::None, kNetWait);
        QTRY_VERIFY(!form->controls().PanelTransfer->isVisible());
    }

private slots:
    void initTestCase()
    {
        useShortNetworkTimeouts();
        QVERIFY2(server.start(), "server did not start");
    }

    void init()
    {
        startWindowTest(prompts);
        local = std::make_unique<QTemporaryDir>();
        connects = 0;
    }

    void cleanup() { endWindowTest(form, prompts); }

    void cleanupTestCase() { server.stop(); }

    void fieldsComeFromTheConnectionOnlyWhereEmptyAndOkNeedsFileAndSite()
    {
        openWindow();
        const PendingAction before = form->actions().pendingAction();
        form->controls().TabSet1->setCurrentIndex(2); // the queue page always asks
        const bool opened = useDialog([&](TFormGetFile &d) {
            QCOMPARE(d.windowTitle(), QStringLiteral("Download File from FTP Site:"));
            QCOMPARE(d.focusWidget(), d.EditFile);
            QCOMPARE(d.EditFTP->text(), server.host());
            QCOMPARE(d.EditLogin->text(), QStringLiteral("vrex"));
            QCOMPARE(d.EditPswd->text(), QStringLiteral("secret"));
            QVERIFY(!d.CheckAnon->isChecked());
            QVERIFY(d.EditLogin->isEnabled() && d.LabelPswd->isEnabled());
            QVERIFY(!d.ButtonOK->isEnabled()); // no file yet

            QTest::keyClicks(d.EditFile, QStringLiteral("/pub/docs/Guide.TXT"));
            QVERIFY(d.ButtonOK->isEnabled());
            d.EditFTP->clear();
            QVERIFY(!d.ButtonOK->isEnabled());
            QTest::keyClicks(d.EditFTP, QStringLiteral("h"));
            QVERIFY(d.ButtonOK->isEnabled());
            // The limit counts the bytes of the site book's slot.
            d.EditFTP->clear();
            QTest::keyClicks(d.EditFTP, QString(40, QLatin1Char('a')));
            QCOMPARE(d.EditFTP->text().size(), 31);
            d.EditFTP->clear();
            for (int i = 0; i < 20; ++i)
                QTest::sendKeyEvent(
                    QTest::Click, d.EditFTP, Qt::Key_Eacute, QString(QChar(0xE9)), Qt::NoModifier);
            QCOMPARE(d.EditFTP->text(), QString(15, QChar(0xE9)));
            d.EditFTP->setText(QStringLiteral("ftp.example.net"));

            d.CheckAnon->click();
            QVERIFY(d.EditLogin->text().isEmpty() && d.EditPswd->text().isEmpty());
            QVERIFY(!d.EditLogin->isEnabled() && !d.EditPswd->isEnabled());
            QVERIFY(!d.LabelLogin->isEnabled() && !d.LabelPswd->isEnabled());
            d.CheckAnon->click();
            QVERIFY(d.EditLogin->isEnabled() && d.LabelLogin->isEnabled());
            d.CheckAnon->click();
            d.ButtonCancel->click();
        });
        QVERIFY(opened);
        QVERIFY(prompts->asked.isEmpty());
        QCOMPARE(form->actions().pendingAction(), before);

        // Opened again: the typed site stays, the emptied login and password
        // come from the connection again.
        form->controls().TabSet1->setCurrentIndex(0);
        QVERIFY(useDialog([&](TFormGetFile &d) {
            QCOMPARE(d.EditFile->text(), QStringLiteral("/pub/docs/Guide.TXT"));
            QCOMPARE(d.EditFTP->text(), QStringLiteral("ftp.example.net"));
            QCOMPARE(d.EditLogin->text(), QStringLiteral("vrex"));
            QVERIFY(!d.CheckAnon->isChecked());
            QVERIFY(d.ButtonOK->isEnabled());
            d.ButtonOK->click(); // and the save dialog is cancelled
        }));
        QCOMPARE(prompts->asked.size(), 1);
        QCOMPARE(prompts->asked[0].kind, QStringLiteral("save"));
        QCOMPARE(prompts->asked[0].title, QStringLiteral("Save /pub/docs/Guide.TXT As"));
        QVERIFY2(prompts->asked[0].text.endsWith(QLatin1String("/guide.txt")),
            qPrintable(prompts->asked[0].text));
        QCOMPARE(form->actions().pendingAction(), before);
        QVERIFY(idle());
        QCOMPARE(connects, 0);
        QCOMPARE(form->tree().currentConnection().host, server.host());
    }

    void aFileComesFromTheSiteAndLoginTyped_data()
    {
        QTest::addColumn<bool>("anonymous");
        QTest::addColumn<int>("newConnections");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<bool>("planted"); // a symbolic link at the name, to another file
        QTest::newRow("the open connection")
            << false << 0 << QByteArray("the user's copy") << false;
        QTest::newRow("another login") << true << 1 << QByteArray("the anonymous copy") << false;
        QTest::newRow("a link planted at the name is replaced, not written through")
            << false << 0 << QByteArray("the user's copy") << true;
    }

    void aFileComesFromTheSiteAndLoginTyped()
    {
        QFETCH(bool, anonymous);
        QFETCH(int, newConnections);
        QFETCH(QByteArray, expected);
        QFETCH(bool, planted);
        QVERIFY(writeFileBytes(server.userRoot() + QStringLiteral("/same.txt"), "the user's copy"));
        QVERIFY(writeFileBytes(server.anonRoot() + QStringLiteral("/same.txt"), "the anonymous copy"));
        const QString target = localPath(QStringLiteral("same.txt"));
        QTemporaryDir elsewhere;
        const QString victim = elsewhere.filePath(QStringLiteral("own.txt"));
        QVERIFY(writeFileBytes(victim, "the user's own file"));
        if (planted)
            QVERIFY(QFile::link(victim, target));
        else
            QVERIFY(writeFileBytes(target, "old"));
        openWindow();
        prompts->answerSave(target);
        prompts->answer(QMessageBox::Ok); // overwrite the old copy
        QVERIFY(useDialog([&](TFormGetFile &d) {
            d.EditFile->setText(QStringLiteral("/same.txt"));
            if (anonymous)
                d.CheckAnon->click();
            d.ButtonOK->click();
        }));
        QTRY_VERIFY2_WITH_TIMEOUT(prompts->messageTexts().contains(kTransferred),
            qPrintable(prompts->messageTexts().join('|')), kNetWait);
        QCOMPARE(prompts->asked.last().icon, Prompts::Icon::Information);
        QCOMPARE(prompts->asked.last().title, QStringLiteral("Vrex Explorer"));
        waitForTheEnd();
        QCOMPARE(fileContents(target), expected);
        QVERIFY(!QFileInfo(target).isSymLink());
        QCOMPARE(fileContents(victim), QByteArray("the user's own file"));
        QCOMPARE(connects, newConnections);
        QCOMPARE(
            form->tree().currentConnection().login, anonymous ? QString() : QStringLiteral("vrex"));
        QCOMPARE(prompts->messageTexts().size(), 2); // the overwrite question, then done
        QCOMPARE(form->queue().count(), 0);
        QVERIFY(!form->queue().isStopped());
        QCOMPARE(
            QDir(local->path()).entryList(QDir::Files | QDir::Hidden), QStringList { "same.txt" });
    }

    void failuresAreToldAndStopTheQueue_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("reachable");
        QTest::addColumn<QString>("message");
        QTest::newRow("a file not on the site")
            << "/nothere.txt"
            << "nothere.txt" << true
            << QStringLiteral("The requested file cannot be found. The server replied: 550 No "
                              "such file or directory.")
                + kStopped;
        // Not even root may create files there.
        QTest::newRow("a folder that cannot be written")
            << "/readme.txt"
            << "/proc/readme.txt" << true << QStringLiteral("The save file is invalid.") + kStopped;
        QTest::newRow("a site that cannot be reached")
            << "/readme.txt"
            << "readme.txt" << false
            << QStringLiteral("Could not connect to a site to establish file transfer.");
    }

    void failuresAreToldAndStopTheQueue()
    {
        QFETCH(QString, file);
        QFETCH(QString, target);
        QFETCH(bool, reachable);
        QFETCH(QString, message);
        SilentListener closed;
        closed.close();
        openWindow();
        prompts->answerSave(target.startsWith('/') ? target : localPath(target));
        QVERIFY(useDialog([&](TFormGetFile &d) {
            d.EditFile->setText(file);
            if (!reachable)
                d.EditFTP->setText(closed.host());
            d.ButtonOK->click();
        }));
        QTRY_VERIFY2_WITH_TIMEOUT(prompts->messageTexts() == QStringList { message },
            qPrintable(prompts->messageTexts().join('|')), kNetWait);
        QCOMPARE(prompts->asked.last().icon, Prompts::Icon::Error);
        waitForTheEnd();
        QVERIFY(form->queue().isStopped());
        QVERIFY(QDir(local->path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
        if (!reachable)
            QVERIFY(form->tree().currentConnection().host.isEmpty());
    }

    void aRunningQuickDownloadShowsAnUnknownSizeRefusesAnotherAndStopKeepsTheOldFile()
    {
        const QString big = server.userRoot() + QStringLiteral("/big.bin");
        {
            QFile f(big);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.resize(qint64(1) << 30));
        }
        const QString target = localPath(QStringLiteral("big.bin"));
        QVERIFY(writeFileBytes(target, "the good old file"));
        openWindow();
        prompts->answerSave(target);
        prompts->answer(QMessageBox::Ok);
        QVERIFY(useDialog([&](TFormGetFile &d) {
            d.EditFile->setText(QStringLiteral("/big.bin"));
            d.ButtonOK->click();
        }));
        QLabel *done = progress().LabelComplete;
        QTRY_VERIFY_WITH_TIMEOUT(
            !done->text().isEmpty() && !done->text().startsWith(QLatin1String("0 ")), kNetWait);
        QVERIFY(form->controls().PanelTransfer->isVisible());
        QCOMPARE(progress().LabelFileName->text(), QStringLiteral("big.bin"));
        QCOMPARE(progress().LabelProgress->text(), QStringLiteral("unknown"));
        QVERIFY2(done->text().endsWith(QLatin1String(" bytes received")), qPrintable(done->text()));
        // Without a size there is no time left to tell, only the speed once known.
        const QString time = progress().LabelTime->text();
        QVERIFY2(QRegularExpression(QStringLiteral("^Transferring\\.\\.\\.( at [0-9.]+ [KM]B/s)?$"))
                     .match(time)
                     .hasMatch(),
            qPrintable(time));
        QCOMPARE(form->queue().count(), 0);

        // A second quick download waits for no one: it is refused, silently.
        const int asked = prompts->asked.size();
        QVERIFY(!useDialog([](TFormGetFile &) {}));
        dialog()->ButtonOKClick();
        QCOMPARE(prompts->asked.size(), asked);
        QCOMPARE(form->actions().pendingAction(), PendingAction::GetNow);

        QTest::mouseClick(
            form->controls().PanelExplorerTools->button(ToolBarPanel::Stop), Qt::LeftButton);
        waitForTheEnd();
        QTRY_VERIFY_WITH_TIMEOUT(form->ftp().NoWorkerAlive(), kNetWait);
        QCOMPARE(prompts->asked.size(), asked);
        QCOMPARE(fileContents(target), QByteArray("the good old file"));
        QCOMPARE(
            QDir(local->path()).entryList(QDir::Files | QDir::Hidden), QStringList { "big.bin" });
        QFile::remove(big);
    }

    void refusedWhileASiteIsBeingOpened()
    {
        SilentListener silent;
        openWindow(silent.host());
        form->controls().TreeView1->setCurrentItem(child(form->root(), QStringLiteral("Silent")));
        QVERIFY(form->listing().isBusy());
        QCOMPARE(form->actions().pendingAction(), PendingAction::Connect);
        QVERIFY(!useDialog([](TFormGetFile &) {}));
        dialog()->EditFile->setText(QStringLiteral("/readme.txt"));
        dialog()->ButtonOKClick();
        QVERIFY(prompts->asked.isEmpty());
        QCOMPARE(form->actions().pendingAction(), PendingAction::Connect);
        form->SpeedStopClick();
        QTRY_VERIFY_WITH_TIMEOUT(form->ftp().NoWorkerAlive(), kNetWait);
    }
};

VREX_WINDOW_TEST_MAIN(TestQuickDownload)
#include "tst_quickdownload.moc"
