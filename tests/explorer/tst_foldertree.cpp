// The pure rules of whole-folder transfers: which server names may land
// here, one spelling per place, and the one answer about existing files.

#include "explorer/FolderTree.h"
#include "ftp/FileTime.h"

#include <QtTest>

#include <cstring>

Q_DECLARE_METATYPE(FolderTree::Existing)

using FolderTree::Existing;

class TestFolderTree : public QObject {
    Q_OBJECT
private slots:
    void namesLandOnlyAsTheyAre_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("fits");
        QTest::newRow("plain") << "plain.txt" << true;
        QTest::newRow("blanks and brackets") << "a b [1].txt" << true;
        QTest::newRow("non-ASCII") << QString::fromUtf8("\xc3\xbc \xc3\xb1") << true;
        QTest::newRow("dot-file") << ".profile" << true;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("dot") << "." << false;
        QTest::newRow("dot-dot") << ".." << false;
        QTest::newRow("control character") << "bad\x01name" << false;
        QTest::newRow("right-to-left override")
            << QString::fromUtf8("a\xe2\x80\xaetxt.exe") << false;
        QTest::newRow("255 bytes") << QString(255, QLatin1Char('a')) << true;
        QTest::newRow("256 bytes") << QString(256, QLatin1Char('a')) << false;
        QTest::newRow("128 two-byte letters") << QString(128, QChar(0xe9)) << false;
    }

    void namesLandOnlyAsTheyAre()
    {
        QFETCH(QString, name);
        QTEST(FolderTree::fitsLocally(name), "fits");
    }

    void pathsHaveOneSpelling_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("normal");
        const char *rows[][3] = { { "as it is", "/a/b", "/a/b" },
            { "doubled slashes, trailing slash", "//a//b/", "/a/b" },
            { "dot and dot-dot", "/a/./b/../c", "/a/c" },
            { "above the root stays at the root", "/../../a", "/a" }, { "root", "/", "/" } };
        for (const auto &row : rows)
            QTest::newRow(row[0]) << QString(row[1]) << QString(row[2]);
    }

    void pathsHaveOneSpelling()
    {
        QFETCH(QString, path);
        QTEST(FolderTree::normalPath(path), "normal");
    }

    void oneAnswerDecidesForEveryFile_data()
    {
        QTest::addColumn<Existing>("rule");
        QTest::addColumn<bool>("there");
        QTest::addColumn<int>("sourceAge"); // seconds before the target's time
        QTest::addColumn<bool>("goes");
        QTest::newRow("new file, skip existing") << Existing::SkipExisting << false << 0 << true;
        QTest::newRow("existing, skip existing") << Existing::SkipExisting << true << -60 << false;
        QTest::newRow("existing, overwrite") << Existing::Overwrite << true << 60 << true;
        QTest::newRow("newer source") << Existing::OverwriteIfNewer << true << -60 << true;
        QTest::newRow("older source") << Existing::OverwriteIfNewer << true << 60 << false;
        QTest::newRow("same second") << Existing::OverwriteIfNewer << true << 0 << false;
        QTest::newRow("cancel") << Existing::Cancel << false << 0 << false;
    }

    void oneAnswerDecidesForEveryFile()
    {
        QFETCH(Existing, rule);
        QFETCH(bool, there);
        QFETCH(int, sourceAge);
        const int64_t target = 1'700'000'000;
        QTEST(FolderTree::transfers(rule, there, FileTime::fromUnixSeconds(target - sourceAge, 700),
                  FileTime::fromUnixSeconds(target, 100)),
            "goes");
    }

    void aLinkBackListsAsTheFolderItLeadsTo()
    {
        TWin32FindData a {}, b {};
        std::strcpy(a.cFileName, "a.txt");
        std::strcpy(b.cFileName, "sub");
        b.dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
        const uint64_t folder = FolderTree::signature({ a, b });
        QCOMPARE(FolderTree::signature({ b, a }), folder); // order of the listing aside
        setFileSize(a, 1);
        QVERIFY(FolderTree::signature({ a, b }) != folder);
    }
};

QTEST_GUILESS_MAIN(TestFolderTree)
#include "tst_foldertree.moc"
