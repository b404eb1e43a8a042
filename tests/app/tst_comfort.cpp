// What a desktop user expects of the window beyond its commands: it keeps
// its arrangement between runs, cuts no text without a way to read it, shows
// its sort, never clips its frame, knows the usual keys and says what to do
// with an empty site book or a missing browser.

#include "MainWindowTest.h"
#include "PrivateFtpServer.h"
#include "ScriptedPrompts.h"

#include "app/MainMenu.h"
#include "app/ToolBarPanel.h"
#include "explorer/SiteTree.h"
#include "explorer/SiteTreeCommands.h"
#include "platform/HelpViewer.h"
#include "platform/UrlOpener.h"
#include "storage/SiteBook.h"
#include "storage/TRegFile.h"
#include "widgets/StatusPanels.h"
#include "widgets/TListView.h"
#include "widgets/TwoWaySplitter.h"

#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QScrollBar>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QTabBar>
#include <QToolButton>
#include <QToolTip>
#include <QTreeView>
#include <QTreeWidget>

namespace {

const QString kHint = QStringLiteral("No FTP sites yet. Choose Site, New Site\u2026 to add one.");

void writeSetting(const QString &name, const QString &value)
{
    TRegFile reg;
    reg.setKey(QStringLiteral("SOFTWARE\\Orvane\\Vrex Explorer"));
    reg.WriteValue(name, TaggedValue(value));
}

void writeSiteBook(const QStringList &descriptions, const QString &host)
{
    SiteBook book;
    QFile::remove(book.filePath());
    for (const QString &d : descriptions) {
        TSiteRecord site;
        site.FTPSite = host;
        site.Description = d;
        site.Directory = QStringLiteral("/");
        book.InsertSite(site);
    }
    if (!descriptions.isEmpty())
        book.SaveSiteBook();
}

void clickSection(QHeaderView *header, int section)
{
    const QPoint at(header->sectionViewportPosition(section) + header->sectionSize(section) / 2,
        header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
}

QString toolTipAt(QAbstractItemView *view, const QModelIndex &index)
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->inherits("QTipLabel"))
            w->hide();
    const QPoint at = view->visualRect(index).center();
    QHelpEvent event(QEvent::ToolTip, at, view->viewport()->mapToGlobal(at));
    QCoreApplication::sendEvent(view->viewport(), &event);
    return QToolTip::isVisible() ? QToolTip::text() : QString();
}

// Only when asked for: VREX_SCREENSHOTS=1 puts the renderings in /tmp.
void render(QWidget *window, const char *name)
{
    if (qEnvironmentVariableIsSet("VREX_SCREENSHOTS"))
        window->grab().save(QStringLiteral("/tmp/comfort-%1.png").arg(QLatin1String(name)));
}

} // namespace

class TestComfort : public QObject {
    Q_OBJECT

    std::unique_ptr<TForm1> form;
    std::unique_ptr<ScriptedPrompts> prompts;
    PrivateFtpServer server;

    MainLayout &ui() { return form->controls(); }
    QHeaderView *fileHeader() { return ui().ListView1->detailsView()->header(); }
    bool idle() { return !form->listing().isBusy(); }

    void restart()
    {
        form->FormClose();
        form.reset();
        form = openMainWindow();
    }

private slots:
    void initTestCase() { QVERIFY2(server.start(), "server did not start"); }

    void init()
    {
        QFile::remove(TRegFile::settingsFilePath());
        writeSiteBook({}, QString());
        prompts = std::make_unique<ScriptedPrompts>();
    }

    void cleanup()
    {
        if (form) {
            form->FormClose();
            form.reset();
        }
        UrlOpener::install(nullptr);
        prompts.reset();
    }

    void aRestartRestoresGeometrySplittersColumnsSortAndViews()
    {
        form = openMainWindow();
        form->setGeometry(40, 50, 800, 520);
        ui().TwoWaySplitter1->setPosition(45);
        ui().PanelExplorerTools->splitter()->setPosition(50);
        const QList<int> files { 210, 95, 80, 140 };
        QVERIFY(ui().ListView1->setColumnWidths(files));
        ui().ListView2->detailsView()->setColumnWidth(0, 260);
        ui().ListView3->detailsView()->setColumnWidth(9, 400);
        clickSection(fileHeader(), 1);
        clickSection(fileHeader(), 1);
        ui().menu->List1->trigger();
        ui().TabSet1->setCurrentIndex(2);
        ui().menu->SmallIcons1->trigger();
        ui().TabSet1->setCurrentIndex(0);
        const QRect geometry = form->geometry();
        render(form.get(), "before-restart");

        restart();
        QTRY_COMPARE(form->geometry(), geometry);
        QCOMPARE(ui().TwoWaySplitter1->position(), 45);
        QCOMPARE(ui().PanelExplorerTools->splitter()->position(), 50);
        QCOMPARE(ui().PanelTools->splitter()->position(), 50);
        QCOMPARE(ui().ListView1->columnWidths(), files);
        QCOMPARE(ui().ListView2->columnWidth(0), 260);
        QCOMPARE(ui().ListView3->columnWidth(9), 400);
        QCOMPARE(form->listing().sortColumn(), 1);
        QVERIFY(!form->listing().sortAscending());
        QCOMPARE(fileHeader()->sortIndicatorSection(), 1);
        QCOMPARE(fileHeader()->sortIndicatorOrder(), Qt::DescendingOrder);
        QCOMPARE(ui().ListView1->viewStyle(), TViewStyle::vsList);
        QVERIFY(ui().menu->List1->isChecked());
        QCOMPARE(ui().ListView2->viewStyle(), TViewStyle::vsReport);
        QCOMPARE(ui().ListView3->viewStyle(), TViewStyle::vsSmallIcon);
        render(form.get(), "after-restart");

        // Maximised comes back maximised, and un-maximising gives the size
        // it had before.
        form->showMaximized();
        QTRY_VERIFY(form->isMaximized());
        restart();
        QTRY_VERIFY(form->isMaximized());
        render(form.get(), "maximised");
        form->showNormal();
        QTRY_COMPARE(form->geometry(), geometry);
    }

    void aDamagedStoreStartsWithTheDefaults_data()
    {
        QTest::addColumn<bool>("wholeFile");
        QTest::newRow("values of the wrong shape") << false;
        QTest::newRow("settings file of garbage") << true;
    }

    void aDamagedStoreStartsWithTheDefaults()
    {
        QFETCH(bool, wholeFile);
        if (wholeFile) {
            QFile file(TRegFile::settingsFilePath());
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QByteArray(300, '\x5a'));
        } else {
            const char *names[]
                = { "Geometry", "Splitter", "ToolBarSplitter", "Columns1", "Columns2", "Columns3",
                      "ViewStyle1", "ViewStyle2", "ViewStyle3", "SortColumn", "SortAscending" };
            const char *values[] = { "%%not base64%%", "250", "-3", "150,abc,100,125", "", "1,2",
                "7", "x", "-1", "9", "2" };
            for (size_t i = 0; i < std::size(names); ++i)
                writeSetting(
                    QStringLiteral("Window\\") + QLatin1String(names[i]), QLatin1String(values[i]));
        }
        form = openMainWindow();
        QCOMPARE(form->size(), QSize(720, 425));
        QCOMPARE(ui().TwoWaySplitter1->position(), 35);
        QCOMPARE(ui().PanelExplorerTools->splitter()->position(), 40);
        QCOMPARE(ui().ListView1->columnWidth(0), 150);
        QVERIFY(ui().ListView1->columnWidth(1) >= 75);
        QCOMPARE(ui().ListView1->columnWidth(2), 100);
        QCOMPARE(ui().ListView1->columnWidth(3), 125);
        QCOMPARE(ui().ListView2->columnWidth(0), 200);
        QCOMPARE(form->listing().sortColumn(), 0);
        QVERIFY(form->listing().sortAscending());
        for (TListView *list : { ui().ListView1, ui().ListView2, ui().ListView3 })
            QCOMPARE(list->viewStyle(), TViewStyle::vsReport);
    }

    void cutTextsHaveATooltipAndTheHeaderEdgeFitsTheColumn()
    {
        form = openMainWindow();
        TListView *watches = ui().ListView2;
        const QString longName
            = QStringLiteral("a-very-long-file-name-that-no-column-shows.tar.gz");
        watches->model()->appendRow(new QStandardItem(longName));
        watches->model()->appendRow(new QStandardItem(QStringLiteral("short.txt")));
        ui().TabSet1->setCurrentIndex(1);
        QTreeView *view = watches->detailsView();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QStandardItemModel *model = watches->model();
        QCOMPARE(toolTipAt(view, model->index(0, 0)), longName);
        QCOMPARE(toolTipAt(view, model->index(1, 0)), QString());

        // Double-clicking the edge after "Name" fits the column to its texts.
        QHeaderView *header = view->header();
        const QPoint edge(
            header->sectionViewportPosition(0) + header->sectionSize(0) - 1, header->height() / 2);
        QTest::mouseDClick(header->viewport(), Qt::LeftButton, {}, edge);
        QTRY_VERIFY(header->sectionSize(0) > 200);
        QCOMPARE(toolTipAt(view, model->index(0, 0)), QString());

        // The largest sizes a list shows fit its Size column.
        const QFontMetrics metrics(ui().ListView1->detailsView()->font());
        const int needed = metrics.horizontalAdvance(QStringLiteral("5,000,000,000"));
        QVERIFY(ui().ListView1->columnWidth(1) > needed);
        QVERIFY(ui().ListView2->columnWidth(2) > needed);
        QVERIFY(ui().ListView3->columnWidth(2) > needed);
    }

    void theSortIndicatorFollowsHeaderClicks()
    {
        form = openMainWindow();
        QHeaderView *header = fileHeader();
        QVERIFY(header->isSortIndicatorShown());
        QCOMPARE(header->sortIndicatorSection(), 0);
        QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
        const struct {
            int click;
            Qt::SortOrder order;
        } steps[] = { { 1, Qt::AscendingOrder }, { 1, Qt::DescendingOrder },
            { 2, Qt::AscendingOrder }, { 2, Qt::DescendingOrder }, { 0, Qt::AscendingOrder } };
        for (const auto &step : steps) {
            clickSection(header, step.click);
            QCOMPARE(form->listing().sortColumn(), step.click);
            QCOMPARE(header->sortIndicatorSection(), step.click);
            QCOMPARE(header->sortIndicatorOrder(), step.order);
            QCOMPARE(form->listing().sortAscending(), step.order == Qt::AscendingOrder);
        }
    }

    void keysOpenRowsGoUpAndCloseTheHelp()
    {
        writeSiteBook({ QStringLiteral("Keys") }, server.host());
        form = openMainWindow();
        SiteTree &tree = form->tree();
        QTRY_VERIFY_WITH_TIMEOUT(
            idle() && tree.current() && tree.current()->text(0) == "Keys", 20000);
        QTRY_VERIFY(form->listing().rowCount() > 0 && ui().ListView1->rowCount() > 0);
        QTreeWidgetItem *site = tree.current();

        // Enter on the folder row "pub" opens it.
        int pub = -1;
        QAbstractItemModel *rows = ui().ListView1->shownModel();
        for (int r = 0; r < rows->rowCount(); ++r)
            if (rows->index(r, 0).data().toString() == QLatin1String("pub"))
                pub = r;
        QVERIFY(pub >= 0);
        QTreeView *files = ui().ListView1->detailsView();
        files->setFocus();
        files->selectionModel()->setCurrentIndex(
            rows->index(pub, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        QTest::keyClick(files, Qt::Key_Return);
        QTRY_VERIFY_WITH_TIMEOUT(
            idle() && tree.current() && tree.current()->text(0) == "pub", 20000);
        QCOMPARE(tree.current()->parent(), site);

        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        QTest::keyClick(form.get(), Qt::Key_Backspace);
        QTRY_VERIFY_WITH_TIMEOUT(idle() && tree.current() == site, 20000);
        QTest::keyClick(form.get(), Qt::Key_Up, Qt::AltModifier);
        QTRY_VERIFY(idle() && tree.current() == form->root());
        QCOMPARE(
            ui().ListView1->shownModel()->index(0, 0).data().toString(), QStringLiteral("Keys"));

        for (QKeySequence key :
            { QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W) }) {
            ui().menu->Contents1->trigger();
            QWidget *help = form->help()->window();
            QVERIFY(QTest::qWaitForWindowActive(help));
            QTest::keySequence(help, key);
            QTRY_VERIFY(!help->isVisible());
        }
    }

    void anEmptySiteBookShowsWhatToDoInTheList()
    {
        form = openMainWindow();
        TListView *files = ui().ListView1;
        QCOMPARE(files->placeholderText(), kHint);
        QCOMPARE(files->rowCount(), 0);
        const QImage shown = files->detailsView()->viewport()->grab().toImage();
        files->setPlaceholderText(QString());
        const QImage blank = files->detailsView()->viewport()->grab().toImage();
        QVERIFY(shown != blank);
        files->setPlaceholderText(kHint);

        // With a site, the hint is gone.
        writeSiteBook({ QStringLiteral("First") }, server.host());
        form->treeCommands().RefreshAll1Click();
        QTRY_VERIFY_WITH_TIMEOUT(idle() && form->tree().current(), 20000);
        QCOMPARE(files->placeholderText(), QString());
    }

    void theMinimumSizeShowsTheWholeFrameAndTheDefaultShowsWholeSiteNames()
    {
        const QString name = QStringLiteral("Demo server (this computer)");
        writeSiteBook({ name }, QStringLiteral("127.0.0.1:1"));
        form = openMainWindow();
        QTRY_VERIFY_WITH_TIMEOUT(idle(), 20000);
        QTreeWidget *tree = ui().TreeView1;
        QTreeWidgetItem *site = form->root()->child(0);
        // As wide as it gets: the open site's name is bold.
        QFont bold = site->font(0);
        bold.setBold(true);
        site->setFont(0, bold);
        tree->setCurrentItem(site);
        QTRY_VERIFY2(tree->visualItemRect(site).right() < tree->viewport()->width(),
            qPrintable(QStringLiteral("%1 of %2")
                           .arg(tree->visualItemRect(site).right())
                           .arg(tree->viewport()->width())));
        QCOMPARE(tree->horizontalScrollBar()->maximum(), 0);
        render(form.get(), "default");

        form->resize(form->minimumSize());
        QTRY_COMPARE(form->size(), form->minimumSize());
        QVERIFY(form->minimumWidth() < 720 && form->minimumHeight() < 425);
        auto rightEdge
            = [this](QWidget *w) { return w->mapTo(form.get(), w->rect().topRight()).x(); };
        ToolBarPanel *bar = ui().PanelExplorerTools;
        QVERIFY(rightEdge(bar->button(ToolBarPanel::Details)) < rightEdge(bar));
        QTabBar *tabs = ui().TabSet1;
        QVERIFY(tabs->tabRect(2).right() < tabs->width());
        const int widths[] = { 200, 110, 145, 100, 120 };
        for (int i = 0; i < 5; ++i) {
            auto *panel
                = ui().StatusBar1->findChild<QLabel *>(QStringLiteral("StatusBar1Panel%1").arg(i));
            QVERIFY(panel);
            // Each panel fits its texts; none is cut off by the window's edge.
            QVERIFY2(panel->width() >= widths[i]
                    || panel->contentsRect().width()
                        >= panel->fontMetrics().horizontalAdvance(panel->text()),
                qPrintable(QString::number(i)));
            QVERIFY(rightEdge(panel) < form->width());
        }
        render(form.get(), "minimum");
    }

    void theWebItemsSayWhenNoBrowserOpens()
    {
        form = openMainWindow();
        QList<QUrl> asked;
        bool browser = false;
        UrlOpener::install([&](const QUrl &url) {
            asked << url;
            return browser;
        });
        for (QAction *item : { ui().menu->WebTour1, ui().menu->HomePage1 }) {
            prompts->clear();
            browser = false;
            item->trigger();
            QCOMPARE(prompts->asked.size(), 1);
            QCOMPARE(prompts->asked[0].title, QStringLiteral("Vrex Explorer"));
            QCOMPARE(prompts->asked[0].icon, Prompts::Icon::Error);
            QVERIFY2(prompts->asked[0].text.contains(asked.last().toString()),
                qPrintable(prompts->asked[0].text));
            QVERIFY(asked.last().host().endsWith(QLatin1String("orvane.example")));
            browser = true;
            item->trigger();
            QCOMPARE(prompts->asked.size(), 1);
        }
    }
};

VREX_WINDOW_TEST_MAIN(TestComfort)
#include "tst_comfort.moc"
