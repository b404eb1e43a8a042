// The summary a folder transfer shows while its files run.

#include "transfers/FolderProgress.h"

#include <QtTest>

class TestFolderProgress : public QObject {
    Q_OBJECT
private slots:
    void summaryReadsAsAPersonWritesIt_data()
    {
        QTest::addColumn<int>("doneFiles");
        QTest::addColumn<int>("files");
        QTest::addColumn<qulonglong>("doneBytes");
        QTest::addColumn<qulonglong>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("the example") << 12 << 1340 << 45'300'000ull << 2'100'000'000ull
                                     << "12 of 1,340 files, 45 MB of 2.1 GB";
        QTest::newRow("nothing yet")
            << 0 << 3 << 0ull << 999ull << "0 of 3 files, 0 bytes of 999 bytes";
        QTest::newRow("kilobytes")
            << 1 << 2 << 1500ull << 999'999ull << "1 of 2 files, 1 KB of 999 KB";
        QTest::newRow("beyond 4 GiB")
            << 2 << 2 << 5'000'000'000ull << 5'000'000'000ull << "2 of 2 files, 5.0 GB of 5.0 GB";
    }

    void summaryReadsAsAPersonWritesIt()
    {
        QFETCH(int, doneFiles);
        QFETCH(int, files);
        QFETCH(qulonglong, doneBytes);
        QFETCH(qulonglong, bytes);
        QTEST(FolderProgress::summaryText(
                  doneFiles, files, doneBytes, bytes, QLocale(QLocale::English)),
            "text");
    }

    void transferredFilesCountAndRemovedOnesNoLonger()
    {
        FolderProgress progress;
        progress.added(1, 500); // before any folder: a single file's item
        progress.beginFolder();
        progress.added(2, 1000);
        progress.added(3, 2000);
        progress.added(4, 4000);
        QCOMPARE(progress.summaryOf(1), QString());
        progress.removed(2, true);
        progress.removed(4, false); // the user took it out of the queue
        progress.removed(2, true); // gone already: counted once
        const QString expected = FolderProgress::summaryText(1, 2, 1000, 3000, QLocale::system());
        QCOMPARE(progress.summaryOf(3), expected);
        QVERIFY(expected.startsWith(QLatin1String("1 of 2 files")));
        QCOMPARE(progress.summaryOf(2), QString());
    }
};

QTEST_GUILESS_MAIN(TestFolderProgress)
#include "tst_folderprogress.moc"
