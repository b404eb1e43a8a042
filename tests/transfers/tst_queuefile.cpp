// The saved queue on disk: what is written comes back field by field, a
// damaged file is never loaded half and never lost, and bursts of changes
// end up on disk whole.

#include "TestEnvironment.h"

#include "ftp/FileTime.h"
#include "transfers/QueueFile.h"
#include "transfers/QueueSaver.h"

#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>
#include <sys/stat.h>

namespace {

QueueItem itemNamed(const QString &name, QueueItemState state)
{
    QueueItem item;
    item.name = QStringLiteral("/pub/") + name;
    item.saveFile = QStringLiteral("/home/u/Downloads/") + name;
    item.actions = QStringLiteral("Download, Newer");
    item.host = QStringLiteral("ftp.example.org:2121");
    item.login = QStringLiteral("vrex");
    item.password = QStringLiteral("s3cr\u00e9t \"quoted\"");
    item.state = state;
    item.entry.dwFileAttributes = FILE_ATTRIBUTE_NORMAL;
    item.entry.nFileSizeHigh = 1; // beyond 4 GiB
    item.entry.nFileSizeLow = 4242;
    item.entry.ftLastWriteTime = { 0xb1e1c000u, 0x01d9a9d4u };
    const QByteArray utf8 = name.toUtf8();
    std::memcpy(item.entry.cFileName, utf8.constData(), size_t(utf8.size()));
    return item;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

bool writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

} // namespace

class TestQueueFile : public QObject {
    Q_OBJECT

private slots:
    void itemsComeBackAsTheyWereSaved_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("failure");
        QTest::addColumn<bool>("ask");
        QTest::newRow("waiting") << "a.txt" << int(QueueItemState::Waiting) << QString() << false;
        QTest::newRow("in progress, asks before replacing, not ASCII")
            << QStringLiteral("r\u00e9sum\u00e9 \u65e5\u672c.pdf") << int(QueueItemState::InProgress)
            << QString() << true;
        QTest::newRow("failed keeps its reason")
            << "b.bin" << int(QueueItemState::Failed)
            << QStringLiteral("The transfer did not complete. 550 No such file.") << false;
    }

    void itemsComeBackAsTheyWereSaved()
    {
        QFETCH(QString, name);
        QFETCH(int, state);
        QFETCH(QString, failure);
        QFETCH(bool, ask);
        QTemporaryDir dir;
        QueueItem item = itemNamed(name, QueueItemState(state));
        item.failure = failure;
        item.askBeforeReplacing = ask;
        QueueItem upload = itemNamed(QStringLiteral("up.txt"), QueueItemState::Waiting);
        upload.actions = QStringLiteral("Send");
        upload.login.clear();
        upload.password.clear();
        QueueFile file(dir.path());
        file.save(QueueFile::serialize({ item, upload }));
        struct stat info { };
        QCOMPARE(::stat(QFile::encodeName(file.filePath()).constData(), &info), 0);
        QCOMPARE(info.st_mode & 0777, mode_t(0600));

        const QueueFile::LoadResult loaded = QueueFile(dir.path()).load();
        QCOMPARE(loaded.status, QueueFile::LoadStatus::Loaded);
        QCOMPARE(loaded.items.size(), size_t(2));
        const QueueItem &back = loaded.items[0];
        QCOMPARE(back.name, QStringLiteral("/pub/") + name);
        QCOMPARE(back.saveFile, QStringLiteral("/home/u/Downloads/") + name);
        QCOMPARE(back.actions, QStringLiteral("Download, Newer"));
        QCOMPARE(back.host, QStringLiteral("ftp.example.org:2121"));
        QCOMPARE(back.login, QStringLiteral("vrex"));
        QCOMPARE(back.password, QStringLiteral("s3cr\u00e9t \"quoted\""));
        QCOMPARE(int(back.state), state);
        QCOMPARE(back.failure, failure);
        QCOMPARE(back.askBeforeReplacing, ask);
        QCOMPARE(back.size(), (uint64_t(1) << 32) + 4242);
        QCOMPARE(FileTime::toTicks(back.entry.ftLastWriteTime), 0x01d9a9d4b1e1c000ull);
        QCOMPARE(QString::fromUtf8(back.entry.cFileName), name);
        QCOMPARE(loaded.items[1].actions, QStringLiteral("Send"));
        QVERIFY(loaded.items[1].password.isEmpty());
    }

    void aDamagedFileIsRefusedWholeAndKeptAside_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray good = QueueFile::serialize(
            { itemNamed("a", QueueItemState::Waiting), itemNamed("b", QueueItemState::Failed) });
        QTest::newRow("cut short") << good.left(good.size() / 2);
        QTest::newRow("not the queue's") << QByteArray("{\"sites\":{}}");
        QTest::newRow("an item without a save file")
            << QByteArray(good).replace("\"saveFile\":\"/home/u/Downloads/b\",", "");
        QTest::newRow("an entry of another length")
            << QByteArray(good).replace("\"entry\":\"gAAAAA", "\"entry\":\"");
        QTest::newRow("a state of no meaning")
            << QByteArray(good).replace("\"state\":\"failed\"", "\"state\":\"done\"");
        QTest::newRow("a later version")
            << QByteArray(good).replace("\"version\":1", "\"version\":2");
    }

    void aDamagedFileIsRefusedWholeAndKeptAside()
    {
        QFETCH(QByteArray, bytes);
        QTemporaryDir dir;
        QueueFile file(dir.path());
        QVERIFY(writeAll(file.filePath(), bytes));
        const QueueFile::LoadResult loaded = file.load();
        QCOMPARE(loaded.status, QueueFile::LoadStatus::Invalid);
        QVERIFY(loaded.items.empty());
        // The first save keeps the damaged file aside, byte for byte; a later
        // save leaves that copy alone.
        file.save(QueueFile::serialize({ itemNamed("new", QueueItemState::Waiting) }));
        const QString kept = file.filePath() + QStringLiteral(".rejected");
        QCOMPARE(readAll(kept), bytes);
        file.save(QueueFile::serialize({}));
        QCOMPARE(readAll(kept), bytes);
        QCOMPARE(QueueFile(dir.path()).load().status, QueueFile::LoadStatus::Loaded);
    }

    void burstsOfChangesReachTheDiskWholeAndAFailedSaveIsToldOnce()
    {
        QTemporaryDir dir;
        std::vector<QueueItem> items;
        QStandardItemModel rows;
        QueueSaver saver(std::make_unique<QueueFile>(dir.path()), [&items] { return items; });
        QStringList told;
        saver.reportFailure = [&told](const QString &message) { told << message; };
        saver.watch(&rows);
        for (int i = 0; i < 20000; ++i) {
            items.push_back(itemNamed(QStringLiteral("f%1").arg(i), QueueItemState::Waiting));
            rows.appendRow(new QStandardItem);
        }
        QTRY_VERIFY_WITH_TIMEOUT(saver.isIdle(), 30000);
        auto loaded = QueueFile(dir.path()).load();
        QCOMPARE(loaded.items.size(), size_t(20000));
        QCOMPARE(loaded.items.back().name, QStringLiteral("/pub/f19999"));

        // The folder turns into a file: the saves fail, and the user hears once.
        QVERIFY(QDir(dir.path()).removeRecursively());
        QVERIFY(writeAll(dir.path(), "in the way"));
        for (int round = 0; round < 3; ++round) {
            items.pop_back();
            rows.removeRow(0);
            QTRY_VERIFY_WITH_TIMEOUT(saver.isIdle(), 30000);
        }
        QCOMPARE(told, QStringList { QStringLiteral("Cannot create file %1/myQueue.json").arg(dir.path()) });
        QFile::remove(dir.path());
        items.resize(2);
        saver.saveNowAndStop();
        QCOMPARE(QueueFile(dir.path()).load().items.size(), size_t(2));
        rows.removeRow(0); // stopped: nothing more is written
        QVERIFY(saver.isIdle());
    }
};

VREX_TEST_MAIN(TestQueueFile, QCoreApplication)
#include "tst_queuefile.moc"
