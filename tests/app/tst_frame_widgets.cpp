// The small parts of the frame that Qt lacks: the percentage splitter, the
// status panels, the four-style list, and the private temporary folder.

#include "TestEnvironment.h"

#include "explorer/StatusTexts.h"
#include "platform/TempFolder.h"
#include "widgets/StatusPanels.h"
#include "widgets/TListView.h"
#include "widgets/TwoWaySplitter.h"

#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QStandardItemModel>
#include <QTreeView>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

class TestFrameWidgets : public QObject {
    Q_OBJECT
private slots:
    void splitterKeepsItsPercentageWhenResized()
    {
        TwoWaySplitter s;
        s.setBarWidth(2);
        s.addWidget(new QLabel("left"));
        s.addWidget(new QLabel("right"));
        s.resize(402, 100);
        s.setPosition(35);
        s.show();
        QVERIFY(QTest::qWaitForWindowExposed(&s));
        QCOMPARE(s.sizes().at(0), 400 * 35 / 100);
        s.resize(802, 100);
        QTRY_COMPARE(s.sizes().at(0), 800 * 35 / 100);
        QCOMPARE(s.position(), 35);
        s.setPosition(150);
        QCOMPARE(s.position(), 100);
    }

    void statusPanelsShowTextsByIndex()
    {
        StatusPanels bar;
        bar.setObjectName("Bar");
        bar.addPanel("Status:", 200);
        bar.addPanel("Objects:", 110);
        bar.setPanelText(1, "Objects: 3");
        bar.setPanelText(7, "ignored");
        QCOMPARE(bar.panelText(1), QStringLiteral("Objects: 3"));
        QCOMPARE(bar.panelText(7), QString());
        QCOMPARE(bar.findChild<QLabel *>("BarPanel0")->width(), 200);
    }

    void lastStatusPanelTakesTheRestOfTheBar()
    {
        QWidget window;
        auto *bar = new StatusPanels(&window);
        bar->setObjectName("Bar");
        const int widths[] = { 200, 110, 145, 100 };
        for (int width : widths)
            bar->addPanel("Panel:", width);
        const QString queue = QStringLiteral("Queue: Starts: 12:05 PM");
        bar->setPanelText(3, queue);
        bar->resize(720, 24);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto panel
            = [bar](int i) { return bar->findChild<QLabel *>(QString("BarPanel%1").arg(i)); };
        for (int i = 0; i < 3; ++i)
            QCOMPARE(panel(i)->width(), widths[i]);
        QLabel *last = panel(3);
        QTRY_VERIFY(last->width() > widths[3]);
        QVERIFY2(last->contentsRect().width() >= last->fontMetrics().horizontalAdvance(queue),
            qPrintable(QString::number(last->contentsRect().width())));
        const int before = last->width();
        bar->resize(900, 24);
        QTRY_COMPARE(last->width(), before + 180);
        QCOMPARE(panel(0)->width(), widths[0]);
    }

    void statusTextsCoverEveryCode_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("text");
        const std::pair<int, const char *> known[] = { { 0, "Looking for FTP site..." },
            { 1, "Logging in..." }, { 2, "Connected" }, { 3, "Receiving data..." },
            { 4, "Sending data..." }, { 30, "Sending request..." }, { 31, "Request sent" },
            { 40, "Receiving response..." }, { 41, "Data Received" }, { 51, "Connection closed" },
            { 60, "FTP site found..." }, { 70, "Ready" }, { 99, "Ready" },
            { 100, "Request complete" } };
        for (const auto &[code, text] : known)
            QTest::addRow("%d", code) << code << QString::fromLatin1(text);
        // Any other code shows as its number.
        for (int code : { 5, 21, 50, 101, -7 })
            QTest::addRow("other %d", code) << code << QString::number(code);
    }
    void statusTextsCoverEveryCode()
    {
        QFETCH(int, code);
        QFETCH(QString, text);
        QCOMPARE(StatusTexts::text(code), text);
        StatusPanels bar;
        bar.addPanel("Status:", 200);
        StatusTexts::show(&bar, code);
        QCOMPARE(bar.panelText(0), "Status: " + text);
    }

    void listShowsOneModelInFourStylesWithOneSelection()
    {
        TListView list;
        list.addColumn("Name", 150);
        list.addColumn("Size", 75, Qt::AlignRight);
        list.model()->appendRow({ new QStandardItem("a.txt"), new QStandardItem("1") });
        list.model()->appendRow({ new QStandardItem("b.txt"), new QStandardItem("2") });
        list.selectionModel()->select(
            list.model()->index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        list.resize(300, 200);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        QVERIFY(list.detailsView()->isVisible());
        QVERIFY(!list.iconsView()->isVisible());

        struct Style {
            TViewStyle style;
            QListView::ViewMode mode;
            QListView::Flow flow;
            int iconSize;
        };
        const Style styles[] = {
            { TViewStyle::vsIcon, QListView::IconMode, QListView::LeftToRight, 32 },
            { TViewStyle::vsSmallIcon, QListView::ListMode, QListView::LeftToRight, 16 },
            { TViewStyle::vsList, QListView::ListMode, QListView::TopToBottom, 16 },
        };
        for (const Style &s : styles) {
            list.setViewStyle(s.style);
            // The icons view is the one on screen, sharing the rows and the selection.
            QVERIFY(list.iconsView()->isVisible());
            QVERIFY(!list.detailsView()->isVisible());
            QCOMPARE(list.currentView(), static_cast<QAbstractItemView *>(list.iconsView()));
            QCOMPARE(list.iconsView()->viewMode(), s.mode);
            QCOMPARE(list.iconsView()->flow(), s.flow);
            QCOMPARE(list.iconsView()->iconSize(), QSize(s.iconSize, s.iconSize));
            QCOMPARE(list.iconsView()->model()->rowCount(), 2);
            QVERIFY(list.iconsView()->selectionModel()->isSelected(list.model()->index(1, 0)));
        }
        list.setViewStyle(TViewStyle::vsReport);
        QVERIFY(list.detailsView()->isVisible());
        QVERIFY(!list.iconsView()->isVisible());
        QCOMPARE(list.detailsView()->header()->sectionSize(1), 75); // widths outlive other styles
        QVERIFY(list.detailsView()->selectionModel()->isSelected(list.model()->index(1, 0)));
    }

    void temporaryFolderIsPrivateAndCleanedWhole()
    {
        QVERIFY(TempFolder::ensure());
        struct stat st { };
        QCOMPARE(::lstat(QFile::encodeName(TempFolder::path()).constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 0777), 0700);
        QFile a(TempFolder::path() + "a.txt"), hidden(TempFolder::path() + ".keep");
        QVERIFY(a.open(QIODevice::WriteOnly));
        QVERIFY(hidden.open(QIODevice::WriteOnly));
        a.close();
        hidden.close();
        TempFolder::clean();
        QVERIFY(!a.exists());
        // A name beginning with "." is left alone, so the folder stays too.
        QVERIFY(hidden.exists());
        QVERIFY(QFile::remove(hidden.fileName()));
        TempFolder::clean();
        QVERIFY(!QDir(TempFolder::path()).exists());
    }

    void temporaryFolderRefusesALinkOrAFileInItsPlace()
    {
        const QString target = TestEnvironment::instance().root() + "/elsewhere";
        QVERIFY(QDir().mkpath(target));
        QFile marker(target + "/precious.txt");
        QVERIFY(marker.open(QIODevice::WriteOnly));
        marker.close();
        const QByteArray link = QFile::encodeName(TempFolder::path()).chopped(1);
        QCOMPARE(::symlink(QFile::encodeName(target).constData(), link.constData()), 0);
        QString error;
        QVERIFY(!TempFolder::ensure(&error));
        QVERIFY(error.contains("not a private folder"));
        TempFolder::clean(); // must not follow the link
        QVERIFY(marker.exists());
        ::unlink(link.constData());

        QFile plain(QString::fromLocal8Bit(link));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        QVERIFY(!TempFolder::ensure());
        QVERIFY(plain.remove());
    }
};

VREX_TEST_MAIN(TestFrameWidgets, QApplication)
#include "tst_frame_widgets.moc"
