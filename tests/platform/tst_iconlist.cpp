#include "TestEnvironment.h"
#include "platform/IconList.h"

#include <QApplication>
#include <QtTest>

class TestIconList : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { IconList::setUpTheme(); }

    void themeIsAdwaitaWithHicolorFallback()
    {
        QCOMPARE(QIcon::themeName(), QStringLiteral("Adwaita"));
        QCOMPARE(QIcon::fallbackThemeName(), QStringLiteral("hicolor"));
        QVERIFY(QIcon::themeSearchPaths().contains(QStringLiteral("/usr/share/icons")));
    }

    void textFileGetsAThemeIconOffscreen()
    {
        IconList list;
        const int index = list.indexForFileName(QStringLiteral("notes.txt"), false);
        QVERIFY(!list.icon(index).isNull());
        QVERIFY(!list.pixmap(index, false).isNull());
    }

    void sameTypeGivesTheSameIndexEveryTime()
    {
        IconList list;
        const int first = list.indexForFileName(QStringLiteral("a.txt"), false);
        QCOMPARE(list.indexForFileName(QStringLiteral("/pub/docs/b.txt"), false), first);
        QCOMPARE(list.indexForFileName(QStringLiteral("SHOUT.TXT"), false), first);
        const int html = list.indexForFileName(QStringLiteral("index.html"), false);
        QCOMPARE(list.indexForFileName(QStringLiteral("page.htm"), false), html);
        const int sizeBefore = list.count();
        list.indexForFileName(QStringLiteral("again.html"), false);
        QCOMPARE(list.count(), sizeBefore);
    }

    void typesWithTheirOwnThemeIconGetTheirOwnIndex()
    {
        IconList list;
        const int text = list.indexForFileName(QStringLiteral("a.txt"), false);
        const int html = list.indexForFileName(QStringLiteral("a.html"), false);
        const int script = list.indexForFileName(QStringLiteral("run.sh"), false);
        QVERIFY(html != text);
        QVERIFY(script != html);
        QVERIFY(html != list.folderIndex(false));
    }

    void unknownOrMissingExtensionGivesTheGenericIcon()
    {
        IconList list;
        const int generic = list.genericIndex();
        QVERIFY(!list.icon(generic).isNull());
        QCOMPARE(list.indexForFileName(QStringLiteral("README"), false), generic);
        QCOMPARE(list.indexForFileName(QStringLiteral("archive.vrexunknownext"), false), generic);
        QCOMPARE(list.indexForFileName(QStringLiteral(""), false), generic);
    }

    void folderFlagWinsOverTheName()
    {
        IconList list;
        QCOMPARE(list.indexForFileName(QStringLiteral("docs.txt"), true), list.folderIndex(false));
    }

    void fixedIconsAreDistinctAndPresent()
    {
        IconList list;
        const QList<int> fixed = { list.folderIndex(false), list.folderIndex(true),
            list.siteIndex(), list.programIndex(), list.genericIndex(), list.linkIndex() };
        for (int i = 0; i < fixed.size(); ++i) {
            QVERIFY2(!list.icon(fixed[i]).isNull(), qPrintable(QString::number(fixed[i])));
            for (int j = i + 1; j < fixed.size(); ++j)
                QVERIFY(fixed[i] != fixed[j]);
        }
    }

    void fixedIndexesDoNotDependOnLookupOrder()
    {
        IconList first;
        first.indexForFileName(QStringLiteral("a.html"), false);
        IconList second;
        QCOMPARE(first.siteIndex(), second.siteIndex());
        QCOMPARE(first.programIndex(), second.programIndex());
        QCOMPARE(first.folderIndex(true), second.folderIndex(true));
    }

    // The site and program icons are our own SVGs: this fails when the SVG
    // icon engine is missing or the resource is not linked in.
    void ownSvgIconsRenderInBothSizes()
    {
        IconList list;
        for (int index : { list.siteIndex(), list.programIndex() }) {
            const QPixmap small = list.pixmap(index, false);
            const QPixmap large = list.pixmap(index, true);
            QCOMPARE(small.deviceIndependentSize().toSize(), QSize(16, 16));
            QCOMPARE(large.deviceIndependentSize().toSize(), QSize(32, 32));
            QVERIFY(!large.toImage().isNull());
            QVERIFY(large.toImage().pixelColor(16, 16).alpha() > 0);
        }
    }

    void indexNeverHandedOutGivesTheGenericIcon()
    {
        IconList list;
        const qint64 generic = list.icon(list.genericIndex()).cacheKey();
        QCOMPARE(list.icon(-1).cacheKey(), generic);
        QCOMPARE(list.icon(100000).cacheKey(), generic);
        QCOMPARE(list.pixmap(100000, true).size(), list.pixmap(list.genericIndex(), true).size());
    }

    // The tree, the lists and the combos each ask the shared list: an index
    // that one of them was handed must mean the same icon to the others.
    void sharedListKeepsTheIndexesItHandedOut()
    {
        const int html = IconList::instance().indexForFileName(QStringLiteral("a.html"), false);
        const int count = IconList::instance().count();
        IconList fresh;
        QVERIFY(fresh.count() < count); // a separate list starts without the lookup
        QCOMPARE(IconList::instance().indexForFileName(QStringLiteral("b.HTM"), false), html);
        QCOMPARE(IconList::instance().count(), count);
        QVERIFY(html != IconList::instance().genericIndex());
    }
};

VREX_TEST_MAIN(TestIconList, QApplication)
#include "tst_iconlist.moc"
