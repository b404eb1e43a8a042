#include "FileSizeLimit.h"
#include "TestEnvironment.h"

#include "storage/SettingsStoreFile.h"
#include "storage/TRegFile.h"

#include <QtTest>

#include <sys/stat.h>

Q_DECLARE_METATYPE(TaggedValue)

namespace {

const QString kSettingsKey = QStringLiteral("SOFTWARE\\Orvane\\Vrex Explorer");

QString readString(TRegFile &reg, const QString &name, const QString &def = QString())
{
    TaggedValue value;
    reg.ReadValueDef(name, TaggedValue(def), value);
    return value.toString();
}

template <typename F> QString errorOf(F action)
{
    try {
        action();
    } catch (const ERegFileError &e) {
        return e.message();
    }
    return QStringLiteral("<nothing raised>");
}

} // namespace

class TestRegFile : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> dir;
    QString storePath;

    void reopenStore() { TRegFile::useSettingsFile(storePath); }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        storePath = dir->filePath(QStringLiteral("settings.dat"));
        reopenStore();
        TRegFile::takeStartupWarning();
    }

    void defaultStoreLivesInPrivateConfigFolder()
    {
        TRegFile::useSettingsFile(QString());
        QVERIFY(TRegFile::settingsFilePath().startsWith(TestEnvironment::instance().configHome()));
    }

    void firstRunReadsEmptyLastSiteAndCreatesKey()
    {
        TRegFile reg;
        reg.setKey(kSettingsKey);
        TaggedValue value;
        reg.ReadValueDef(QStringLiteral("LastSite"), TaggedValue(""), value);
        QCOMPARE(value.kind(), uint16_t(varString));
        QCOMPARE(value.toString(), QString());
        QVERIFY(!reg.isKeyOpen());

        reopenStore(); // the key is on disk, not only in memory
        TRegFile check;
        QVERIFY(check.OpenKey(kSettingsKey, true));
        QVERIFY(check.OpenKey(QStringLiteral("software\\orvane"), true)); // parents, any case
        struct stat st { };
        QCOMPARE(::stat(QFile::encodeName(storePath).constData(), &st), 0);
        QCOMPARE(st.st_mode & 07777, mode_t(0600));
        QVERIFY(TRegFile::takeStartupWarning().isEmpty());
    }

    void valuesSurviveReloadWithTheirKinds_data()
    {
        QTest::addColumn<TaggedValue>("written");
        QTest::addColumn<TaggedValue>("read");
        QTest::addColumn<int>("storedType");
        QTest::addColumn<int>("storedSize");
        const QString text = QStringLiteral("Héllo wörld");
        QTest::newRow("string: UTF-8 plus one zero") << TaggedValue(
            text) << TaggedValue(text) << int(REG_SZ) << int(text.toUtf8().size() + 1);
        QTest::newRow("empty string is not the default")
            << TaggedValue("") << TaggedValue("") << int(REG_SZ) << 1;
        QTest::newRow("integer") << TaggedValue::fromInteger(-123456)
                                 << TaggedValue::fromInteger(-123456) << int(REG_DWORD) << 4;
        QTest::newRow("smallint reads as integer")
            << TaggedValue::fromSmallint(-7) << TaggedValue::fromInteger(-7) << int(REG_DWORD) << 4;
        QTest::newRow("boolean reads as integer")
            << TaggedValue::fromBoolean(true) << TaggedValue::fromInteger(-1) << int(REG_DWORD)
            << 4;
        for (const TaggedValue &v :
            { TaggedValue::fromSingle(1.5f), TaggedValue::fromDouble(-2.25e300),
                TaggedValue::fromCurrency(123456789), TaggedValue::fromDate(45000.75) })
            QTest::addRow("record of kind %d", v.kind()) << v << v << int(REG_BINARY) << 16;
    }

    void valuesSurviveReloadWithTheirKinds()
    {
        QFETCH(TaggedValue, written);
        QFETCH(TaggedValue, read);
        QFETCH(int, storedType);
        QFETCH(int, storedSize);
        TRegFile reg;
        reg.setKey(kSettingsKey);
        reg.WriteValue(QStringLiteral("Value"), written);
        reopenStore();
        TaggedValue value;
        // Names ignore case, as in the registry.
        reg.ReadValueDef(QStringLiteral("value"), TaggedValue("default"), value);
        QCOMPARE(value, read);
        QVERIFY(reg.OpenKey(kSettingsKey, true));
        uint32_t type = REG_NONE;
        QCOMPARE(reg.GetDataSize(QStringLiteral("Value"), type), storedSize);
        QCOMPARE(int(type), storedType);
        reg.CloseKey();
    }

    void missingValueIsNullAndTakesTheDefault()
    {
        TRegFile reg;
        reg.setKey(kSettingsKey);
        TaggedValue value = TaggedValue("stale");
        reg.ReadValue(QStringLiteral("NoSuchValue"), value);
        QVERIFY(value.isNull());
        QCOMPARE(readString(reg, QStringLiteral("NoSuchValue"), QStringLiteral("def")),
            QStringLiteral("def"));
    }

    void unsupportedTypeOrSizeReadsEmpty_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<TaggedValue>("expected");
        QTest::newRow("binary of 8 bytes")
            << int(REG_BINARY) << QByteArray(8, 'x') << TaggedValue();
        QTest::newRow("dword of 2 bytes") << int(REG_DWORD) << QByteArray(2, '\1') << TaggedValue();
        QTest::newRow("multi-string type") << 7 << QByteArray("a\0b\0\0", 5) << TaggedValue();
        QByteArray stringRecord(16, '\0');
        stringRecord[1] = 0x01; // kind 0x0100: its payload would be a pointer
        QTest::newRow("record of string kind") << int(REG_BINARY) << stringRecord << TaggedValue();
        QTest::newRow("string cut at first zero")
            << int(REG_SZ) << QByteArray("ab\0cd", 5) << TaggedValue("ab");
        QTest::newRow("string without zero")
            << int(REG_SZ) << QByteArray("abc") << TaggedValue("abc");
    }

    void unsupportedTypeOrSizeReadsEmpty()
    {
        QFETCH(int, type);
        QFETCH(QByteArray, bytes);
        QFETCH(TaggedValue, expected);
        TRegFile reg;
        reg.setKey(kSettingsKey);
        QVERIFY(reg.OpenKey(kSettingsKey, false));
        reg.WriteData(QStringLiteral("Odd"), bytes.constData(), uint32_t(type), int(bytes.size()));
        reg.CloseKey();
        TaggedValue value;
        reg.ReadValueDef(QStringLiteral("Odd"), TaggedValue("default"), value);
        QCOMPARE(value, expected); // an empty value is kept, not replaced by the default
    }

    void valueNameSplitsAtLastLoneBackslash_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("value");
        QTest::newRow("plain") << "LastSite"
                               << ""
                               << "LastSite";
        QTest::newRow("sub-key") << "Sub\\Name"
                                 << "Sub"
                                 << "Name";
        QTest::newRow("nested") << "A\\B\\Name"
                                << "A\\B"
                                << "Name";
        QTest::newRow("doubled never splits") << "a\\\\b"
                                              << ""
                                              << "a\\\\b";
        QTest::newRow("lone before doubled") << "Sub\\a\\\\b"
                                             << "Sub"
                                             << "a\\\\b";
        QTest::newRow("trailing") << "Sub\\"
                                  << "Sub"
                                  << "";
    }

    void valueNameSplitsAtLastLoneBackslash()
    {
        QFETCH(QString, name);
        QFETCH(QString, path);
        QFETCH(QString, value);
        QString gotPath, gotValue;
        TRegFile::splitValueName(name, gotPath, gotValue);
        QCOMPARE(gotPath, path);
        QCOMPARE(gotValue, value);
    }

    void subKeyValuesLiveBelowTheKey()
    {
        TRegFile reg;
        reg.setKey(kSettingsKey);
        reg.WriteValue(QStringLiteral("Sub\\Name"), TaggedValue("below"));
        reg.WriteValue(QStringLiteral("a\\\\b"), TaggedValue("here"));
        TRegFile sub;
        sub.setKey(kSettingsKey + QStringLiteral("\\Sub"));
        QCOMPARE(readString(sub, QStringLiteral("Name")), QStringLiteral("below"));
        QCOMPARE(readString(reg, QStringLiteral("Name"), QStringLiteral("none")),
            QStringLiteral("none"));
        QCOMPARE(readString(reg, QStringLiteral("a\\\\b")), QStringLiteral("here"));
    }

    void refusedKindsWriteNothingAndLeaveNoKeyOpen()
    {
        TRegFile reg;
        reg.setKey(kSettingsKey);
        for (const TaggedValue &v : { TaggedValue::null(), TaggedValue() }) {
            QCOMPARE(errorOf([&] { reg.WriteValue(QStringLiteral("X"), v); }),
                QStringLiteral("Invalid variant type"));
            QVERIFY(!reg.isKeyOpen());
        }
        TaggedValue value;
        reg.ReadValue(QStringLiteral("X"), value);
        QVERIFY(value.isNull());
    }

    void failuresRaiseTheirCodes()
    {
        TRegFile reg;
        QCOMPARE(errorOf([&] { reg.CheckResult(5); }), QStringLiteral("Reg Error: 00000005"));
        QCOMPARE(errorOf([&] { reg.CheckResult(int32_t(0x8000FFFF)); }),
            QStringLiteral("Reg Error: 8000FFFF"));
        char buffer[4];
        QCOMPARE(errorOf([&] { reg.ReadData(QStringLiteral("X"), buffer, 4); }),
            QStringLiteral("Reg Error: 00000006")); // no key open
        reg.setKey(kSettingsKey);
        reg.WriteValue(QStringLiteral("Long"), TaggedValue("longer than four"));
        QVERIFY(reg.OpenKey(kSettingsKey, true));
        QCOMPARE(errorOf([&] { reg.ReadData(QStringLiteral("Long"), buffer, 4); }),
            QStringLiteral("Reg Error: 000000EA"));
        QCOMPARE(errorOf([&] { reg.ReadData(QStringLiteral("Missing"), buffer, 4); }),
            QStringLiteral("Reg Error: 00000002"));
        uint32_t type = REG_NONE;
        QCOMPARE(reg.GetDataSize(QStringLiteral("Missing"), type), -1);
        reg.CloseKey();
        // The last result keeps the failed call's code past the close (a size
        // query never counts), and the next call that works clears it.
        QCOMPARE(reg.lastResult(), 2);
        reg.setRootKey(hkLocalMachine);
        QCOMPARE(errorOf([&] { reg.WriteValue(QStringLiteral("X"), TaggedValue("v")); }),
            QStringLiteral("Reg Error: 00000005"));
        QCOMPARE(reg.lastResult(), 5);
        reg.setRootKey(hkCurrentUser);
        reg.WriteValue(QStringLiteral("X"), TaggedValue("v"));
        QCOMPARE(reg.lastResult(), 0);
    }

    void rootsThatCannotCreateKeys()
    {
        TRegFile reg;
        reg.setRootKey(hkDynData);
        reg.setKey(QStringLiteral("Anything"));
        TaggedValue value;
        QCOMPARE(errorOf([&] { reg.ReadValue(QStringLiteral("X"), value); }),
            QStringLiteral("Can't open a Key"));
        QVERIFY(!reg.OpenKey(QStringLiteral("Anything"), true));
        reg.setRootKey(hkLocalMachine);
        QCOMPARE(errorOf([&] { reg.WriteValue(QStringLiteral("X"), TaggedValue("v")); }),
            QStringLiteral("Reg Error: 00000005"));
        QVERIFY(!reg.isKeyOpen());
        QVERIFY(!QFile::exists(storePath)); // the user's store was never touched
    }

    void classesRootAnswersFileTypesReadOnly()
    {
        TRegFile reg;
        reg.setRootKey(hkClassesRoot);
        reg.setKey(QStringLiteral(".txt"));
        QCOMPARE(readString(reg, QString()), QStringLiteral("text/plain"));
        reg.setKey(QStringLiteral("text/plain"));
        QCOMPARE(readString(reg, QString()), QStringLiteral("Plain text document"));

        reg.setKey(QStringLiteral(".nosuchextension42"));
        TaggedValue value;
        reg.ReadValue(QString(), value); // reads with creation: no error, nothing created
        QVERIFY(value.isNull());
        QVERIFY(!reg.OpenKey(QStringLiteral(".nosuchextension42"), true));
        QCOMPARE(errorOf([&] { reg.WriteValue(QString(), TaggedValue("x")); }),
            QStringLiteral("Reg Error: 00000005"));
        QVERIFY(!QFile::exists(storePath));
    }

    void failedWriteRaisesAndKeepsEarlierStore()
    {
        TRegFile reg;
        reg.setKey(kSettingsKey);
        reg.WriteValue(QStringLiteral("LastSite"), TaggedValue("Before"));
        const QByteArray before = [&] {
            QFile f(storePath);
            f.open(QIODevice::ReadOnly);
            return f.readAll();
        }();
        {
            FileSizeLimit limit(16);
            QVERIFY(errorOf([&] {
                reg.WriteValue(QStringLiteral("LastSite"), TaggedValue("After"));
            }).startsWith(QStringLiteral("Reg Error: ")));
        }
        QVERIFY(!reg.isKeyOpen());
        QCOMPARE(readString(reg, QStringLiteral("LastSite")),
            QStringLiteral("Before")); // memory too
        QFile f(storePath);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);
        QCOMPARE(QDir(dir->path()).entryList(QDir::Files),
            QStringList { QStringLiteral("settings.dat") });
    }

    void twoRunningInstancesKeepEachOthersSettings()
    {
        SettingsStoreFile mine(storePath), theirs(storePath);
        const QString key = QStringLiteral("Software\\Vrex");
        QCOMPARE(mine.openKey(key, true), RegResult::Success);
        QCOMPARE(
            mine.setValue(key, QStringLiteral("LastSite"), REG_SZ, "Mine"), RegResult::Success);
        QCOMPARE(
            theirs.setValue(key, QStringLiteral("LastDir"), REG_SZ, "Theirs"), RegResult::Success);
        QCOMPARE(
            mine.setValue(key, QStringLiteral("Buttons"), REG_SZ, "Explorer"), RegResult::Success);
        const QList<QPair<QString, QByteArray>> expected
            = { { "LastSite", "Mine" }, { "LastDir", "Theirs" }, { "Buttons", "Explorer" } };
        SettingsStoreFile fresh(storePath);
        for (SettingsStoreFile *store : { &fresh, &mine, &theirs }) {
            for (const auto &[name, value] : expected) {
                uint32_t type = REG_NONE;
                QByteArray data;
                QCOMPARE(store->queryValue(key, name, type, data), RegResult::Success);
                QCOMPARE(type, uint32_t(REG_SZ));
                QCOMPARE(data, value);
            }
        }
    }

    void unwritableStoreKeepsChangesOnlyOnceTheFailureWasReported()
    {
        TRegFile reg;
        reg.setKey(kSettingsKey);
        reg.WriteValue(QStringLiteral("LastSite"), TaggedValue("Saved"));
        QFile f(storePath);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray saved = f.readAll();
        f.close();
        {
            FileSizeLimit limit(16);
            QVERIFY(errorOf([&] {
                reg.WriteValue(QStringLiteral("LastSite"), TaggedValue("Lost"));
            }).startsWith(QStringLiteral("Reg Error: ")));
            TRegFile::keepUnwrittenChanges();
            reg.WriteValue(QStringLiteral("LastSite"), TaggedValue("Kept"));
            reg.WriteValue(QStringLiteral("New\\Buttons"), TaggedValue("Explorer"));
            QCOMPARE(readString(reg, QStringLiteral("LastSite")), QStringLiteral("Kept"));
            QCOMPARE(readString(reg, QStringLiteral("New\\Buttons")), QStringLiteral("Explorer"));
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), saved); // nothing half-written
            f.close();
        }
        // Each change is still tried on disk: once it can be written, it is.
        reg.WriteValue(QStringLiteral("Buttons"), TaggedValue("Windows95"));
        reopenStore();
        QCOMPARE(readString(reg, QStringLiteral("LastSite")), QStringLiteral("Kept"));
        QCOMPARE(readString(reg, QStringLiteral("Buttons")), QStringLiteral("Windows95"));
    }

    void damagedStoreStartsWithDefaultsAndWarnsOnce_data()
    {
        QTest::addColumn<int>("damage"); // 0 flip a byte, 1 cut short, 2 empty, 3 text
        QTest::newRow("flipped byte") << 0;
        QTest::newRow("cut short") << 1;
        QTest::newRow("empty file") << 2;
        QTest::newRow("someone else's text") << 3;
    }

    void damagedStoreStartsWithDefaultsAndWarnsOnce()
    {
        QFETCH(int, damage);
        TRegFile reg;
        reg.setKey(kSettingsKey);
        reg.WriteValue(QStringLiteral("LastSite"), TaggedValue("Saved"));
        QFile f(storePath);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QByteArray bytes = f.readAll();
        if (damage == 0)
            bytes[bytes.size() / 2] = char(bytes[bytes.size() / 2] ^ 0x20);
        bytes = damage == 1 ? bytes.left(bytes.size() - 5)
            : damage == 2   ? QByteArray()
            : damage == 3   ? QByteArray("[General]\nLastSite=x\n")
                            : bytes;
        f.resize(0);
        f.write(bytes);
        f.close();

        reopenStore();
        QCOMPARE(readString(reg, QStringLiteral("LastSite"), QStringLiteral("dflt")),
            QStringLiteral("dflt"));
        const QString warning = TRegFile::takeStartupWarning();
        QVERIFY2(warning.contains(storePath), qPrintable(warning));
        QVERIFY(TRegFile::takeStartupWarning().isEmpty());

        reg.WriteValue(QStringLiteral("LastSite"), TaggedValue("Again")); // the store works on
        reopenStore();
        QCOMPARE(readString(reg, QStringLiteral("LastSite")), QStringLiteral("Again"));
        QVERIFY(TRegFile::takeStartupWarning().isEmpty());
    }
};

VREX_TEST_MAIN(TestRegFile, QCoreApplication)
#include "tst_regfile.moc"
