#include "FileBytes.h"
#include "TestEnvironment.h"

#include "storage/TrustedCertificates.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

// A fingerprint made of one repeated byte: "AA:AA:...".
QString fingerprint(const char *byte)
{
    QStringList parts;
    for (int i = 0; i < 32; ++i)
        parts << QString::fromLatin1(byte);
    return parts.join(QLatin1Char(':'));
}

QByteArray fileOf(const QByteArray &lines)
{
    return TrustedCertificates::kHeader + '\n' + lines;
}

} // namespace

class TestTrustedCertificates : public QObject {
    Q_OBJECT

private slots:
    void trustedFingerprintsOutlastTheObjectThatSavedThem()
    {
        QTemporaryDir dir;
        TrustedCertificates saved(dir.path());
        saved.load();
        QVERIFY(!saved.knowsHost(QStringLiteral("ftp.example.org")));
        QVERIFY(saved.trustOnly(QStringLiteral("FTP.Example.org"), fingerprint("ab")));
        QVERIFY(saved.trustOnly(QStringLiteral("10.0.0.7"), fingerprint("01")));
        QCOMPARE(QFileInfo(saved.filePath()).permissions() & 0x0077, QFileDevice::Permissions());

        TrustedCertificates read(dir.path());
        read.load();
        // Host names are alike in any case; fingerprints are compared as one form.
        QVERIFY(read.isTrusted(QStringLiteral("ftp.example.ORG"), fingerprint("AB")));
        QVERIFY(read.isTrusted(QStringLiteral("ftp.example.org"), fingerprint("ab")));
        QVERIFY(read.isTrusted(QStringLiteral("10.0.0.7"), fingerprint("01")));
        QVERIFY(!read.isTrusted(QStringLiteral("10.0.0.7"), fingerprint("AB")));
        QVERIFY(!read.isTrusted(QStringLiteral("10.0.0.8"), fingerprint("01")));
        QCOMPARE(readAll(read.filePath()),
            fileOf("10.0.0.7 " + fingerprint("01").toLatin1() + "\nftp.example.org "
                + fingerprint("AB").toLatin1() + '\n'));

        // A new certificate for the host replaces the one trusted before.
        QVERIFY(read.trustOnly(QStringLiteral("ftp.example.org"), fingerprint("CD")));
        read.load();
        QCOMPARE(read.fingerprints(QStringLiteral("ftp.example.org")), { fingerprint("CD") });
        QVERIFY(read.isTrusted(QStringLiteral("10.0.0.7"), fingerprint("01")));
    }

    void whatTheFileCannotHoldIsNotKept_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("sha256");
        QTest::newRow("empty host") << QString() << fingerprint("AB");
        QTest::newRow("host with a space") << QStringLiteral("a b") << fingerprint("AB");
        QTest::newRow("fingerprint of SHA-1 length")
            << QStringLiteral("h") << fingerprint("AB").left(59);
        QTest::newRow("fingerprint without colons")
            << QStringLiteral("h") << fingerprint("AB").remove(QLatin1Char(':'));
    }
    void whatTheFileCannotHoldIsNotKept()
    {
        QFETCH(QString, host);
        QFETCH(QString, sha256);
        QTemporaryDir dir;
        TrustedCertificates file(dir.path());
        QVERIFY(!file.trustOnly(host, sha256));
        QVERIFY(!QFile::exists(file.filePath()));
    }

    void aDamagedFileReadsAsEmpty_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("hosts"); // -1: damaged
        const QByteArray ab = fingerprint("AB").toLatin1();
        const QByteArray cd = fingerprint("CD").toLatin1();
        QTest::newRow("header only") << fileOf("") << 0;
        QTest::newRow("blank lines and spaces") << fileOf("\n  h   " + ab + "  \n\n") << 1;
        QTest::newRow("two for one host") << fileOf("h " + ab + "\nh " + cd) << 1;
        QTest::newRow("empty") << QByteArray() << -1;
        QTest::newRow("another data file") << QByteArray("Vrexv1.00\0", 10) << -1;
        QTest::newRow("no fingerprint") << fileOf("h " + ab + "\nh\n") << -1;
        QTest::newRow("three fields") << fileOf("h " + ab + " x\n") << -1;
        QTest::newRow("fingerprint cut short") << fileOf("h " + ab.left(90) + "\n") << -1;
        QTest::newRow("not hexadecimal")
            << fileOf("h " + QByteArray(ab).replace("AB", "GG") + "\n") << -1;
    }
    void aDamagedFileReadsAsEmpty()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, hosts);
        const auto parsed = TrustedCertificates::parse(bytes);
        QCOMPARE(parsed.has_value(), hosts >= 0);
        if (parsed)
            QCOMPARE(int(parsed->size()), hosts);

        QTemporaryDir dir;
        TrustedCertificates file(dir.path());
        writeAll(file.filePath(), bytes);
        file.load();
        QCOMPARE(file.knowsHost(QStringLiteral("h")), hosts > 0);
    }

    void aDamagedFileIsKeptAsideAtTheNextSave()
    {
        QTemporaryDir dir;
        TrustedCertificates file(dir.path());
        const QByteArray damaged = fileOf("h not-a-fingerprint\n");
        writeAll(file.filePath(), damaged);
        file.load();
        QVERIFY(!file.knowsHost(QStringLiteral("h")));
        QVERIFY(file.trustOnly(QStringLiteral("h"), fingerprint("AB")));
        QCOMPARE(readAll(file.filePath() + TrustedCertificates::kRejectedSuffix), damaged);
        file.load();
        QVERIFY(file.isTrusted(QStringLiteral("h"), fingerprint("AB")));
    }

    void aMissingFileIsEmptyAndAFailedSaveKeepsTheEarlierFile()
    {
        QTemporaryDir dir;
        TrustedCertificates missing(dir.path() + QStringLiteral("/none"));
        missing.load();
        QVERIFY(!missing.knowsHost(QStringLiteral("h")));

        TrustedCertificates blocked(dir.path());
        QVERIFY(QDir(dir.path()).mkdir(TrustedCertificates::kFileName));
        QVERIFY_THROWS_EXCEPTION(
            std::exception, blocked.trustOnly(QStringLiteral("h"), fingerprint("AB")));
        QVERIFY(!blocked.isTrusted(QStringLiteral("h"), fingerprint("AB")));
    }
};

VREX_TEST_MAIN(TestTrustedCertificates, QCoreApplication)
#include "tst_trustedcertificates.moc"
