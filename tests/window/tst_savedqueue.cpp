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

namespace {

constexpr int kNetWait = 30000;

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeAll(const QString &path, const QByteArray &bytes, QIODevice::OpenMode extra = {})
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | extra) && f.write(bytes) == bytes.size();
}

} // namespace

class TestSavedQueue : public QObject {
    Q_OBJECT

    PrivateFtpServer server;
    std::unique_ptr<TForm1> form;
    std::unique_ptr<ScriptedPrompts> prompts;
    std::unique_ptr<QTemporaryDir> local;

    TransferQueue &queue() { return form->queue(); }
    QString panel(int i) { return form->controls().StatusBar1->panelText(i); }
    QString target(const QString &name) { return local->filePath(name); }

    QueueItem download(const QString &name, qint64 size)
    {
        QueueItem item;
        item.name = QLatin1Char('/') + name;
        item.saveFile = target(name);
        item.actions = QStringLiteral("Download");
        item.host = server.host();
        item.login = QStringLiteral("vrex");
        item.password = QStringLiteral("secret");
        item.entry.nFileSizeLow = uint32_t(size);
        return item;
    }

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

    void cleanup()
    {
        if (form) {
            form->FormClose();
            form.reset();
        }
        prompts.reset();
    }

    void cleanupTestCase() { server.stop(); }

    void aDamagedQueueFileIsToldOnce()
    {
        QVERIFY(writeAll(QueueFile().filePath(), "{\"format\":\"vrex-queue\",\"items\":[{"));
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
        QVERIFY(writeAll(source, content));
        const QString partial = target(QStringLiteral(".big.bin.vrexpart"));
        form = openMainWindow();
        queue().addItem(download("big.bin", content.size()));
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
        QCOMPARE(readAll(partial), content.left(kept));

        if (changed) {
            content += "and more";
            QVERIFY(writeAll(source, "and more", QIODevice::Append));
        }
        form->FormClose();
        form.reset();
        form = openMainWindow(true);
        QCOMPARE(queue().statusOfRow(0), QStringLiteral("Waiting"));
        QCOMPARE(panel(3), QStringLiteral("Queue: Stopped"));
        server.takeCommands();
        QTimer::singleShot(0, form.get(), [this] {
            auto *dialog = form->findChild<TFormStartQueue *>();
            QVERIFY(dialog && dialog->isVisible());
            dialog->accept(); // "Now"
        });
        form->SpeedQueueClick();
        QTRY_VERIFY_WITH_TIMEOUT(queue().count() == 0 && !form->listing().isBusy(), kNetWait);
        QCOMPARE(readAll(target("big.bin")), content);
        QCOMPARE(QDir(local->path()).entryList(QDir::Files | QDir::Hidden), QStringList { "big.bin" });
        const QStringList commands = server.takeCommands();
        QCOMPARE(commands.contains(QStringLiteral("REST %1").arg(kept)), !changed);
        QCOMPARE(prompts->messageTexts(),
            QStringList { "The queue has been stopped.  "
                          "Do you want to remove the current file from the queue?" });
    }
};

VREX_WINDOW_TEST_MAIN(TestSavedQueue)
#include "tst_savedqueue.moc"
