// The queue outlasts the window: it comes back stopped, and a download
// stopped part way goes on from its partial file, against a real server that
// shows what was asked of it.

#include "MainWindowTest.h"
#include "PrivateFtpServer.h"
#include "ScriptedPrompts.h"
#include "WindowTestKit.h"

#include "app/MainLayout.h"
#include "app/ToolBarPanel.h"
#include "explorer/ListingView.h"
#include "ftp/WinInetFTP.h"
#include "transfers/TFormStartQueue.h"
#include "transfers/TransferQueue.h"
#include "widgets/StatusPanels.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QToolButton>

#include <memory>

constexpr int kNetWait = 30000;

class TestSavedQueue : public QObject {
    Q_OBJECT

    PrivateFtpServer server;
    std::unique_ptr<TForm1> form;
    std::unique_ptr<ScriptedPrompts> prompts;
    std::unique_ptr<QTemporaryDir> local;

    TransferQueue &queue() { return form->queue(); }
    QString target(const QString &name) { return local->filePath(name); }

private slots:
    void initTestCase()
    {
        useShortNetworkTimeouts();
        server.setCommandLog(true);
        server.setDataRate(1 << 20);
        QVERIFY2(server.start(), "server did not start");
    }

    void init()
    {
        prompts = std::make_unique<ScriptedPrompts>();
        local = std::make_unique<QTemporaryDir>();
        QFile::remove(QueueFile().filePath());
        QVERIFY(QDir().mkpath(QueueFile::defaultFolder()));
    }

    void cleanup() { endWindowTest(form, prompts); }

    void cleanupTestCase() { server.stop(); }

    void aDamagedQueueFileIsToldOnce()
    {
        QVERIFY(writeFileBytes(QueueFile().filePath(), "{\"format\":\"vrex-queue\",\"items\":[{"));
        form = openMainWindow(true);
        QCOMPARE(prompts->messageTexts(), QStringList { "Invalid Queue File." });
        QCOMPARE(queue().count(), 0);
    }

    void stopThenStartAgainGoesOnFromThePartialFile_data()
    {
        QTest::addColumn<bool>("changed");
        QTest::newRow("the same file on the server") << false;
        QTest::newRow("the file changed on the server meanwhile") << true;
    }

    void stopThenStartAgainGoesOnFromThePartialFile()
    {
        QFETCH(bool, changed);
        QByteArray content(3 << 20, Qt::Uninitialized);
        QRandomGenerator::global()->fillRange(
            reinterpret_cast<quint32 *>(content.data()), content.size() / 4);
        const QString source = server.userRoot() + QStringLiteral("/big.bin");
        QVERIFY(writeFileBytes(source, content));
        const QString partial = target(QStringLiteral(".big.bin.vrexpart"));
        form = openMainWindow();
        QueueItem item;
        item.name = QStringLiteral("/big.bin");
        item.saveFile = target(QStringLiteral("big.bin"));
        item.actions = QStringLiteral("Download");
        item.host = server.host();
        item.login = QStringLiteral("vrex");
        item.password = QStringLiteral("secret");
        item.entry.nFileSizeLow = uint32_t(content.size());
        queue().addItem(item);
        queue().afterAdding();
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(partial).size() > 0, kNetWait);
        prompts->answer(QMessageBox::No); // keep it in the queue
        QTest::mouseClick(
            form->controls().PanelExplorerTools->button(ToolBarPanel::Stop), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(form->ftp().NoWorkerAlive(), kNetWait);
        const qint64 kept = QFileInfo(partial).size();
        QVERIFY2(kept > 0 && kept < content.size(), qPrintable(QString::number(kept)));
        QCOMPARE(QFileInfo(partial).permissions() & 0x0777, QFile::ReadUser | QFile::WriteUser);
        QVERIFY(!QFile::exists(target("big.bin")));
        QCOMPARE(fileContents(partial), content.left(kept));

        if (changed) {
            content += "and more";
            QVERIFY(writeFileBytes(source, content));
        }
        form->FormClose();
        form.reset();
        form = openMainWindow(true);
        QCOMPARE(queue().statusOfRow(0), QStringLiteral("Waiting"));
        QCOMPARE(form->controls().StatusBar1->panelText(3), QStringLiteral("Queue: Stopped"));
        server.takeCommands();
        QTimer::singleShot(0, form.get(), [this] {
            auto *dialog = form->findChild<TFormStartQueue *>();
            QVERIFY(dialog && dialog->isVisible());
            dialog->accept(); // "Now"
        });
        form->SpeedQueueClick();
        QTRY_VERIFY_WITH_TIMEOUT(queue().count() == 0 && !form->listing().isBusy(), kNetWait);
        QCOMPARE(fileContents(target("big.bin")), content);
        QCOMPARE(
            QDir(local->path()).entryList(QDir::Files | QDir::Hidden), QStringList { "big.bin" });
        const QStringList commands = server.takeCommands();
        QCOMPARE(commands.contains(QStringLiteral("REST %1").arg(kept)), !changed);
        QCOMPARE(prompts->messageTexts(),
            QStringList { "The queue has been stopped.  "
                          "Do you want to remove the current file from the queue?" });
    }
};

VREX_WINDOW_TEST_MAIN(TestSavedQueue)
#include "tst_savedqueue.moc"
