// The texts, icon and order of a file-list row, from one entry record.

#include "EntryBuilder.h"
#include "TestEnvironment.h"

#include "explorer/RowComparison.h"
#include "explorer/RowTexts.h"
#include "ftp/ListingParser.h"
#include "platform/IconList.h"

#include <QApplication>
#include <QtTest>

class TestRowTexts : public QObject {
    Q_OBJECT
private slots:
    void sizesAreWholeBytesGroupedByTheLocale_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<qulonglong>("bytes");
        QTest::addColumn<QString>("expected");
        const QLocale us(QLocale::English, QLocale::UnitedStates);
        const QLocale de(QLocale::German, QLocale::Germany);
        QTest::newRow("zero") << us << 0ULL << "0";
        QTest::newRow("below a thousand") << us << 999ULL << "999";
        QTest::newRow("thousands") << us << 1234ULL << "1,234";
        QTest::newRow("beyond 32 bits") << us << 5000000000ULL << "5,000,000,000";
        QTest::newRow("german separator") << de << 5000000000ULL << "5.000.000.000";
        // The C locale leaves groups out unless asked; sizes are always grouped.
        QTest::newRow("c locale") << QLocale::c() << 4000000000ULL << "4,000,000,000";
    }
    void sizesAreWholeBytesGroupedByTheLocale()
    {
        QFETCH(QLocale, locale);
        QFETCH(qulonglong, bytes);
        QFETCH(QString, expected);
        const TWin32FindData file = makeEntry("f.bin", bytes);
        QCOMPARE(RowTexts::entrySize(&file), uint64_t(bytes));
        QCOMPARE(RowTexts::sizeText(&file, locale), expected);
    }

    void systemLocaleSeparatorGroupsTheSize()
    {
        const TWin32FindData file = makeEntry("big.iso", 5000000000ULL);
        const QString sep = QLocale::system().groupSeparator();
        QCOMPARE(RowTexts::sizeText(&file), "5" + sep + "000" + sep + "000" + sep + "000");
        QCOMPARE(RowTexts::formatSize(1234567.4), "1" + sep + "234" + sep + "567");
    }

    void foldersAndMissingRecordsHaveNoSize()
    {
        TWin32FindData folder = makeEntry("pub", 0, true);
        setFileSize(folder, 4096); // some servers report a block size for folders
        QCOMPARE(RowTexts::entrySize(&folder), uint64_t(0));
        QCOMPARE(RowTexts::sizeText(&folder), QString());
        QCOMPARE(RowTexts::entrySize(nullptr), uint64_t(0));
        QCOMPARE(RowTexts::sizeText(nullptr), QString());
    }

    void typeNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("folder");
        QTest::addColumn<QString>("expected");
        QTest::newRow("no extension") << "README" << false << " File";
        QTest::newRow("unregistered") << "archive.xyz" << false << "XYZ File";
        QTest::newRow("unregistered, mixed case") << "data.XyZ" << false << "XYZ File";
        QTest::newRow("registered") << "notes.txt" << false << "Plain text document";
        QTest::newRow("dot in a folder part") << "v1.2\\README" << false << " File";
        QTest::newRow("dot before a colon") << "a.b:c" << false << " File";
        QTest::newRow("trailing dot") << "odd." << false << " File";
        QTest::newRow("folder") << "docs.old" << true << "File Folder";
    }
    void typeNames()
    {
        QFETCH(QString, name);
        QFETCH(bool, folder);
        QFETCH(QString, expected);
        const TWin32FindData entry = makeEntry(name.toUtf8().constData(), 10, folder);
        QCOMPARE(RowTexts::typeName(&entry), expected);
        // The second lookup comes from the cache and must agree.
        QCOMPARE(RowTexts::typeName(&entry), expected);
    }

    void extensionIsCutAt255Characters()
    {
        const QString longExtension = "file." + QString(300, QLatin1Char('q'));
        QCOMPARE(RowTexts::extensionOf(longExtension).size(), 255);
        QCOMPARE(
            RowTexts::typeNameForFile(longExtension), QString(254, QLatin1Char('Q')) + " File");
        QCOMPARE(RowTexts::typeName(nullptr), QString());
    }

    void modifiedTextIsShortDateAndTimeWithoutSeconds_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("expected");
        QTest::newRow("us") << QLocale(QLocale::English, QLocale::UnitedStates) << "3/4/25 2:05 PM";
        QTest::newRow("german") << QLocale(QLocale::German, QLocale::Germany) << "04.03.25 14:05";
        QTest::newRow("c, seconds dropped") << QLocale::c() << "4 Mar 2025 14:05";
    }
    void modifiedTextIsShortDateAndTimeWithoutSeconds()
    {
        QFETCH(QLocale, locale);
        QFETCH(QString, expected);
        TWin32FindData file = makeEntry("a.txt", 1);
        setModified(file, QDate(2025, 3, 4), QTime(14, 5, 9));
        QCOMPARE(RowTexts::modifiedText(&file, QDate(2026, 12, 7), locale), expected);
    }

    // MLSD entries come through the real parser: whatever it makes of a
    // missing or unreadable time must show as no time, never as 1601.
    void modifiedTextOfNoTimeIsEmpty_data()
    {
        QTest::addColumn<QByteArray>("mlsd");
        QTest::addColumn<QString>("expected");
        QTest::newRow("no modify fact") << QByteArray("type=file;size=5; a.txt") << "";
        QTest::newRow("modify too short") << QByteArray("type=file;modify=2025; a.txt") << "";
        QTest::newRow("modify not a number")
            << QByteArray("type=file;modify=2025O304140509; a.txt") << "";
        QTest::newRow("modify month 13")
            << QByteArray("type=file;modify=20251304140509; a.txt") << "";
        QTest::newRow("empty modify") << QByteArray("type=dir;modify=; sub") << "";
        QTest::newRow("a good time still shows")
            << QByteArray("type=file;modify=20250304140509; a.txt") << "4 Mar 2025 14:05";
    }
    void modifiedTextOfNoTimeIsEmpty()
    {
        QFETCH(QByteArray, mlsd);
        QFETCH(QString, expected);
        TWin32FindData entry {};
        QVERIFY(ListingParser::parseMlsdLine(mlsd.toStdString(), entry));
        QCOMPARE(RowTexts::modifiedText(&entry, QDate(2026, 12, 7), QLocale::c()), expected);
    }

    void modifiedTextOfNoRecordOrBeyondTheCalendarIsEmpty()
    {
        QCOMPARE(RowTexts::modifiedText(nullptr, QDate(2026, 12, 7), QLocale::c()), QString());
        TWin32FindData file = makeEntry("a.txt", 1);
        file.ftLastWriteTime = { 0xffffffffu, 0xffffffffu };
        QCOMPARE(RowTexts::modifiedText(&file, QDate(2026, 12, 7), QLocale::c()), QString());
    }

    void futureDates_data()
    {
        QTest::addColumn<QDate>("today");
        QTest::addColumn<QDate>("stamped");
        QTest::addColumn<QDate>("shown");
        const QDate today(2026, 12, 7);
        QTest::newRow("three days ahead goes back a year")
            << today << QDate(2026, 12, 10) << QDate(2025, 12, 10);
        QTest::newRow("tomorrow stays (servers east of UTC)")
            << today << QDate(2026, 12, 8) << QDate(2026, 12, 8);
        QTest::newRow("today stays") << today << today << today;
        QTest::newRow("the past stays") << today << QDate(2024, 1, 31) << QDate(2024, 1, 31);
        QTest::newRow("just under a year ahead")
            << today << QDate(2027, 12, 6) << QDate(2026, 12, 6);
        QTest::newRow("a year ahead stays") << today << QDate(2027, 12, 7) << QDate(2027, 12, 7);
        QTest::newRow("years ahead stay") << today << QDate(2031, 5, 1) << QDate(2031, 5, 1);
        QTest::newRow("29 February into a common year")
            << QDate(2028, 2, 20) << QDate(2028, 2, 29) << QDate(2027, 2, 28);
        QTest::newRow("across the new year")
            << QDate(2026, 12, 30) << QDate(2027, 1, 2) << QDate(2026, 1, 2);
    }
    void futureDates()
    {
        QFETCH(QDate, today);
        QFETCH(QDate, stamped);
        QFETCH(QDate, shown);
        TWin32FindData file = makeEntry("f.txt", 1);
        setModified(file, stamped, QTime(23, 59, 58));
        const QLocale iso(QLocale::c());
        const QString first = RowTexts::modifiedText(&file, today, iso);
        QCOMPARE(modifiedDate(file), shown);
        QCOMPARE(modifiedTime(file), QTime(23, 59, 58));
        // Written back once: showing the row again changes nothing.
        QCOMPARE(RowTexts::modifiedText(&file, today, iso), first);
        QCOMPARE(modifiedDate(file), shown);
        QVERIFY(first.startsWith(iso.toString(shown, iso.dateFormat(QLocale::ShortFormat))));
    }

    void iconsByType()
    {
        IconList &icons = IconList::instance();
        const TWin32FindData folder = makeEntry("pub", 0, true);
        const TWin32FindData readme = makeEntry("README", 5);
        const TWin32FindData unknown = makeEntry("archive.xyz", 5);
        QCOMPARE(RowTexts::iconIndex(&folder), icons.folderIndex(false));
        QCOMPARE(RowTexts::iconIndex(&readme), icons.genericIndex());
        QCOMPARE(RowTexts::iconIndex(&unknown), icons.genericIndex());
        QCOMPARE(RowTexts::iconIndex(nullptr), icons.genericIndex());
    }

    void aLinkOfUnknownKindReadsAsALinkUntilItIsKnownAsAFolder()
    {
        const QByteArray line = "lrwxrwxrwx 1 0 0 12 Jan 05  2024 photos.tar.gz -> /srv/photos";
        const auto entries = ListingParser::parseList(std::string_view(line.constData()), 2026);
        QCOMPARE(int(entries.size()), 1);
        TWin32FindData link = entries[0];
        IconList &icons = IconList::instance();
        QCOMPARE(RowTexts::typeName(&link), QStringLiteral("Symbolic Link"));
        QCOMPARE(RowTexts::iconIndex(&link), icons.linkIndex()); // not the archive's icon
        QCOMPARE(RowTexts::sizeText(&link), QString()); // 12 is the target path's length
        QCOMPARE(RowTexts::entrySize(&link), uint64_t(0));
        QVERIFY(!RowTexts::modifiedText(&link).isEmpty());

        link.dwFileAttributes |= FILE_ATTRIBUTE_DIRECTORY; // opened, and it was a folder
        QCOMPARE(RowTexts::typeName(&link), QStringLiteral("File Folder"));
        QCOMPARE(RowTexts::iconIndex(&link), icons.folderIndex(false));
        QCOMPARE(RowTexts::sizeText(&link), QString());
    }

    void foldersComeFirstAscendingAndLastDescending()
    {
        const RowComparison cmp(QLocale::c());
        const TWin32FindData folder = makeEntry("zz", 0, true);
        const TWin32FindData file = makeEntry("aa", 1);
        for (auto key :
            { RowComparison::Key::Text, RowComparison::Key::Size, RowComparison::Key::Modified }) {
            QCOMPARE(cmp.compare(&folder, "zz", &file, "aa", key, true), -1);
            QCOMPARE(cmp.compare(&file, "aa", &folder, "zz", key, true), 1);
            QCOMPARE(cmp.compare(&folder, "zz", &file, "aa", key, false), 1);
        }
    }

    void sizesAndTimesCompareAsNumbers()
    {
        const RowComparison cmp(QLocale::c());
        const TWin32FindData small = makeEntry("a", 999);
        const TWin32FindData big = makeEntry("b", 5000000000ULL);
        const TWin32FindData bigger = makeEntry("c", 5000000001ULL);
        QCOMPARE(
            cmp.compare(&small, "999", &big, "5,000,000,000", RowComparison::Key::Size, true), -1);
        QCOMPARE(cmp.compare(&bigger, "", &big, "", RowComparison::Key::Size, true), 1);
        QCOMPARE(cmp.compare(&big, "", &big, "", RowComparison::Key::Size, false), 0);

        // Only the whole 64-bit value orders these: the low words say otherwise.
        TWin32FindData older = makeEntry("o", 1);
        TWin32FindData newer = makeEntry("n", 1);
        older.ftLastWriteTime = { 0xffffffffu, 0x01d00000u };
        newer.ftLastWriteTime = { 0x00000000u, 0x01d00001u };
        QCOMPARE(cmp.compare(&older, "", &newer, "", RowComparison::Key::Modified, true), -1);
        QCOMPARE(cmp.compare(&older, "", &newer, "", RowComparison::Key::Modified, false), 1);
    }

    void textsCompareCaseSensitively()
    {
        const RowComparison cmp;
        QVERIFY(cmp.compareTexts("readme", "README") != 0);
        QCOMPARE(cmp.compareTexts("same", "same"), 0);
        QCOMPARE(cmp.compareTexts("alpha", "beta"), -1);
    }

    // The prepared keys of a long sort must order rows exactly as the
    // two-record form that the watch list uses.
    void preparedKeysAgreeWithTheDirectComparison()
    {
        const RowComparison cmp;
        QList<TWin32FindData> entries = { makeEntry("Zebra.txt", 10), makeEntry("apple", 7),
            makeEntry("Apple", 7), makeEntry("dir", 0, true),
            makeEntry("éclair.doc", 5000000000ULL), makeEntry("b10", 3), makeEntry("b9", 3) };
        for (int i = 0; i < entries.size(); ++i)
            entries[i].ftLastWriteTime = { uint32_t(i * 7919u), uint32_t(30000000u - i % 3) };
        for (auto key :
            { RowComparison::Key::Text, RowComparison::Key::Size, RowComparison::Key::Modified }) {
            for (const auto &a : entries) {
                for (const auto &b : entries) {
                    const QString ta = QString::fromUtf8(a.cFileName);
                    const QString tb = QString::fromUtf8(b.cFileName);
                    for (bool asc : { true, false }) {
                        const int direct = cmp.compare(&a, ta, &b, tb, key, asc);
                        const int keyed = RowComparison::compareKeys(
                            cmp.sortKey(&a, ta, key), cmp.sortKey(&b, tb, key), key, asc);
                        QCOMPARE(keyed, direct);
                    }
                }
            }
        }
    }
};

VREX_TEST_MAIN(TestRowTexts, QApplication)
#include "tst_rowtexts.moc"
