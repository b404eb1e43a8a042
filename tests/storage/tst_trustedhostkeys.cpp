#include "TestEnvironment.h"

#include "storage/TrustedHostKeys.h"

#include <QTemporaryDir>
#include <QtTest>

class TestTrustedHostKeys : public QObject {
    Q_OBJECT

private slots:
    void oneKeyPerServerSavedWholeAndADamagedFileKeptAside()
    {
        QTemporaryDir dir;
        TrustedHostKeys keys(dir.path());
        QCOMPARE(keys.load(), TrustedHostKeys::LoadStatus::Missing);
        QVERIFY(keys.trust("[10.0.0.7]:2222 ssh-ed25519 AAAAC3Nza"));
        QVERIFY(keys.trust("sftp.example.org ssh-rsa AAAAB3Nz=="));
        QVERIFY(keys.trust("[10.0.0.7]:2222 ecdsa-sha2-nistp256 AAAAE2Vj")); // replaces the first
        QVERIFY(!keys.trust("host ssh-ed25519 not base64!"));
        QVERIFY(!keys.trust("two words"));
        QCOMPARE(QFileInfo(keys.filePath()).permissions() & 0x0077, QFileDevice::Permissions());
        QFile file(keys.filePath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(),
            TrustedHostKeys::kHeader
                + "\nsftp.example.org ssh-rsa AAAAB3Nz==\n[10.0.0.7]:2222 ecdsa-sha2-nistp256 "
                  "AAAAE2Vj\n");
        file.close();

        const QByteArray damaged = TrustedHostKeys::kHeader + "\nhost ssh-ed25519 AAAA\ngarbage\n";
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(damaged) > 0);
        file.close();
        TrustedHostKeys again(dir.path());
        QCOMPARE(again.load(), TrustedHostKeys::LoadStatus::Invalid);
        QVERIFY(again.trust("other ssh-ed25519 AAAAC3Nza"));
        QFile rejected(keys.filePath() + ".rejected");
        QVERIFY(rejected.open(QIODevice::ReadOnly));
        QCOMPARE(rejected.readAll(), damaged);
        QCOMPARE(again.load(), TrustedHostKeys::LoadStatus::Loaded);
    }
};

VREX_TEST_MAIN(TestTrustedHostKeys, QCoreApplication)
#include "tst_trustedhostkeys.moc"
