#include "FileBytes.h"
#include "TestEnvironment.h"

#include "storage/EFileCreateError.h"
#include "storage/WatchFile.h"

#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

namespace {

const QByteArray kMagic("Vrexv1.00\0", 10);

// A record as another program writes it: each text copied raw at its offset,
// the entry's size and name at theirs.
QByteArray rawRecord(const QByteArray &name, const QByteArray &host, const QByteArray &login,
    const QByteArray &password, const QByteArray &fileName, uint32_t sizeLow,
    uint32_t attributes = 0)
{
    QByteArray r(680, '\0');
    r.replace(360, 4, QByteArray(reinterpret_cast<const char *>(&attributes), 4));
    r.replace(0, int(name.size()), name);
    r.replace(261, int(host.size()), host);
    r.replace(294, int(login.size()), login);
    r.replace(327, int(password.size()), password);
    r.replace(360 + 20, 8, QByteArray::fromHex("00c0e1b1d4a9d801")); // last-write time
    r.replace(360 + 32, 4, QByteArray(reinterpret_cast<const char *>(&sizeLow), 4));
    r.replace(360 + 44, int(fileName.size()), fileName);
    return r;
}

QByteArray threeRecords()
{
    return kMagic + rawRecord("/pub/a.txt", "127.0.0.1:2121", "", "", "a.txt", 12)
        + rawRecord("/b.bin", "ftp.example.org", "vrex", "secret", "b.bin", 70000)
        + rawRecord("/docs/Read Me.TXT", "localhost", "anonymous", "me@x", "Read Me.TXT", 0,
            FILE_ATTRIBUTE_REPARSE_POINT); // a symbolic link
}

} // namespace

class TestWatchFile : public QObject {
    Q_OBJECT

private slots:
    void parsesWhatIsThere_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("count");
        using S = WatchFile::LoadStatus;
        QTest::newRow("magic only") << kMagic << int(S::Loaded) << 0;
        QTest::newRow("short of the magic") << kMagic.left(9) << int(S::Invalid) << 0;
        QTest::newRow("empty") << QByteArray() << int(S::Invalid) << 0;
        QTest::newRow("site book of another version")
            << (QByteArray("Vrexv2.00\0", 10) + QByteArray(680, 'x')) << int(S::Invalid) << 0;
        QTest::newRow("three records") << threeRecords() << int(S::Loaded) << 3;
        QTest::newRow("last record cut short")
            << threeRecords().left(10 + 680 * 2 + 400) << int(S::Loaded) << 2;
        QTest::newRow("one byte short of a record")
            << threeRecords().left(10 + 679) << int(S::Loaded) << 0;
    }
    void parsesWhatIsThere()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, status);
        QFETCH(int, count);
        const WatchFile::LoadResult result = WatchFile::parse(bytes);
        QCOMPARE(int(result.status), status);
        QCOMPARE(int(result.records.size()), count);
    }

    void aHandWrittenFileLoadsAndSavesBackByteForByte()
    {
        QTemporaryDir dir;
        WatchFile file(dir.path());
        writeAll(file.filePath(), threeRecords());
        const WatchFile::LoadResult result = file.load();
        QCOMPARE(result.status, WatchFile::LoadStatus::Loaded);
        QCOMPARE(result.records.size(), size_t(3));
        const WatchRecord &b = result.records[1];
        QCOMPARE(b.name, QStringLiteral("/b.bin"));
        QCOMPARE(b.host, QStringLiteral("ftp.example.org"));
        QCOMPARE(b.login, QStringLiteral("vrex"));
        QCOMPARE(b.password, QStringLiteral("secret"));
        QCOMPARE(fileSize(b.entry), uint64_t(70000));
        QCOMPARE(QByteArray(b.entry.cFileName), QByteArray("b.bin"));
        QCOMPARE(result.records[2].name, QStringLiteral("/docs/Read Me.TXT"));
        QVERIFY(isUnresolvedLink(result.records[2].entry));
        QVERIFY(!isUnresolvedLink(b.entry));
        file.save(result.records);
        QCOMPARE(readAll(file.filePath()), threeRecords());
        QCOMPARE(QFileInfo(file.filePath()).permissions() & 0x0077, QFileDevice::Permissions());
    }

    void textsNotInUtf8SaveBackAsTheyWereUnlessChanged()
    {
        QTemporaryDir dir;
        WatchFile file(dir.path());
        QByteArray latin = rawRecord(
            "/pub/r\xe9sum\xe9.txt", "h\xf4te", "l\xf6gin", "p\xe4ss", "r\xe9sum\xe9.txt", 5);
        latin.replace(200, 4, "junk"); // bytes after the name's end, kept as well
        const QByteArray second
            = rawRecord("/b.bin", "ftp.example.org", "vrex", "secret", "b.bin", 7);
        writeAll(file.filePath(), kMagic + latin + second);
        std::vector<WatchRecord> records = file.load().records;
        QCOMPARE(records.size(), size_t(2));
        file.save(records);
        QCOMPARE(readAll(file.filePath()), kMagic + latin + second);
        // The user changes the password and the entry: only they are new.
        records[0].password = QStringLiteral("n\u00e9w");
        setFileSize(records[0].entry, 99);
        file.save(records);
        const QByteArray saved = readAll(file.filePath());
        QCOMPARE(saved.mid(10, 327), latin.left(327));
        QCOMPARE(saved.mid(10 + 327, 33), QByteArray("n\xc3\xa9w") + QByteArray(29, '\0'));
        QCOMPARE(file.load().records[0].entry.nFileSizeLow, 99u);
        QCOMPARE(saved.mid(10 + 680), second);
    }

    void overLongTextsStopAtTheirSlot_data()
    {
        QTest::addColumn<int>("field");
        QTest::addColumn<int>("offset");
        QTest::addColumn<int>("size");
        QTest::newRow("name") << 0 << 0 << 261;
        QTest::newRow("host") << 1 << 261 << 33;
        QTest::newRow("login") << 2 << 294 << 33;
        QTest::newRow("password") << 3 << 327 << 33;
    }
    void overLongTextsStopAtTheirSlot()
    {
        QFETCH(int, field);
        QFETCH(int, offset);
        QFETCH(int, size);
        WatchRecord r;
        QString *texts[] = { &r.name, &r.host, &r.login, &r.password };
        // Two-byte characters: a cut at an odd byte would split one.
        *texts[field] = QString(400, QChar(0x00e9));
        strcpy(r.entry.cFileName, "keep.me");
        const QByteArray bytes = WatchFile::encodeRecord(r);
        QCOMPARE(bytes.size(), 680);
        QCOMPARE(bytes.at(offset + size - 1), '\0');
        const WatchRecord back = WatchFile::decodeRecord(bytes.constData());
        const QString *backTexts[] = { &back.name, &back.host, &back.login, &back.password };
        QCOMPARE(*backTexts[field], QString((size - 1) / 2, QChar(0x00e9)));
        for (int other = 0; other < 4; ++other)
            if (other != field)
                QVERIFY(backTexts[other]->isEmpty());
        QCOMPARE(QByteArray(back.entry.cFileName), QByteArray("keep.me"));
    }

    void aRejectedFileIsKeptBesideItselfAtTheFirstSave()
    {
        QTemporaryDir dir;
        WatchFile file(dir.path());
        const QByteArray foreign = QByteArray("Other file") + QByteArray(700, 'z');
        writeAll(file.filePath(), foreign);
        QCOMPARE(file.load().status, WatchFile::LoadStatus::Invalid);
        QCOMPARE(WatchFile::kInvalidMessage, QStringLiteral("Invalid Watch File."));
        file.save({});
        QCOMPARE(readAll(file.filePath() + QStringLiteral(".rejected")), foreign);
        QCOMPARE(readAll(file.filePath()), kMagic);
        // Only the rejected file is kept, not every later one.
        writeAll(file.filePath() + QStringLiteral(".rejected"), "older");
        file.save({});
        QCOMPARE(readAll(file.filePath() + QStringLiteral(".rejected")), QByteArray("older"));
    }

    void aMissingFileLoadsNothingAndAnUnwritableOneThrows()
    {
        QTemporaryDir dir;
        WatchFile missing(dir.path() + QStringLiteral("/none"));
        QCOMPARE(missing.load().status, WatchFile::LoadStatus::Missing);
        // The data file's name taken by a folder: nothing can be written there.
        WatchFile blocked(dir.path());
        QVERIFY(QDir(dir.path()).mkdir(WatchFile::kFileName));
        QString message;
        try {
            blocked.save({});
        } catch (const EFileCreateError &e) {
            message = e.message();
        }
        QCOMPARE(message, QStringLiteral("Cannot create file ") + blocked.filePath());
    }
};

VREX_TEST_MAIN(TestWatchFile, QCoreApplication)
#include "tst_watchfile.moc"
