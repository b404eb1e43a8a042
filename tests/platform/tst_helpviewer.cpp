#include "TestEnvironment.h"
#include "platform/HelpViewer.h"

#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QRegularExpression>
#include <QTextBrowser>
#include <QtTest>

namespace {
QStringList helpPages()
{
    return QDir(QStringLiteral(":/help")).entryList({ QStringLiteral("*.html") }, QDir::Files);
}

QString readPage(const QString &page)
{
    QFile file(QStringLiteral(":/help/") + page);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

QString allHelpText()
{
    QString text;
    for (const QString &page : helpPages())
        text += readPage(page);
    // Markup may break a caption across lines; compare on single spaces.
    return text.simplified();
}

QPushButton *button(const HelpViewer &help, const char *name)
{
    return help.window()->findChild<QPushButton *>(QString::fromLatin1(name));
}
} // namespace

class TestHelpViewer : public QObject {
    Q_OBJECT
private slots:
    void contentsOpenInANonModalWindow()
    {
        QCoreApplication::setApplicationVersion(QStringLiteral("9.8.7"));
        HelpViewer help;
        QVERIFY(!help.window());
        help.showContents();
        QWidget *window = help.window();
        QVERIFY(window);
        QVERIFY(window->isVisible());
        QVERIFY(!window->isModal());
        QVERIFY(window->isWindow());
        QCOMPARE(window->objectName(), QStringLiteral("HelpViewer"));
        QCOMPARE(window->windowTitle(), QStringLiteral("Vrex Explorer Help"));
        QCOMPARE(window->size(), QSize(640, 480));
        QCOMPARE(help.browser()->source(), HelpViewer::contentsUrl());
        QVERIFY(help.browser()->toPlainText().contains(QStringLiteral("Contents")));
        QVERIFY(help.browser()->toPlainText().contains(QStringLiteral("Version 9.8.7")));
    }

    void helpWindowDoesNotKeepTheProgramAlive()
    {
        HelpViewer help;
        help.showContents();
        QVERIFY(!help.window()->testAttribute(Qt::WA_QuitOnClose));
    }

    void showingAgainReusesTheWindowAtTheContentsPage()
    {
        HelpViewer help;
        help.showContents();
        QWidget *first = help.window();
        help.browser()->setSource(QUrl(QStringLiteral("qrc:/help/queue.html")));
        help.window()->showMinimized();
        help.showContents();
        QCOMPARE(help.window(), first);
        QVERIFY(!help.window()->isMinimized());
        QCOMPARE(help.browser()->source(), HelpViewer::contentsUrl());
    }

    void backForwardAndContentsNavigate()
    {
        HelpViewer help;
        help.showContents();
        QTextBrowser *browser = help.browser();
        QVERIFY(!button(help, "HelpBack")->isEnabled());
        const QUrl queue(QStringLiteral("qrc:/help/queue.html"));
        browser->setSource(queue);
        QVERIFY(button(help, "HelpBack")->isEnabled());
        button(help, "HelpBack")->click();
        QCOMPARE(browser->source(), HelpViewer::contentsUrl());
        QVERIFY(button(help, "HelpForward")->isEnabled());
        button(help, "HelpForward")->click();
        QCOMPARE(browser->source(), queue);
        button(help, "HelpContents")->click();
        QCOMPARE(browser->source(), HelpViewer::contentsUrl());
    }

    void quitClosesTheWindowAndHelpOpensAgain()
    {
        HelpViewer help;
        help.quit(); // before any help was shown: nothing to do
        help.showContents();
        help.quit();
        QVERIFY(!help.window()->isVisible());
        help.showContents();
        QVERIFY(help.window()->isVisible());
    }

    void everyLinkLeadsToAPageThatExists()
    {
        const QStringList pages = helpPages();
        QVERIFY(pages.size() >= 10);
        const QRegularExpression href(QStringLiteral("href=\"([^\"]+)\""));
        for (const QString &page : pages) {
            const QString html = readPage(page);
            for (auto it = href.globalMatch(html); it.hasNext();) {
                const QString target = it.next().captured(1);
                if (target.startsWith(QStringLiteral("http")))
                    continue;
                const QString file = target.section(QLatin1Char('#'), 0, 0);
                QVERIFY2(file.isEmpty() || pages.contains(file),
                    qPrintable(page + QStringLiteral(" links to missing ") + target));
            }
        }
    }

    void contentsPageReachesEveryPage()
    {
        const QString contents = readPage(QStringLiteral("index.html"));
        for (const QString &page : helpPages()) {
            if (page != QStringLiteral("index.html"))
                QVERIFY2(
                    contents.contains(QStringLiteral("href=\"%1\"").arg(page)), qPrintable(page));
        }
    }

    void everyPageHasATitleAndAWayBack()
    {
        for (const QString &page : helpPages()) {
            const QString html = readPage(page);
            QVERIFY2(html.contains(QRegularExpression(QStringLiteral("<title>[^<]+</title>"))),
                qPrintable(page));
            QVERIFY2(html.contains(QStringLiteral("<h1>")), qPrintable(page));
            if (page != QStringLiteral("index.html"))
                QVERIFY2(html.contains(QStringLiteral("href=\"index.html\"")), qPrintable(page));
        }
    }

    // A help text that quotes a message the program does not show is worse
    // than none. The captions of menus, buttons and dialogs are checked from
    // the live window (tests/app/tst_helpcaptions); these texts appear only
    // when something happens.
    void helpUsesTheProgramsOwnCaptionsAndMessages_data()
    {
        QTest::addColumn<QString>("text");
        const char *texts[] = { "My FTP Sites", "Up to Date", "Not Found", "Downloaded",
            "Invalid Login.", "The requested site could not be located.",
            "Unable to connect to site.", "Could not connect to a site to establish file transfer.",
            "The requested file cannot be found.", "The save file is invalid.", "Access denied.",
            "You cannot have two sites with the same description.", "Invalid Sites File.",
            "myFtpSites.dat", "myFtpSites.dat.rejected", "myFtpWatches.dat",
            "~/.local/share/Orvane/Vrex Explorer/", "~/.config/Orvane/Vrex Explorer/", "0600",
            "File transferred.", "File(s) have been added to the watch list." };
        for (const char *text : texts)
            QTest::newRow(text) << QString::fromUtf8(text);
    }

    void helpUsesTheProgramsOwnCaptionsAndMessages()
    {
        QFETCH(QString, text);
        static const QString all = allHelpText();
        QVERIFY2(all.contains(text), qPrintable(text));
    }

    // Each cause of a failed connect is explained under the message that the
    // program shows for it, and under no other.
    void troubleshootingNamesTheMessageEachConnectFailureShows_data()
    {
        QTest::addColumn<QString>("cause");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown host") << "name is not known"
                                      << "Unable to connect to site.";
        QTest::newRow("port refused") << "refuses connections on that port"
                                      << "Unable to connect to site.";
        QTest::newRow("server turned away") << "turned the login away"
                                            << "Unable to connect to site.";
        QTest::newRow("no answer") << "did not answer in time"
                                   << "The requested site could not be located.";
        QTest::newRow("login refused") << "refused the login or the password"
                                       << "Invalid Login.";
    }

    void troubleshootingNamesTheMessageEachConnectFailureShows()
    {
        QFETCH(QString, cause);
        QFETCH(QString, message);
        const QRegularExpression row(
            QStringLiteral("<tr><td class=\"msg\">([^<]*)</td><td>(.*?)</td></tr>"),
            QRegularExpression::DotMatchesEverythingOption);
        QStringList explainedUnder;
        const QString page = readPage(QStringLiteral("troubleshooting.html"));
        for (auto it = row.globalMatch(page); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            if (m.captured(2).simplified().contains(cause))
                explainedUnder << m.captured(1);
        }
        QCOMPARE(explainedUnder, QStringList { message });
    }

    void helpShowsNoMenuAccelerators()
    {
        // Captions are written as the menus show them: "Download...", never "&Download...".
        const QRegularExpression accelerator(QStringLiteral("&[A-Za-z]"));
        for (const QString &page : helpPages()) {
            QString html = readPage(page);
            html.remove(QRegularExpression(QStringLiteral("&[a-z]+;")));
            QVERIFY2(!html.contains(accelerator), qPrintable(page));
        }
    }
};

VREX_TEST_MAIN(TestHelpViewer, QApplication)
#include "tst_helpviewer.moc"
