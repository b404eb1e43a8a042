#include "FileBytes.h"
#include "FileSizeLimit.h"
#include "TestEnvironment.h"

#include "storage/EFileCreateError.h"
#include "storage/SiteBook.h"

#include <QtTest>

#include <sys/stat.h>

namespace {

const QByteArray kMagic("Vrexv1.00\0", 10);

// A record as another program writes it: each field copied raw at its offset.
QByteArray rawRecord(const QByteArray &site, const QByteArray &description,
    const QByteArray &login = "", const QByteArray &password = "",
    const QByteArray &directory = "/")
{
    QByteArray r(393, '\0');
    const QByteArray fields[] = { site, description, login, password, directory };
    const int offsets[] = { 0, 33, 66, 99, 132 };
    for (int i = 0; i < 5; ++i)
        r.replace(offsets[i], int(fields[i].size()), fields[i]);
    return r;
}

QStringList descriptions(const SiteBook &book)
{
    QStringList list;
    for (const TSiteRecord *r = book.head(); r; r = r->next)
        list << r->Description;
    return list;
}

TSiteRecord site(const QString &description, const QString &directory = QStringLiteral("/"))
{
    TSiteRecord r;
    r.FTPSite = QStringLiteral("ftp.example.org");
    r.Description = description;
    r.Login = QStringLiteral("user");
    r.Password = QStringLiteral("secret");
    r.Directory = directory;
    return r;
}

} // namespace

class TestSiteBook : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<SiteBook> book;

    QString path() const { return book->filePath(); }

    TSiteRecord reloadedHead()
    {
        SiteBook again(dir->path());
        again.LoadSiteBook();
        return again.head() ? *again.head() : TSiteRecord();
    }

private slots:
    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        book = std::make_unique<SiteBook>(dir->path());
    }

    void defaultFolderIsThePrivateDataFolder()
    {
        QVERIFY(SiteBook().filePath().startsWith(TestEnvironment::instance().dataHome()));
        QVERIFY(SiteBook().filePath().endsWith(QStringLiteral("/myFtpSites.dat")));
    }

    void foreignFileLoadsNewestFirstAndSavesByteForByte()
    {
        const QByteArray a = rawRecord("a.example.org", "Alpha", "anna", "pa55", "/pub");
        const QByteArray b = rawRecord("b.example.org", "Bravo");
        const QByteArray c = rawRecord("10.0.0.3", "Charlie", "carl", "", "/home/carl");
        writeAll(path(), kMagic + a + b + c);

        QStringList visited;
        const auto result = book->LoadSiteBook([&](TSiteRecord &r) { visited << r.Description; });
        QCOMPARE(result.status, SiteBook::LoadStatus::Loaded);
        QCOMPARE(result.count, 3);
        QCOMPARE(visited, (QStringList { "Alpha", "Bravo", "Charlie" })); // file order, as read
        QCOMPARE(descriptions(*book), (QStringList { "Charlie", "Bravo", "Alpha" }));
        const TSiteRecord *alpha = book->FindSite(QStringLiteral("Alpha"));
        QVERIFY(alpha);
        QCOMPARE(alpha->FTPSite, QStringLiteral("a.example.org"));
        QCOMPARE(alpha->Login, QStringLiteral("anna"));
        QCOMPARE(alpha->Password, QStringLiteral("pa55"));
        QCOMPARE(alpha->Directory, QStringLiteral("/pub"));

        book->SaveSiteBook();
        QCOMPARE(readAll(path()), kMagic + c + b + a);
    }

    void headerIsChecked_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<SiteBook::LoadStatus>("status");
        const QByteArray record = rawRecord("h", "Site");
        QTest::newRow("empty file") << QByteArray("") << SiteBook::LoadStatus::Invalid;
        QTest::newRow("nine bytes") << kMagic.left(9) << SiteBook::LoadStatus::Invalid;
        QTest::newRow("magic alone") << kMagic << SiteBook::LoadStatus::Loaded;
        QTest::newRow("non-zero tenth byte")
            << QByteArray("Vrexv1.00X") + record << SiteBook::LoadStatus::Invalid;
        QTest::newRow("first byte differs")
            << QByteArray("vrexv1.00\0", 10) + record << SiteBook::LoadStatus::Invalid;
        QTest::newRow("other version")
            << QByteArray("Vrexv1.01\0", 10) + record << SiteBook::LoadStatus::Invalid;
    }

    void headerIsChecked()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(SiteBook::LoadStatus, status);
        writeAll(path(), bytes);
        const auto result = book->LoadSiteBook();
        QCOMPARE(result.status, status);
        QCOMPARE(result.count, 0);
        QVERIFY(!book->head());
        QCOMPARE(readAll(path()), bytes); // a rejected file is left alone

        // The save that replaces it keeps the rejected bytes beside it first.
        const QString kept = path() + SiteBook::kRejectedSuffix;
        writeAll(kept, "an older rejected file");
        book->InsertSite(site(QStringLiteral("New")));
        book->SaveSiteBook();
        QCOMPARE(readAll(path()), kMagic + SiteBook::encodeRecord(site(QStringLiteral("New"))));
        QCOMPARE(readAll(kept),
            status == SiteBook::LoadStatus::Invalid ? bytes : QByteArray("an older rejected file"));
    }

    void rejectedFileIsKeptOnceAndNeverLost()
    {
        const QByteArray foreign = QByteArray("Vrexv2.00\0", 10) + rawRecord("h", "Other");
        const QString kept = path() + SiteBook::kRejectedSuffix;
        writeAll(path(), foreign);
        QCOMPARE(book->LoadSiteBook().status, SiteBook::LoadStatus::Invalid);

        // Where the copy cannot be made, nothing is saved over the file.
        QDir(dir->path()).mkdir(SiteBook::kFileName + SiteBook::kRejectedSuffix);
        book->InsertSite(site(QStringLiteral("First")));
        QString message;
        try {
            book->SaveSiteBook();
        } catch (const EFileCreateError &e) {
            message = e.message();
        }
        QCOMPARE(message, QStringLiteral("Cannot create file ") + kept);
        QCOMPARE(readAll(path()), foreign);

        QDir(dir->path()).rmdir(SiteBook::kFileName + SiteBook::kRejectedSuffix);
        book->SaveSiteBook();
        QCOMPARE(readAll(kept), foreign);
        // Later saves replace only the site book, never the kept file.
        book->InsertSite(site(QStringLiteral("Second")));
        book->SaveSiteBook();
        QCOMPARE(readAll(kept), foreign);
        QCOMPARE(QFileInfo(path()).size(), 10 + 2 * 393);

        // A book that loads is not kept aside.
        QFile::remove(kept);
        SiteBook again(dir->path());
        QCOMPARE(again.LoadSiteBook().status, SiteBook::LoadStatus::Loaded);
        again.SaveSiteBook();
        QVERIFY(!QFile::exists(kept));
    }

    void missingFileIsAnEmptyBookWithoutComplaint()
    {
        QCOMPARE(book->LoadSiteBook().status, SiteBook::LoadStatus::Missing);
        QDir(dir->path()).mkdir(SiteBook::kFileName);
        QCOMPARE(book->LoadSiteBook().status, SiteBook::LoadStatus::Missing);
        QVERIFY(!book->head());
    }

    void fieldsReadFromTheirSlotsOnly()
    {
        // Site fills its slot with no terminator; the directory slot carries
        // leftovers after its zero; the last record is cut short.
        QByteArray first = rawRecord(QByteArray(33, 'h'), "Full", "login", "pw", "/dir");
        first.replace(137, 4, "junk");
        const QByteArray cut = rawRecord("cut.example.org", "Cut off here").left(40);
        writeAll(path(), kMagic + first + cut);

        const auto result = book->LoadSiteBook();
        QCOMPARE(result.count, 2);
        const TSiteRecord &partial = *book->head();
        QCOMPARE(partial.FTPSite, QStringLiteral("cut.example.org"));
        QCOMPARE(partial.Description, QStringLiteral("Cut off"));
        QCOMPARE(partial.Login, QString()); // zero-filled, not the record before
        QCOMPARE(partial.Directory, QString());
        const TSiteRecord *full = book->FindSite(QStringLiteral("Full"));
        QVERIFY(full);
        QCOMPARE(full->FTPSite, QString(33, QLatin1Char('h')));
        QCOMPARE(full->Directory, QStringLiteral("/dir"));
    }

    void foreignBytesDecodeWithoutLoss()
    {
        writeAll(
            path(), kMagic + rawRecord("host", "Caf\xe9", "\xff\xfe", "p\xc3\xa9", "/\xe2\x82"));
        book->LoadSiteBook();
        const TSiteRecord &r = *book->head();
        QCOMPARE(r.Description, QStringLiteral("Café")); // Latin-1
        QCOMPARE(r.Login, QString::fromLatin1("\xff\xfe"));
        QCOMPARE(r.Password, QStringLiteral("pé")); // UTF-8
        QCOMPARE(r.Directory, QString::fromLatin1("/\xe2\x82")); // cut sequence
    }

    void longDirectorySurvivesAndOverlongIsCut()
    {
        const QString dir260 = QLatin1Char('/') + QString(259, QLatin1Char('d'));
        book->InsertSite(site(QStringLiteral("Long"), dir260));
        book->SaveSiteBook();
        QCOMPARE(reloadedHead().Directory, dir260);

        book->head()->Directory = dir260 + QStringLiteral("/more");
        book->SaveSiteBook();
        QCOMPARE(QFileInfo(path()).size(), 10 + 393);
        QCOMPARE(reloadedHead().Directory, dir260);
    }

    void textIsCutOnCharacterBoundaries_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("stored");
        QTest::newRow("fits") << QString(32, QLatin1Char('x')) << QString(32, QLatin1Char('x'));
        QTest::newRow("ascii cut")
            << QString(40, QLatin1Char('x')) << QString(32, QLatin1Char('x'));
        QTest::newRow("two-byte") << QString(20, QChar(0xE9)) << QString(16, QChar(0xE9));
        QTest::newRow("three-byte") << QString(11, QChar(0x20AC)) << QString(10, QChar(0x20AC));
        const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80"); // four bytes, two UTF-16 units
        QTest::newRow("four-byte")
            << QStringLiteral("ab") + emoji.repeated(8) << QStringLiteral("ab") + emoji.repeated(7);
    }

    void textIsCutOnCharacterBoundaries()
    {
        QFETCH(QString, text);
        QFETCH(QString, stored);
        TSiteRecord r = site(text);
        r.FTPSite = text;
        r.Login = QStringLiteral("next slot intact");
        book->InsertSite(r);
        book->SaveSiteBook();
        const TSiteRecord back = reloadedHead();
        QCOMPARE(back.Description, stored);
        QCOMPARE(back.FTPSite, stored);
        QCOMPARE(back.Login, QStringLiteral("next slot intact"));
        const QByteArray bytes = readAll(path());
        QCOMPARE(bytes.at(10 + 33 + stored.toUtf8().size()), '\0'); // terminated inside the slot
    }

    void deletedSitesStayInMemoryButLeaveFileAndLookup()
    {
        book->InsertSite(site(QStringLiteral("Keep")));
        book->InsertSite(site(QStringLiteral("Gone")))->Deleted = true;
        book->InsertSite(site(QStringLiteral("keep"))); // other case: another site
        QCOMPARE(book->FindSite(QStringLiteral("keep"))->Description, QStringLiteral("keep"));
        QVERIFY(!book->FindSite(QStringLiteral("Gone")));
        QVERIFY(!book->FindSite(QStringLiteral("KEEP")));
        QCOMPARE(descriptions(*book), (QStringList { "keep", "Gone", "Keep" }));

        book->SaveSiteBook();
        const QByteArray bytes = readAll(path());
        QCOMPARE(bytes.size(), 10 + 2 * 393);
        QCOMPARE(bytes.mid(10 + 99, 7), QByteArray("secret\0", 7)); // password as typed
        struct stat st { };
        QCOMPARE(::stat(QFile::encodeName(path()).constData(), &st), 0);
        QCOMPARE(st.st_mode & 07777, mode_t(0600));

        book->FreeSiteList();
        QVERIFY(!book->head());
        QCOMPARE(book->LoadSiteBook().count, 2);
    }

    void saveCreatesMissingFolders()
    {
        SiteBook nested(dir->filePath(QStringLiteral("a/b")));
        nested.InsertSite(site(QStringLiteral("One")));
        nested.SaveSiteBook();
        QCOMPARE(QFileInfo(nested.filePath()).size(), 10 + 393);
    }

    void failedSaveThrowsAndKeepsTheOldFile()
    {
        book->InsertSite(site(QStringLiteral("Old")));
        book->SaveSiteBook();
        const QByteArray old = readAll(path());
        book->InsertSite(site(QStringLiteral("New")));
        QString message;
        try {
            FileSizeLimit limit(100);
            book->SaveSiteBook();
        } catch (const EFileCreateError &e) {
            message = e.message();
        }
        QCOMPARE(message, QStringLiteral("Cannot create file ") + path());
        QCOMPARE(readAll(path()), old);
        QCOMPARE(QDir(dir->path()).entryList(QDir::Files | QDir::Hidden),
            QStringList { SiteBook::kFileName });
    }

    void saveOntoAFolderOrBelowAFileThrows()
    {
        QDir(dir->path()).mkdir(SiteBook::kFileName);
        SiteBook blockedByFolder(dir->path());
        QVERIFY_THROWS_EXCEPTION(EFileCreateError, blockedByFolder.SaveSiteBook());
        QVERIFY(QFileInfo(blockedByFolder.filePath()).isDir());

        writeAll(dir->filePath(QStringLiteral("plain")), "x");
        SiteBook belowFile(dir->filePath(QStringLiteral("plain/sub")));
        QVERIFY_THROWS_EXCEPTION(EFileCreateError, belowFile.SaveSiteBook());
    }
};

VREX_TEST_MAIN(TestSiteBook, QCoreApplication)
#include "tst_sitebook.moc"
