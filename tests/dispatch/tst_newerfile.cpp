// When the site's copy of a watched file counts as newer.

#include "dispatch/NewerFile.h"
#include "ftp/FileTime.h"

#include <QtTest>

namespace {

TWin32FindData entryAt(const QDateTime &utc, uint64_t size = 100)
{
    TWin32FindData e {};
    e.ftLastWriteTime = FileTime::fromUnixSeconds(utc.toSecsSinceEpoch(), utc.time().msec());
    setFileSize(e, size);
    return e;
}

QDateTime at(int y, int mo, int d, int h, int mi, int s, int ms = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms), Qt::UTC);
}

} // namespace

class TestNewerFile : public QObject {
    Q_OBJECT
private slots:
    void siteCopyIsNewerOnlyByDateAndTimeToTheSecond_data()
    {
        QTest::addColumn<QDateTime>("stored");
        QTest::addColumn<QDateTime>("site");
        QTest::addColumn<quint64>("siteSize");
        QTest::addColumn<bool>("newer");
        const QDateTime base = at(2026, 11, 3, 10, 20, 30);
        QTest::newRow("the same second") << base << base << quint64(100) << false;
        QTest::newRow("a second later") << base << base.addSecs(1) << quint64(100) << true;
        QTest::newRow("a second earlier") << base << base.addSecs(-1) << quint64(100) << false;
        QTest::newRow("the same time, another size") << base << base << quint64(999) << false;
        QTest::newRow("milliseconds later only")
            << base << at(2026, 11, 3, 10, 20, 30, 900) << quint64(100) << false;
        QTest::newRow("a later day at an earlier hour")
            << base << at(2026, 11, 4, 1, 0, 0) << quint64(100) << true;
        // Listed without a year and so read in the future: a year earlier.
        QTest::newRow("a date in the future counts a year back")
            << at(2026, 6, 1, 0, 0, 0) << at(2026, 12, 20, 9, 0, 0) << quint64(100) << false;
        QTest::newRow("tomorrow is not the future (servers east of UTC)")
            << at(2026, 12, 8, 0, 0, 0) << at(2026, 12, 9, 9, 0, 0) << quint64(100) << true;
    }

    void siteCopyIsNewerOnlyByDateAndTimeToTheSecond()
    {
        QFETCH(QDateTime, stored);
        QFETCH(QDateTime, site);
        QFETCH(quint64, siteSize);
        QFETCH(bool, newer);
        QCOMPARE(NewerFile::siteCopyIsNewer(
                     entryAt(stored), entryAt(site, siteSize), QDate(2026, 12, 8)),
            newer);
    }
};

QTEST_GUILESS_MAIN(TestNewerFile)
#include "tst_newerfile.moc"
