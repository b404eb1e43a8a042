#include "FileBytes.h"
#include "TestEnvironment.h"

#include "storage/SiteOptionsFile.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

Q_DECLARE_METATYPE(SiteSecurity)

class TestSiteOptions : public QObject {
    Q_OBJECT

private slots:
    void optionsSurviveASaveAndALoad()
    {
        QTemporaryDir dir;
        SiteOptionsFile written(dir.path());
        written.set(QStringLiteral("Work"), { SiteSecurity::RequireTls, 120 });
        written.set(QStringLiteral("Ünïcode site"), { SiteSecurity::TlsIfOffered, -210 });
        written.set(QStringLiteral("Old"), { SiteSecurity::Plain, 0 });
        written.save();

        struct stat st { };
        QCOMPARE(::stat(written.filePath().toLocal8Bit().constData(), &st), 0);
        QCOMPARE(st.st_mode & 0777, 0600u);

        SiteOptionsFile read(dir.path());
        QCOMPARE(read.load(), SiteOptionsFile::LoadStatus::Loaded);
        QVERIFY(read.optionsOf(QStringLiteral("Work"))
            == (SiteOptions { SiteSecurity::RequireTls, 120 }));
        QVERIFY(read.optionsOf(QStringLiteral("Ünïcode site"))
            == (SiteOptions { SiteSecurity::TlsIfOffered, -210 }));
        QVERIFY(read.contains(QStringLiteral("Old")));
        // Descriptions match exactly, as the site book finds them.
        QVERIFY(!read.contains(QStringLiteral("work")));
        QVERIFY(read.optionsOf(QStringLiteral("work")) == SiteOptions {});
        // Stable words on disk, never the dialog's texts.
        const QByteArray bytes = readAll(written.filePath());
        QVERIFY(bytes.contains("\"require-tls\""));
        QVERIFY(bytes.contains("\"tls-if-offered\""));
    }

    void whatCannotBeReadMeansTheDefaults_data()
    {
        QTest::addColumn<QByteArray>("bytes"); // empty: no file at all
        QTest::addColumn<int>("status");
        using S = SiteOptionsFile::LoadStatus;
        QTest::newRow("no file") << QByteArray() << int(S::Missing);
        QTest::newRow("not JSON") << QByteArray("\x00\x01garbage{", 10) << int(S::Invalid);
        QTest::newRow("cut off") << QByteArray("{\"sites\": {\"Work\": {\"secu") << int(S::Invalid);
        QTest::newRow("an array") << QByteArray("[1,2]") << int(S::Invalid);
        QTest::newRow("sites not an object") << QByteArray("{\"sites\": 3}") << int(S::Invalid);
        QTest::newRow("site not an object")
            << QByteArray("{\"sites\": {\"Work\": \"require-tls\"}}") << int(S::Loaded);
        QTest::newRow("unknown security word")
            << QByteArray("{\"sites\": {\"Work\": {\"security\": \"quantum\"}}}") << int(S::Loaded);
        QTest::newRow("offset out of range")
            << QByteArray("{\"sites\": {\"Work\": {\"timeZoneMinutes\": 100000}}}")
            << int(S::Loaded);
        QTest::newRow("offset not a number")
            << QByteArray("{\"sites\": {\"Work\": {\"timeZoneMinutes\": \"+2\"}}}")
            << int(S::Loaded);
    }

    void whatCannotBeReadMeansTheDefaults()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, status);
        QTemporaryDir dir;
        SiteOptionsFile options(dir.path());
        if (!bytes.isEmpty())
            writeAll(options.filePath(), bytes);
        QCOMPARE(int(options.load()), status);
        QVERIFY(options.optionsOf(QStringLiteral("Work")) == SiteOptions {});
        QVERIFY(options.optionsOf(QStringLiteral("Elsewhere")) == SiteOptions {});
    }

    void aDamagedFileIsKeptAsideAtTheNextSave()
    {
        QTemporaryDir dir;
        SiteOptionsFile options(dir.path());
        const QByteArray damaged("{\"sites\": {\"Work\": {\"security\": \"requi");
        writeAll(options.filePath(), damaged);
        writeAll(options.filePath() + QStringLiteral(".rejected"), "older rejected file");
        QCOMPARE(options.load(), SiteOptionsFile::LoadStatus::Invalid);
        options.set(QStringLiteral("Work"), { SiteSecurity::RequireTls, 60 });
        options.save();
        QCOMPARE(readAll(options.filePath() + QStringLiteral(".rejected")), damaged);
        SiteOptionsFile again(dir.path());
        QCOMPARE(again.load(), SiteOptionsFile::LoadStatus::Loaded);
        QCOMPARE(again.optionsOf(QStringLiteral("Work")).timeZoneMinutes, 60);
        // Kept once: the next save leaves the rejected copy alone.
        again.save();
        QCOMPARE(readAll(options.filePath() + QStringLiteral(".rejected")), damaged);
    }

    void keysOfALaterVersionAreKept()
    {
        QTemporaryDir dir;
        SiteOptionsFile options(dir.path());
        writeAll(options.filePath(),
            "{\"format\": 7, \"sites\": {\"Work\": {\"security\": \"require-tls\", "
            "\"timeZoneMinutes\": -300, \"passive\": false}, \"Other\": {\"colour\": \"red\"}}}");
        QCOMPARE(options.load(), SiteOptionsFile::LoadStatus::Loaded);
        QVERIFY(options.optionsOf(QStringLiteral("Work"))
            == (SiteOptions { SiteSecurity::RequireTls, -300 }));
        QVERIFY(options.optionsOf(QStringLiteral("Other")) == SiteOptions {});
        options.set(QStringLiteral("Work"), { SiteSecurity::TlsIfOffered, 0 });
        options.save();
        const QJsonObject root = QJsonDocument::fromJson(readAll(options.filePath())).object();
        QCOMPARE(root.value(QStringLiteral("format")).toInt(), 7);
        const QJsonObject sites = root.value(QStringLiteral("sites")).toObject();
        const QJsonObject work = sites.value(QStringLiteral("Work")).toObject();
        QCOMPARE(work.value(QStringLiteral("passive")).toBool(true), false);
        QCOMPARE(
            work.value(QStringLiteral("security")).toString(), QStringLiteral("tls-if-offered"));
        QCOMPARE(sites.value(QStringLiteral("Other")).toObject().value(QStringLiteral("colour")),
            QJsonValue(QStringLiteral("red")));
    }

    void renamedAndDeletedSitesTakeTheirEntryAlong()
    {
        QTemporaryDir dir;
        SiteOptionsFile options(dir.path());
        const SiteOptions work { SiteSecurity::RequireTls, 330 };
        options.set(QStringLiteral("Work"), work);
        options.set(QStringLiteral("Home"), { SiteSecurity::TlsIfOffered, -60 });
        options.rename(QStringLiteral("Work"), QStringLiteral("Office"));
        options.rename(QStringLiteral("Nowhere"), QStringLiteral("Home")); // no entry: no change
        options.remove(QStringLiteral("Home"));
        options.save();

        SiteOptionsFile read(dir.path());
        read.load();
        QVERIFY(!read.contains(QStringLiteral("Work")));
        QVERIFY(!read.contains(QStringLiteral("Home")));
        QVERIFY(read.optionsOf(QStringLiteral("Office")) == work);
        // A change of case alone is a rename too.
        read.rename(QStringLiteral("Office"), QStringLiteral("OFFICE"));
        QVERIFY(!read.contains(QStringLiteral("Office")));
        QVERIFY(read.optionsOf(QStringLiteral("OFFICE")) == work);
    }
};

VREX_TEST_MAIN(TestSiteOptions, QCoreApplication)
#include "tst_siteoptions.moc"
