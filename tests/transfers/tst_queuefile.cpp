// The saved queue on disk: what is written comes back field by field, and a
// damaged file is never loaded half and never lost.

#include "TestEnvironment.h"

#include "ftp/FileTime.h"
#include "transfers/QueueFile.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cstring>

namespace {

QueueItem itemNamed(const QString &name, QueueItemState state, const QString &failure = {})
{
    QueueItem item;
    item.name = QStringLiteral("/pub/") + name;
    item.saveFile = QStringLiteral("/home/u/") + name;
    item.actions = QStringLiteral("Download, Newer");
    item.host = QStringLiteral("ftp.example.org:2121");
    item.login = QStringLiteral("vrex");
    item.password = QStringLiteral("s3cr\u00e9t \"quoted\"");
    item.state = state;
    item.failure = failure;
    item.askBeforeReplacing = state == QueueItemState::InProgress;
    item.entry.nFileSizeHigh = 1; // beyond 4 GiB
    item.entry.nFileSizeLow = 4242;
    item.entry.ftLastWriteTime = { 0xb1e1c000u, 0x01d9a9d4u };
    const QByteArray utf8 = name.toUtf8();
    std::memcpy(item.entry.cFileName, utf8.constData(), size_t(utf8.size()));
    return item;
}

} // namespace

class TestQueueFile : public QObject {
    Q_OBJECT

private slots:
    // In progress, asking before replacing, not ASCII; failed, keeping its reason.
    void itemsComeBackAsTheyWereSaved()
    {
        const std::vector<QueueItem> saved {
            itemNamed(
                QStringLiteral("r\u00e9sum\u00e9 \u65e5\u672c.pdf"), QueueItemState::InProgress),
            itemNamed("b.bin", QueueItemState::Failed, "The transfer did not complete.")
        };
        QTemporaryDir dir;
        QueueFile(dir.path()).save(QueueFile::serialize(saved));
        QCOMPARE(QFileInfo(QueueFile(dir.path()).filePath()).permissions() & 0x0777,
            QFile::ReadUser | QFile::WriteUser);
        const QueueFile::LoadResult loaded = QueueFile(dir.path()).load();
        QCOMPARE(loaded.status, QueueFile::LoadStatus::Loaded);
        QCOMPARE(loaded.items.size(), saved.size());
        for (size_t i = 0; i < saved.size(); ++i) {
            const QueueItem &back = loaded.items[i], &was = saved[i];
            QCOMPARE(QStringList({ back.name, back.saveFile, back.actions, back.host, back.login,
                         back.password, back.failure }),
                QStringList({ was.name, was.saveFile, "Download, Newer", "ftp.example.org:2121",
                    "vrex", QStringLiteral("s3cr\u00e9t \"quoted\""), was.failure }));
            QCOMPARE(int(back.state), int(was.state));
            QCOMPARE(back.askBeforeReplacing, i == 0);
            QCOMPARE(back.size(), (uint64_t(1) << 32) + 4242);
            QCOMPARE(FileTime::toTicks(back.entry.ftLastWriteTime), 0x01d9a9d4b1e1c000ull);
            QCOMPARE(
                QString::fromUtf8(back.entry.cFileName), QString::fromUtf8(was.entry.cFileName));
        }
    }

    void aDamagedFileIsRefusedWholeAndKeptAside_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray good = QueueFile::serialize(
            { itemNamed("a", QueueItemState::Waiting), itemNamed("b", QueueItemState::Failed) });
        QTest::newRow("cut short") << good.left(good.size() / 2);
        QTest::newRow("not the queue's") << QByteArray("{\"sites\":{}}");
        QTest::newRow("an item without a save file")
            << QByteArray(good).replace("\"saveFile\":\"/home/u/b\",", "");
        QTest::newRow("an entry longer than a record")
            << QByteArray(good).replace("\"entry\":\"", "\"entry\":\"" + QByteArray(500, 'A'));
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
        QFile damaged(file.filePath());
        QVERIFY(damaged.open(QIODevice::WriteOnly) && damaged.write(bytes) == bytes.size());
        damaged.close();
        const QueueFile::LoadResult loaded = file.load();
        QCOMPARE(loaded.status, QueueFile::LoadStatus::Invalid);
        QVERIFY(loaded.items.empty());
        // The first save keeps it aside byte for byte; a later one leaves that copy be.
        file.save(QueueFile::serialize({ itemNamed("new", QueueItemState::Waiting) }));
        file.save(QueueFile::serialize({}));
        QFile kept(file.filePath() + QStringLiteral(".rejected"));
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), bytes);
        QCOMPARE(QueueFile(dir.path()).load().status, QueueFile::LoadStatus::Loaded);
    }
};

VREX_TEST_MAIN(TestQueueFile, QCoreApplication)
#include "tst_queuefile.moc"
