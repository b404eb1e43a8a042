// What the transfer panel says for a number of bytes, an expected size and
// the time taken so far, and what a failed transfer tells the user.

#include "transfers/ProgressTexts.h"
#include "transfers/TransferSpeed.h"

#include <QtTest>

class TestProgressTexts : public QObject {
    Q_OBJECT
private slots:
    void statusEventTexts_data()
    {
        QTest::addColumn<qlonglong>("bytes");
        QTest::addColumn<qlonglong>("expected");
        QTest::addColumn<qlonglong>("elapsedMs");
        QTest::addColumn<int>("percent");
        QTest::addColumn<QString>("progress");
        QTest::addColumn<QString>("complete");
        QTest::addColumn<QString>("time");
        QTest::newRow("a quarter after ten seconds")
            << 250000LL << 1000000LL << 10000LL << 25 << "25%"
            << "250,000 bytes of 1,000,000"
            << "Remaining: 30 Sec";
        QTest::newRow("first event of a queued transfer") << 0LL << 1000000LL << 0LL << 0 << "0%"
                                                          << "0 bytes of 1,000,000"
                                                          << "Transfer starting...";
        QTest::newRow("below one percent still starting")
            << 9999LL << 1000000LL << 5000LL << 0 << "0%"
            << "9,999 bytes of 1,000,000"
            << "Transfer starting...";
        QTest::newRow("quick download of unknown size")
            << 123456LL << 0LL << 4000LL << 0 << "unknown"
            << "123,456 bytes received"
            << "Transferring...";
        QTest::newRow("two hours to go") << 500LL << 1000LL << 7205000LL << 50 << "50%"
                                         << "500 bytes of 1,000"
                                         << "Remaining: 2 Hr 0 Min 5 Sec";
        // 1 % after 1,000 s leaves 99,000 s: 27 h 30 min, told without the whole day.
        QTest::newRow("over a day shows the part beyond whole days")
            << 10LL << 1000LL << 1000000LL << 1 << "1%"
            << "10 bytes of 1,000"
            << "Remaining: 3 Hr 30 Min 0 Sec";
        QTest::newRow("a grown file stays at one hundred")
            << 1500LL << 1000LL << 3000LL << 100 << "100%"
            << "1,500 bytes of 1,000"
            << "Remaining: 0 Sec";
        QTest::newRow("beyond 32 bits") << 3000000000LL << 6000000000LL << 60000LL << 50 << "50%"
                                        << "3,000,000,000 bytes of 6,000,000,000"
                                        << "Remaining: 1 Min 0 Sec";
        // bytes × 100 overflows 64 bits here; the percentage must not.
        QTest::newRow("beyond bytes times one hundred in 64 bits")
            << 0x4000000000000000LL << 0x7fffffffffffffffLL << 1000LL << 50 << "50%"
            << "4,611,686,018,427,387,904 bytes of 9,223,372,036,854,775,807"
            << "Remaining: 1 Sec";
    }
    // Samples (ms, bytes) of one transfer; the speed over the last 3 s.
    void speedFollowsTheLastSeconds_data()
    {
        QTest::addColumn<QList<qlonglong>>("samples");
        QTest::addColumn<QString>("speed");
        QTest::newRow("too soon to tell") << QList<qlonglong> { 0, 0, 50, 4096 } << QString();
        QTest::newRow("KiB") << QList<qlonglong> { 0, 0, 1000, 102400, 2000, 204800 }
                             << "100.0 KB/s";
        QTest::newRow("MiB") << QList<qlonglong> { 0, 0, 500, 5 << 20 } << "10.0 MB/s";
        // Fast at first, then stalled: the old pace no longer counts.
        QTest::newRow("a stall drops the speed") << QList<qlonglong> { 0, 0, 1000, 50 << 20, 5000,
            (50 << 20) + 2048, 6000, (50 << 20) + 3072 }
                                                 << "0.6 KB/s";
        QTest::newRow("a transfer started over counts anew")
            << QList<qlonglong> { 0, 0, 1000, 1 << 20, 1100, 0, 2100, 10240 } << "10.0 KB/s";
    }
    void speedFollowsTheLastSeconds()
    {
        QFETCH(QList<qlonglong>, samples);
        TransferSpeed meter;
        for (int i = 0; i + 1 < samples.size(); i += 2)
            meter.add(samples[i], samples[i + 1]);
        const QString text = ProgressTexts::timeText(50, 1000, 1000, meter.bytesPerSecond());
        QFETCH(QString, speed);
        QCOMPARE(
            text, speed.isEmpty() ? QString("Remaining: 1 Sec") : "Remaining: 1 Sec at " + speed);
    }

    void statusEventTexts()
    {
        QFETCH(qlonglong, bytes);
        QFETCH(qlonglong, expected);
        QFETCH(qlonglong, elapsedMs);
        QFETCH(int, percent);
        const int p = ProgressTexts::percentage(bytes, expected);
        QCOMPARE(p, percent);
        QTEST(ProgressTexts::progressText(p, expected), "progress");
        QTEST(ProgressTexts::completeText(bytes, expected, QLocale(QLocale::English)), "complete");
        QTEST(ProgressTexts::timeText(p, expected, elapsedMs), "time");
    }

    void remainingTimeTexts_data()
    {
        QTest::addColumn<int>("h");
        QTest::addColumn<int>("m");
        QTest::addColumn<int>("s");
        QTest::addColumn<QString>("text");
        QTest::newRow("an hour and five seconds") << 1 << 0 << 5 << "1 Hr 0 Min 5 Sec";
        QTest::newRow("150 seconds") << 0 << 2 << 30 << "2 Min 30 Sec";
        QTest::newRow("45 seconds") << 0 << 0 << 45 << "45 Sec";
        QTest::newRow("nothing left") << 0 << 0 << 0 << "0 Sec";
        QTest::newRow("whole hours") << 2 << 0 << 0 << "2 Hr 0 Min 0 Sec";
    }
    void remainingTimeTexts()
    {
        QFETCH(int, h);
        QFETCH(int, m);
        QFETCH(int, s);
        QTEST(ProgressTexts::remainingTimeText(h, m, s), "text");
    }

    void germanSeparatorsGroupTheBytes()
    {
        QCOMPARE(ProgressTexts::completeText(250000, 1000000, QLocale(QLocale::German)),
            QStringLiteral("250.000 bytes of 1.000.000"));
        // The C locale groups nothing by default; the panel groups anyway.
        QCOMPARE(ProgressTexts::completeText(1234, 0, QLocale::c()),
            QStringLiteral("1,234 bytes received"));
    }

    void fileNameAndQueueTexts()
    {
        QCOMPARE(ProgressTexts::fileNameOf(QStringLiteral("/pub/Docs/Report.PDF")),
            QStringLiteral("report.pdf"));
        QCOMPARE(ProgressTexts::fileNameOf(QStringLiteral("/home/u/in\\Name.Txt")),
            QStringLiteral("name.txt"));
        QCOMPARE(ProgressTexts::fileNameOf(QStringLiteral("plain")), QStringLiteral("plain"));
        QCOMPARE(ProgressTexts::queueText(3), QStringLiteral("3 file(s) in queue"));
        // The total under several running items, in the unit that fits.
        QCOMPARE(ProgressTexts::queueTotalText(2, 512),
            QStringLiteral("2 file(s) in queue, 512 bytes left"));
        QCOMPARE(ProgressTexts::queueTotalText(1, 1536),
            QStringLiteral("1 file(s) in queue, 1.5 KB left"));
        QCOMPARE(ProgressTexts::queueTotalText(9, 3LL << 30),
            QStringLiteral("9 file(s) in queue, 3.0 GB left"));
        QCOMPARE(ProgressTexts::queueTotalText(9, 5LL << 40),
            QStringLiteral("9 file(s) in queue, 5.0 TB left"));
        QCOMPARE(ProgressTexts::runningText(250, 1000, -1), QStringLiteral("25%"));
    }

    void failureMessages_data()
    {
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("message");
        const QString stopped
            = QStringLiteral("\r\rThe transfer has been terminated and the queue stopped.");
        QTest::newRow("no rights") << int(errNoRights) << "Access denied." + stopped;
        QTest::newRow("bad save file")
            << int(errBadSaveFile) << "The save file is invalid." + stopped;
        QTest::newRow("file not found")
            << int(errFileNotFound) << "The requested file cannot be found." + stopped;
        QTest::newRow("broken part way")
            << int(errUnknown) << "The transfer did not complete." + stopped;
        QTest::newRow("stopped by the user: silent") << int(errTerminated) << QString();
        QTest::newRow("not connected: silent") << int(errNotConnected) << QString();
        QTest::newRow("success: silent") << int(errNone) << QString();
    }
    void failureMessages()
    {
        QFETCH(int, error);
        QTEST(ProgressTexts::failureMessage(TWinInetError(error)), "message");
    }
};

QTEST_GUILESS_MAIN(TestProgressTexts)
#include "tst_progresstexts.moc"
