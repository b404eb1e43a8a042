// The listing parser: a table of lines as real servers send them, and random
// damage to every position of valid lines.
#include "TestEnvironment.h"

#include "ftp/FileTime.h"
#include "ftp/ListingParser.h"

#include <QtTest>

#include <QRandomGenerator>

#include <cstring>
#include <string>

namespace {

constexpr int kThisYear = 2026;

struct Expect {
    QByteArray name;
    bool dir;
    quint64 size;
    QDateTime time; // UTC; invalid: not checked
    bool link = false; // a link whose kind the line does not tell
};

QDateTime at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms), Qt::UTC);
}

QDateTime toDateTime(const TFileTime &ft)
{
    const TSystemTime st = FileTime::toSystemTime(ft);
    return at(st.year, st.month, st.day, st.hour, st.minute, st.second, st.millisecond);
}

std::vector<TWin32FindData> parse(const QByteArray &bytes, bool mlsd)
{
    const std::string_view view(bytes.constData(), size_t(bytes.size()));
    return mlsd ? ListingParser::parseMlsd(view) : ListingParser::parseList(view, kThisYear);
}

// A delivered name is never empty, holds no CR, LF or "/", and was not cut
// at a NUL (the rest of the field is zero).
bool nameIsSound(const TWin32FindData &e)
{
    const size_t length = strnlen(e.cFileName, sizeof e.cFileName);
    if (length == 0 || length == sizeof e.cFileName)
        return false;
    const std::string_view name(e.cFileName, length);
    if (name.find_first_of("\r\n/") != std::string_view::npos)
        return false;
    for (size_t i = length; i < sizeof e.cFileName; ++i)
        if (e.cFileName[i] != '\0')
            return false;
    return true;
}

} // namespace

Q_DECLARE_METATYPE(Expect)

class TestListingParser : public QObject {
    Q_OBJECT

    void row(const char *tag, const QByteArray &line, const Expect &e, bool mlsd = false)
    {
        QTest::newRow(tag) << line << mlsd << true << e;
    }
    void skipped(const char *tag, const QByteArray &line, bool mlsd = false)
    {
        QTest::newRow(tag) << line << mlsd << false << Expect {};
    }

private slots:
    void linesOfRealServers_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<bool>("mlsd");
        QTest::addColumn<bool>("readable");
        QTest::addColumn<Expect>("expect");

        // vsftpd: numeric owners, zero-padded days
        row("vsftpd time", "-rw-r--r--    1 0        0           10000 Dec 07 21:01 tenk.bin",
            { "tenk.bin", false, 10000, at(kThisYear, 12, 7, 21, 1) });
        row("vsftpd year", "drwxr-xr-x    2 0        0            4096 Jan 05  2024 pub",
            { "pub", true, 4096, at(2024, 1, 5) });
        row("vsftpd dir 1000", "drwxrwxr-x    2 1000     1000         4096 Sep 09 08:00 incoming",
            { "incoming", true, 4096, at(kThisYear, 9, 9, 8, 0) });
        // proftpd: names, blank-padded days
        row("proftpd time", "-rw-r--r--   1 ftp      ftp        123456 Mar  3 09:05 report.pdf",
            { "report.pdf", false, 123456, at(kThisYear, 3, 3, 9, 5) });
        row("proftpd year", "drwxr-xr-x   3 alice    staff        4096 Nov 14  2019 photos",
            { "photos", true, 4096, at(2019, 11, 14) });
        // pure-ftpd: wide columns, big sizes
        row("pure-ftpd big",
            "-rw-r--r--    1 1000       1000       5368709120 Feb 28 12:00 big.iso",
            { "big.iso", false, 5368709120ULL, at(kThisYear, 2, 28, 12, 0) });
        row("pure-ftpd huge",
            "-rw-r--r--    1 ftpuser    ftpgroup   1099511627776 Oct 10  2023 tera.img",
            { "tera.img", false, 1099511627776ULL, at(2023, 10, 10) });
        row("missing group", "-rw-r--r--   1 ftp 42 Jul  4  2021 nogroup.txt",
            { "nogroup.txt", false, 42, at(2021, 7, 4) });
        row("no link count", "-rw-r--r-- ftp ftp 77 Jul  4  2021 nolinks.txt",
            { "nolinks.txt", false, 77, at(2021, 7, 4) });
        row("inner blanks", "-rw-r--r--   1 ftp ftp 10 Jan  1  2020 my  file name.txt",
            { "my  file name.txt", false, 10, at(2020, 1, 1) });
        row("leading blank", "-rw-r--r--   1 ftp ftp 10 Jan  1  2020  leading.txt",
            { " leading.txt", false, 10, at(2020, 1, 1) });
        row("trailing blanks", "-rw-r--r--   1 ftp ftp 10 Jan  1 10:00 trailing.txt  ",
            { "trailing.txt  ", false, 10, at(kThisYear, 1, 1, 10, 0) });
        row("name like a date", "-rw-r--r-- 1 ftp ftp 10 Jan  1  2020 Jan  2 2021 x",
            { "Jan  2 2021 x", false, 10, at(2020, 1, 1) });
        row("numeric name", "-rw-r--r-- 1 ftp ftp 10 Jan  1  2020 2021",
            { "2021", false, 10, at(2020, 1, 1) });
        // A link's listed size is the length of its target path: unknown size.
        row("symlink", "lrwxrwxrwx   1 root root 7 Jan  1  2020 link -> target",
            { "link", false, 0, at(2020, 1, 1), true });
        row("symlink to dir", "lrwxrwxrwx   1 0 0 12 Feb 02 03:04 pub -> /srv/ftp/pub",
            { "pub", false, 0, at(kThisYear, 2, 2, 3, 4), true });
        row("vsftpd dangling link",
            "lrwxrwxrwx    1 0        0               7 Dec 08 16:06 dangling -> nowhere",
            { "dangling", false, 0, at(kThisYear, 12, 8, 16, 6), true });
        row("pyftpdlib link",
            "lrwxrwxrwx   1 root     root            8 Dec 08 16:06 filelink -> file.txt",
            { "filelink", false, 0, at(kThisYear, 12, 8, 16, 6), true });
        row("link name with blanks", "lrwxrwxrwx 1 0 0 9 Jan 01  2020 my  link -> a -> b",
            { "my  link", false, 0, at(2020, 1, 1), true });
        row("link without arrow", "lrwxrwxrwx 1 0 0 9 Jan 01  2020 bare",
            { "bare", false, 0, at(2020, 1, 1), true });
        row("char device", "crw-rw-rw-   1 root root 1,   3 Jan  1  2020 null",
            { "null", false, 0, at(2020, 1, 1) });
        row("block device", "brw-rw----   1 root disk 8, 0 Jan  1  2020 sda",
            { "sda", false, 0, at(2020, 1, 1) });
        row("acl mark", "-rw-r--r--+  1 ftp ftp 10 Jan  1  2020 acl.txt",
            { "acl.txt", false, 10, at(2020, 1, 1) });
        row("selinux dot", "drwxr-xr-x.  2 ftp ftp 6 Apr 30 23:59 selinux",
            { "selinux", true, 6, at(kThisYear, 4, 30, 23, 59) });
        row("iso date", "-rw-r--r-- 1 user group 1234 2020-01-15 10:05 iso.txt",
            { "iso.txt", false, 1234, at(2020, 1, 15, 10, 5) });
        row("utf-8 name", "-rw-r--r-- 1 0 0 3 Jun 06  2022 \xc3\xa9t\xc3\xa9.txt",
            { "\xc3\xa9t\xc3\xa9.txt", false, 3, at(2022, 6, 6) });
        row("dot", "drwxr-xr-x 2 0 0 4096 Jun 06  2022 .", { ".", true, 4096, at(2022, 6, 6) });
        row("29 Feb without year", "-rw-r--r-- 1 0 0 1 Feb 29 10:00 leap",
            { "leap", false, 1, at(2024, 2, 29, 10, 0) });
        row("upper-case month", "-rw-r--r-- 1 0 0 1 JAN 02  2020 upper",
            { "upper", false, 1, at(2020, 1, 2) });
        skipped("total", "total 48");
        skipped("blank", "   ");
        skipped("banner", "Listing of /pub follows");
        skipped("perms only", "drwxr-xr-x");
        skipped("bad month", "-rw-r--r-- 1 a b 10 Foo 1 2020 x");
        skipped("bad day", "-rw-r--r-- 1 a b 10 Jan 32 2020 x");
        skipped("30 February", "-rw-r--r-- 1 a b 10 Feb 30 2020 x");
        skipped("no name", "-rw-r--r-- 1 a b 10 Jan 1 2020");
        skipped("name too long", "-rw-r--r-- 1 a b 10 Jan 1 2020 " + QByteArray(260, 'n'));
        row("name of 259 bytes", "-rw-r--r-- 1 a b 10 Jan 1 2020 " + QByteArray(259, 'n'),
            { QByteArray(259, 'n'), false, 10, at(2020, 1, 1) });
        skipped("size overflow", "-rw-r--r-- 1 a b 99999999999999999999999 Jan 1 2020 x");

        // DOS / IIS
        row("iis dir", "01-15-20  10:05AM       <DIR>          Windows Folder",
            { "Windows Folder", true, 0, at(2020, 1, 15, 10, 5) });
        row("iis file 1999", "12-31-99  12:00PM                 1234 file.txt",
            { "file.txt", false, 1234, at(1999, 12, 31, 12, 0) });
        row("iis pm", "02-01-2021  11:59PM            987654321 big file.bin",
            { "big file.bin", false, 987654321, at(2021, 2, 1, 23, 59) });
        row("iis midnight", "06-15-20  12:15AM                    5 midnight.txt",
            { "midnight.txt", false, 5, at(2020, 6, 15, 0, 15) });
        row("iis 24 hour", "02-01-2021  00:30                   55 twentyfour.txt",
            { "twentyfour.txt", false, 55, at(2021, 2, 1, 0, 30) });
        row("iis large", "07-04-22  08:00AM          6442450944 disk.vhd",
            { "disk.vhd", false, 6442450944ULL, at(2022, 7, 4, 8, 0) });
        skipped("iis bad hour", "07-04-22  13:00PM 5 x");
        skipped("iis no name", "07-04-22  08:00AM <DIR>");

        // EPLF
        row("eplf file", "+i8388621.48594,m825718503,r,s280,\tdjb.html",
            { "djb.html", false, 280, QDateTime::fromSecsSinceEpoch(825718503, Qt::UTC) });
        row("eplf dir", "+i8388621.50690,m824255907,/,\t514",
            { "514", true, 0, QDateTime::fromSecsSinceEpoch(824255907, Qt::UTC) });
        skipped("eplf no tab", "+i1,m1,r,s2, name");

        // MLSD
        row("mlsd file", "type=file;size=1024;modify=20200115100500;perm=r; file one.txt",
            { "file one.txt", false, 1024, at(2020, 1, 15, 10, 5) }, true);
        row("mlsd dir ms", "type=dir;sizd=4096;modify=20200115100500.123; dir",
            { "dir", true, 4096, at(2020, 1, 15, 10, 5, 0, 123) }, true);
        row("mlsd cdir", "type=cdir;modify=20200115100500; /pub", { ".", true, 0, QDateTime() },
            true);
        row("mlsd pdir", "type=pdir;modify=20200115100500; /", { "..", true, 0, QDateTime() },
            true);
        row("mlsd symlink", "type=OS.unix=symlink;size=7;modify=20200101000000; link",
            { "link", false, 0, at(2020, 1, 1), true }, true);
        row("mlsd slink", "type=OS.unix=slink:/target;modify=20200101000000; slink",
            { "slink", false, 0, at(2020, 1, 1), true }, true);
        row("mlsd slink to a folder path",
            "type=OS.unix=slink:/srv/pub/;modify=20200101000000; pub",
            { "pub", false, 0, at(2020, 1, 1), true }, true);
        row("mlsd slink upper case", "Type=OS.UNIX=SLINK:x;Modify=20200101000000; up",
            { "up", false, 0, at(2020, 1, 1), true }, true);
        // pyftpdlib follows links: the facts tell the kind, and a dir is a dir.
        row("mlsd link the server resolved",
            "modify=20261208160610;perm=el;size=4096;type=dir;"
            "unique=fe00ga76296; dirlink",
            { "dirlink", true, 0, at(2026, 12, 8, 16, 6, 10) }, true);
        row("mlsd other OS type", "type=OS.unix=chr-13/29;modify=20200101000000; tty",
            { "tty", false, 0, at(2020, 1, 1) }, true);
        row("mlsd upper facts", "Type=File;Size=5;Modify=20200101000000; upper.txt",
            { "upper.txt", false, 5, at(2020, 1, 1) }, true);
        row("mlsd leading blank", "size=9;type=file;modify=20200101000000;  lead",
            { " lead", false, 9, at(2020, 1, 1) }, true);
        row("mlsd huge", "type=file;size=18446744073709551615;modify=20200101000000; max",
            { "max", false, 18446744073709551615ULL, at(2020, 1, 1) }, true);
        row("mlsd unique fact", "modify=20211231235959;perm=adfrw;size=3;type=file;unique=801U1; e",
            { "e", false, 3, at(2021, 12, 31, 23, 59, 59) }, true);
        row("mlsd brackets", "type=file;size=2;modify=20200101000000; report[1].txt",
            { "report[1].txt", false, 2, at(2020, 1, 1) }, true);
        row("mlsd no facts", " bare", { "bare", false, 0, QDateTime() }, true);
        skipped("mlsd no separator", "type=file;size=1;name", true);
        skipped("mlsd empty name", "type=file;size=1; ", true);

        // A name is never a path: whatever holds "/" is skipped, in every format.
        skipped("unix name with slash", "-rw-r--r--    1 0  0  11 Jan 05  2024 sub/evil.txt");
        skipped("unix parent path", "-rw-r--r--    1 0  0  12 Jan 05  2024 ../../escape.txt");
        skipped("unix absolute path", "-rw-r--r--    1 0  0  13 Jan 05  2024 /abs/name.txt");
        skipped("unix slash alone", "drwxr-xr-x    2 0  0  4096 Jan 05  2024 /");
        skipped("unix link with slash", "lrwxrwxrwx 1 0 0 7 Jan 01  2020 a/link -> target");
        row("unix link to a path", "lrwxrwxrwx 1 0 0 11 Jan 01  2020 link -> /etc/passwd",
            { "link", false, 0, at(2020, 1, 1), true });
        row("unix link to a parent", "lrwxrwxrwx 1 0 0 2 Jan 01  2020 up -> ..",
            { "up", false, 0, at(2020, 1, 1), true });
        skipped("dos name with slash", "07-04-22  08:00AM                    5 a/b.txt");
        skipped("dos parent path", "07-04-22  08:00AM       <DIR>          ../x");
        skipped("eplf name with slash", "+m825718503,r,s1,\t../x");
        skipped("mlsd path echoed", "type=file;size=1;modify=20200101000000; /a/b/c.txt", true);
        skipped("mlsd parent path", "type=file;size=1;modify=20200101000000; ../../x", true);
        skipped("mlsd name with slash", "type=dir;modify=20200101000000; sub/dir", true);
        row("unix brackets", "-rw-r--r--    1 0  0  5 Jan 05  2024 [draft] a?b*.txt",
            { "[draft] a?b*.txt", false, 5, at(2024, 1, 5) });
    }

    void linesOfRealServers()
    {
        QFETCH(QByteArray, line);
        QFETCH(bool, mlsd);
        QFETCH(bool, readable);
        QFETCH(Expect, expect);
        for (const QByteArray &ending : { QByteArray("\r\n"), QByteArray("\n"), QByteArray() }) {
            const auto entries = parse(line + ending, mlsd);
            if (!readable) {
                QCOMPARE(int(entries.size()), 0);
                continue;
            }
            QCOMPARE(int(entries.size()), 1);
            const TWin32FindData &e = entries[0];
            QCOMPARE(QByteArray(e.cFileName), expect.name);
            QCOMPARE(isDirectory(e), expect.dir);
            QCOMPARE(quint64(fileSize(e)), expect.size);
            QCOMPARE(isUnresolvedLink(e), expect.link);
            QCOMPARE(e.dwFileAttributes,
                expect.link      ? FILE_ATTRIBUTE_REPARSE_POINT
                    : expect.dir ? FILE_ATTRIBUTE_DIRECTORY
                                 : FILE_ATTRIBUTE_NORMAL);
            if (expect.time.isValid())
                QCOMPARE(toDateTime(e.ftLastWriteTime), expect.time);
        }
    }

    void listingKeepsServerOrderAndSkipsNoise()
    {
        const QByteArray listing = "total 12\r\n"
                                   "drwxr-xr-x 2 0 0 4096 Jan 01  2020 b-dir\r\n"
                                   "\r\n"
                                   "-rw-r--r-- 1 0 0 5 Jan 01  2020 a-file\r\n"
                                   "not a listing line\r\n"
                                   "01-15-20  10:05AM       <DIR>          c-dos\r\n"
                                   "+m825718503,r,s1,\td-eplf\n";
        const auto entries = parse(listing, false);
        QCOMPARE(int(entries.size()), 4);
        QCOMPARE(QByteArray(entries[0].cFileName), QByteArray("b-dir"));
        QCOMPARE(QByteArray(entries[1].cFileName), QByteArray("a-file"));
        QCOMPARE(QByteArray(entries[2].cFileName), QByteArray("c-dos"));
        QCOMPARE(QByteArray(entries[3].cFileName), QByteArray("d-eplf"));
        QCOMPARE(entries[1].dwFileAttributes, FILE_ATTRIBUTE_NORMAL);
        QCOMPARE(entries[0].dwFileAttributes, FILE_ATTRIBUTE_DIRECTORY);
    }

    void dateWithoutYearTakesTheCurrentYear()
    {
        const QByteArray line = "-rw-r--r-- 1 0 0 1 Mar 03 10:00 x";
        // Read around the parse: a New Year's midnight may fall in between.
        const int yearBefore = QDateTime::currentDateTimeUtc().date().year();
        const auto entries
            = ListingParser::parseList(std::string_view(line.constData(), size_t(line.size())));
        const int yearAfter = QDateTime::currentDateTimeUtc().date().year();
        QCOMPARE(int(entries.size()), 1);
        const int year = FileTime::toSystemTime(entries[0].ftLastWriteTime).year;
        QVERIFY2(year == yearBefore || year == yearAfter, qPrintable(QString::number(year)));
    }

    void damagedLinesNeverCrashOrDeliverABadName()
    {
        const QList<QPair<QByteArray, bool>> lines = {
            { "-rw-r--r--    1 0        0           10000 Dec 07 21:01 tenk.bin", false },
            { "drwxr-xr-x   3 alice    staff        4096 Nov 14  2019 photos", false },
            { "lrwxrwxrwx   1 root root 7 Jan  1  2020 link -> target", false },
            { "crw-rw-rw-   1 root root 1,   3 Jan  1  2020 null", false },
            { "-rw-r--r-- 1 user group 1234 2020-01-15 10:05 iso.txt", false },
            { "01-15-20  10:05AM       <DIR>          Windows Folder", false },
            { "02-01-2021  11:59PM            987654321 big file.bin", false },
            { "+i8388621.48594,m825718503,r,s280,\tdjb.html", false },
            { "type=file;size=1024;modify=20200115100500.5;perm=r; file one.txt", true },
            { "type=OS.unix=slink:/target;modify=20200101000000; slink", true },
        };
        const char inserts[] = { '\r', '\n', '\0', ' ', '\t', '/' };
        constexpr int kInserts = int(sizeof inserts);
        int parsed = 0;
        QStringList bad;
        auto check = [&](const QByteArray &listing, bool mlsd) {
            for (const TWin32FindData &e : parse(listing, mlsd)) {
                ++parsed;
                if (!nameIsSound(e))
                    bad << QString::fromLatin1(listing.toPercentEncoding());
            }
        };
        for (const auto &[line, mlsd] : lines) {
            for (int pos = 0; pos <= line.size(); ++pos) {
                for (char c : inserts) {
                    QByteArray damaged = line;
                    damaged.insert(pos, c);
                    check(damaged, mlsd);
                    check(damaged, !mlsd);
                    damaged.insert(pos, QByteArray(3, c));
                    check(damaged, mlsd);
                }
                check(line.left(pos), mlsd); // a listing that ends mid-line
            }
        }
        // Random bytes and random mixtures of the same characters
        QRandomGenerator rng(1234);
        for (int i = 0; i < 20000; ++i) {
            QByteArray junk(int(rng.bounded(200)), '\0');
            for (char &ch : junk) {
                const int pick = int(rng.bounded(kInserts + 1));
                ch = pick < kInserts ? inserts[pick] : char(rng.bounded(256));
            }
            if (i % 2)
                junk.prepend(lines[int(rng.bounded(lines.size()))].first);
            check(junk, false);
            check(junk, true);
        }
        QVERIFY(parsed > 0);
        QVERIFY2(bad.isEmpty(), qPrintable(bad.mid(0, 5).join('\n')));
    }

    void namesWithControlCharactersAreNotDelivered()
    {
        QCOMPARE(int(parse(QByteArray("-rw-r--r-- 1 0 0 1 Jan 01  2020 a\rb\n"), false).size()), 0);
        QCOMPARE(int(parse(QByteArray("type=file; a\rb\n"), true).size()), 0);
        QCOMPARE(
            int(parse(QByteArray("-rw-r--r-- 1 0 0 1 Jan 01  2020 a\0b\n", 36), false).size()), 0);
        QCOMPARE(int(parse(QByteArray("type=file; a\0b\n", 16), true).size()), 0);
    }

    void longListingParsesWhole()
    {
        QByteArray listing;
        for (int i = 0; i < 20000; ++i)
            listing += "-rw-r--r--    1 1000     1000        " + QByteArray::number(i * 1000)
                + " Mar 14 12:34 file-" + QByteArray::number(i) + ".dat\r\n";
        const auto entries = parse(listing, false);
        QCOMPARE(int(entries.size()), 20000);
        QCOMPARE(QByteArray(entries[19999].cFileName), QByteArray("file-19999.dat"));
        QCOMPARE(quint64(fileSize(entries[19999])), quint64(19999000));
    }
};

VREX_TEST_MAIN(TestListingParser, QCoreApplication)
#include "tst_listingparser.moc"
