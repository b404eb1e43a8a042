#include "TestEnvironment.h"

#include "ftp/FileTime.h"

#include <QtTest>

Q_DECLARE_METATYPE(TSystemTime)

namespace {

TSystemTime at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0)
{
    TSystemTime st;
    st.year = y;
    st.month = mo;
    st.day = d;
    st.hour = h;
    st.minute = mi;
    st.second = s;
    st.millisecond = ms;
    return st;
}

QString show(const TSystemTime &t)
{
    return QString::asprintf("%04d-%02d-%02d %02d:%02d:%02d.%03d", t.year, t.month, t.day, t.hour,
        t.minute, t.second, t.millisecond);
}

} // namespace

class TestFileTime : public QObject {
    Q_OBJECT
private slots:
    void calendarFieldsRoundTrip_data()
    {
        QTest::addColumn<TSystemTime>("fields");
        QTest::addColumn<qint64>("ticks"); // -1: not checked
        QTest::newRow("1601 epoch") << at(1601, 1, 1) << qint64(0);
        QTest::newRow("1601 first millisecond") << at(1601, 1, 1, 0, 0, 0, 1) << qint64(10000);
        QTest::newRow("1970 epoch") << at(1970, 1, 1) << qint64(116444736000000000);
        QTest::newRow("day before 1970")
            << at(1969, 12, 31, 23, 59, 59, 999) << qint64(116444735999990000);
        QTest::newRow("leap day 2000") << at(2000, 2, 29, 12, 34, 56, 789) << qint64(-1);
        QTest::newRow("leap day 2024") << at(2024, 2, 29, 23, 59, 59) << qint64(-1);
        QTest::newRow("after leap day 2100") << at(2100, 3, 1) << qint64(-1);
        QTest::newRow("32-bit Unix time runs out") << at(2038, 1, 19, 3, 14, 8) << qint64(-1);
        QTest::newRow("last moment") << at(30827, 12, 31, 23, 59, 59, 999) << qint64(-1);
    }

    void calendarFieldsRoundTrip()
    {
        QFETCH(TSystemTime, fields);
        QFETCH(qint64, ticks);
        TFileTime ft {};
        QVERIFY(FileTime::fromSystemTime(fields, ft));
        if (ticks >= 0)
            QCOMPARE(qint64(FileTime::toTicks(ft)), ticks);
        QCOMPARE(show(FileTime::toSystemTime(ft)), show(fields));
        // The same moment through Unix seconds, checked against Qt's calendar.
        const QDateTime qt(QDate(fields.year, fields.month, fields.day),
            QTime(fields.hour, fields.minute, fields.second), Qt::UTC);
        QCOMPARE(FileTime::toUnixSeconds(ft), qt.toSecsSinceEpoch());
        QCOMPARE(
            FileTime::toTicks(FileTime::fromUnixSeconds(qt.toSecsSinceEpoch(), fields.millisecond)),
            FileTime::toTicks(ft));
    }

    void impossibleFieldsAreRefused_data()
    {
        QTest::addColumn<TSystemTime>("fields");
        QTest::newRow("before 1601") << at(1600, 12, 31, 23, 59, 59);
        QTest::newRow("past 30827") << at(30828, 1, 1);
        QTest::newRow("month 0") << at(2020, 0, 1);
        QTest::newRow("month 13") << at(2020, 13, 1);
        QTest::newRow("day 0") << at(2020, 1, 0);
        QTest::newRow("31 April") << at(2021, 4, 31);
        QTest::newRow("29 Feb, common year") << at(2023, 2, 29);
        QTest::newRow("29 Feb 1900") << at(1900, 2, 29);
        QTest::newRow("29 Feb 2100") << at(2100, 2, 29);
        QTest::newRow("hour 24") << at(2020, 1, 1, 24);
        QTest::newRow("minute 60") << at(2020, 1, 1, 0, 60);
        QTest::newRow("second 60") << at(2020, 1, 1, 0, 0, 60);
        QTest::newRow("millisecond 1000") << at(2020, 1, 1, 0, 0, 0, 1000);
        QTest::newRow("negative hour") << at(2020, 1, 1, -1);
    }

    void impossibleFieldsAreRefused()
    {
        QFETCH(TSystemTime, fields);
        TFileTime ft { 0x1234, 0x5678 };
        QVERIFY(!FileTime::fromSystemTime(fields, ft));
        QCOMPARE(ft.dwLowDateTime, 0x1234u); // the output is left alone
        QCOMPARE(ft.dwHighDateTime, 0x5678u);
    }

    void ticksSplitIntoLowAndHighWords()
    {
        const TFileTime ft = FileTime::fromTicks(0x0123456789ABCDEFULL);
        QCOMPARE(ft.dwLowDateTime, 0x89ABCDEFu);
        QCOMPARE(ft.dwHighDateTime, 0x01234567u);
        QCOMPARE(FileTime::toTicks(ft), 0x0123456789ABCDEFULL);
    }

    void unixTimesBefore1601ClampToZero()
    {
        QCOMPARE(FileTime::toTicks(FileTime::fromUnixSeconds(-11644473601LL)), 0ULL);
        QCOMPARE(FileTime::toTicks(FileTime::fromUnixSeconds(-11644473600LL)), 0ULL);
    }

    void nowIsTheCurrentUtcTime()
    {
        const qint64 before = QDateTime::currentSecsSinceEpoch();
        const qint64 now = FileTime::toUnixSeconds(FileTime::nowUtc());
        QVERIFY(now >= before && now <= QDateTime::currentSecsSinceEpoch());
    }
};

VREX_TEST_MAIN(TestFileTime, QCoreApplication)
#include "tst_filetime.moc"
