#include "ScriptedPrompts.h"
#include "TestEnvironment.h"

#include "explorer/CertificateTrust.h"
#include "storage/TrustedCertificates.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

std::string repeatedByte(const char *byte)
{
    std::string text = byte;
    for (int i = 1; i < 32; ++i)
        text += std::string(":") + byte;
    return text;
}

// A self-signed certificate for `host`, valid through 2027.
TlsCertificateFacts selfSigned(const std::string &host, const char *byte)
{
    TlsCertificateFacts c;
    c.host = host;
    c.subject = "CN=" + host;
    c.issuer = c.subject;
    c.notBefore = "2026-12-08 15:00:00 UTC";
    c.notAfter = "2027-12-08 15:00:00 UTC";
    c.sha256 = repeatedByte(byte);
    c.chainTrusted = false;
    c.withinValidity = true;
    return c;
}

const QDateTime kNow(QDate(2026, 12, 9), QTime(12, 0), Qt::UTC);

} // namespace

class TestCertificateTrust : public QObject {
    Q_OBJECT

private slots:
    void trustAlwaysIsAskedOnceAndOutlastsTheRun()
    {
        QTemporaryDir data;
        ScriptedPrompts prompts;
        const TlsCertificateFacts site = selfSigned("ftp.example.org", "AB");
        {
            CertificateTrust trust(data.path());
            prompts.answerChoice(CertificateTrust::TrustAlways);
            QVERIFY(trust.decide(site));
            QCOMPARE(prompts.choices().size(), 1);
            const ScriptedPrompts::Question &q = prompts.choices().first();
            QCOMPARE(q.title, QStringLiteral("Vrex Explorer"));
            QCOMPARE(q.choices, QStringList({ "Trust always", "Trust once", "Cancel" }));
            QCOMPARE(q.defaultChoice, 2);
            QCOMPARE(q.icon, Prompts::Icon::Question);
            QVERIFY(trust.decide(site));
            QCOMPARE(prompts.asked.size(), 1);
        }
        // The next run reads the file: still not asked.
        CertificateTrust nextRun(data.path());
        QVERIFY(nextRun.decide(site));
        QCOMPARE(prompts.asked.size(), 1);
        TrustedCertificates file(data.path());
        file.load();
        QCOMPARE(file.fingerprints(QStringLiteral("ftp.example.org:21")),
            QStringList { QString::fromStdString(site.sha256) });

        // Trust belongs to the host and port: the same certificate elsewhere is asked about.
        QVERIFY(!nextRun.decide(selfSigned("other.example.org", "AB")));
        TlsCertificateFacts otherPort = site;
        otherPort.port = 2121;
        QVERIFY(!nextRun.decide(otherPort));
        QCOMPARE(prompts.asked.size(), 3);
    }

    void trustOnceLetsOneConnectionOnAndCancelRefusesEachTime()
    {
        QTemporaryDir data;
        ScriptedPrompts prompts;
        const TlsCertificateFacts site = selfSigned("10.0.0.7", "01");
        CertificateTrust trust(data.path());
        prompts.answerChoice(CertificateTrust::TrustOnce);
        QVERIFY(trust.decide(site));
        QCOMPARE(prompts.asked.size(), 1);
        QVERIFY(!QFile::exists(data.path() + "/" + TrustedCertificates::kFileName));

        // The next connection asks again; no answer is the default, Cancel, every time.
        QVERIFY(!trust.decide(site));
        QVERIFY(!trust.decide(site));
        QCOMPARE(prompts.asked.size(), 3);
        QVERIFY(!QFile::exists(data.path() + "/" + TrustedCertificates::kFileName));

        // The queue's own connections of this run go on without a word, for
        // that certificate and port only.
        QVERIFY(trust.decideForAnotherConnection(site));
        QCOMPARE(prompts.asked.size(), 3);
        TlsCertificateFacts otherPort = site;
        otherPort.port = 990;
        QVERIFY(!trust.decideForAnotherConnection(otherPort));
        QVERIFY(!trust.decideForAnotherConnection(selfSigned("10.0.0.7", "02")));
        QCOMPARE(prompts.asked.size(), 5);
    }

    void aChangedCertificateWarnsWithBothFingerprints()
    {
        QTemporaryDir data;
        ScriptedPrompts prompts;
        const TlsCertificateFacts before = selfSigned("ftp.example.org", "AB");
        const TlsCertificateFacts now = selfSigned("ftp.example.org", "CD");
        // Trusted for the host alone, as before ports were kept: it still holds.
        TrustedCertificates file(data.path());
        QVERIFY(file.trustOnly(
            QStringLiteral("ftp.example.org"), QString::fromStdString(before.sha256)));
        CertificateTrust trust(data.path());
        QVERIFY(trust.decide(before));
        QVERIFY(prompts.asked.isEmpty());

        prompts.answerChoice(CertificateTrust::Cancel);
        QVERIFY(!trust.decide(now));
        const ScriptedPrompts::Question warned = prompts.choices().last();
        QCOMPARE(warned.icon, Prompts::Icon::Warning);
        QCOMPARE(warned.choices, CertificateTrust::kButtons);
        QCOMPARE(warned.defaultChoice, 2);
        QVERIFY(warned.text.contains(QString::fromStdString(before.sha256)));
        QVERIFY(warned.text.contains(QString::fromStdString(now.sha256)));
        QVERIFY(warned.text.contains(QStringLiteral("may be an attack")));

        // Once: this connection goes on with it, the file still names the old one.
        prompts.answerChoice(CertificateTrust::TrustOnce);
        QVERIFY(trust.decide(now));
        QCOMPARE(prompts.asked.size(), 2);
        file.load();
        QVERIFY(file.isTrusted(
            QStringLiteral("ftp.example.org"), QString::fromStdString(before.sha256)));

        // Always: the new one replaces the old for this port, which now warns in turn.
        CertificateTrust nextRun(data.path());
        prompts.answerChoice(CertificateTrust::TrustAlways);
        QVERIFY(nextRun.decide(now));
        QVERIFY(!nextRun.decide(before));
        QCOMPARE(prompts.asked.size(), 4);
        QVERIFY(prompts.choices().last().text.contains(
            QStringLiteral("Trusted before:\r") + QString::fromStdString(now.sha256)));
        file.load();
        QCOMPARE(file.fingerprintsFor(QStringLiteral("ftp.example.org"), 21),
            QStringList { QString::fromStdString(now.sha256) });
    }

    void theQuestionSaysWhyTheCertificateIsNotTrusted_data()
    {
        QTest::addColumn<bool>("selfSigned");
        QTest::addColumn<bool>("chainTrusted");
        QTest::addColumn<QString>("notBefore");
        QTest::addColumn<bool>("withinValidity");
        QTest::addColumn<QString>("reasons");
        const QString from = QStringLiteral("2026-12-08 15:00:00 UTC");
        QTest::newRow("self-signed") << true << false << from << true << "It is self-signed.\r";
        QTest::newRow("unknown issuer")
            << false << false << from << true << "Its issuer is not known.\r";
        QTest::newRow("expired") << false << true << from << false << "It has expired.\r";
        QTest::newRow("not yet valid") << false << true << QStringLiteral("2026-12-10 00:00:00 UTC")
                                       << false << "It is not valid yet.\r";
        QTest::newRow("self-signed and expired")
            << true << false << from << false << "It is self-signed.\rIt has expired.\r";
    }
    void theQuestionSaysWhyTheCertificateIsNotTrusted()
    {
        QFETCH(bool, selfSigned);
        QFETCH(bool, chainTrusted);
        QFETCH(QString, notBefore);
        QFETCH(bool, withinValidity);
        QFETCH(QString, reasons);
        TlsCertificateFacts c = ::selfSigned("ftp.example.org", "AB");
        if (!selfSigned)
            c.issuer = "CN=Example CA, O=Example";
        c.chainTrusted = chainTrusted;
        c.notBefore = notBefore.toStdString();
        c.withinValidity = withinValidity;
        const QString expected = "The certificate of ftp.example.org is not trusted.\r" + reasons
            + "\rSubject: CN=ftp.example.org\rIssuer: " + QString::fromStdString(c.issuer)
            + "\rValid from: " + notBefore
            + "\rValid to: 2027-12-08 15:00:00 UTC\rSHA-256 fingerprint:\r"
            + QString::fromStdString(c.sha256) + "\r\rTrust this certificate?";
        QCOMPARE(CertificateTrust::questionText(c, kNow), expected);
    }

    void theWarningTextInFull()
    {
        const TlsCertificateFacts c = selfSigned("ftp.example.org", "CD");
        const QString ab = QString::fromStdString(repeatedByte("AB"));
        const QString cd = QString::fromStdString(c.sha256);
        QCOMPARE(CertificateTrust::warningText(c, { ab }, kNow),
            "WARNING: the certificate of ftp.example.org is not the one you trusted before.\r"
            "This may be an attack: someone may be listening in on the connection. "
            "Or the site may have a new certificate.\r\r"
            "Trusted before:\r"
                + ab + "\rOffered now:\r" + cd
                + "\r\rIt is self-signed.\r"
                  "\rSubject: CN=ftp.example.org\rIssuer: CN=ftp.example.org\r"
                  "Valid from: 2026-12-08 15:00:00 UTC\rValid to: 2027-12-08 15:00:00 UTC\r"
                  "\rTrust this certificate?");
    }
};

VREX_TEST_MAIN(TestCertificateTrust, QCoreApplication)
#include "tst_certificatetrust.moc"
