#include "TestEnvironment.h"
#include "app/TAboutBox.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

namespace {
QString labelText(const TAboutBox &box, const char *name)
{
    auto *label = box.findChild<QLabel *>(QString::fromLatin1(name));
    return label ? label->text() : QStringLiteral("<missing %1>").arg(QLatin1String(name));
}
} // namespace

class TestAboutBox : public QObject {
    Q_OBJECT
private slots:
    void showsNameVersionAndCopyright()
    {
        QCoreApplication::setApplicationVersion(QStringLiteral("1.2.3"));
        TAboutBox box;
        QCOMPARE(box.objectName(), QStringLiteral("AboutBox"));
        QCOMPARE(box.windowTitle(), QStringLiteral("About Vrex Explorer"));
        QVERIFY(box.isModal());
        QCOMPARE(labelText(box, "AboutName"), QStringLiteral("Vrex Explorer"));
        QVERIFY(labelText(box, "AboutVersion").contains(QStringLiteral("1.2.3")));
        QCOMPARE(labelText(box, "AboutCopyright"), QStringLiteral("Copyright \u00A9 2026 Orvane"));
        QVERIFY(!labelText(box, "AboutDescription").isEmpty());
    }

    void showsTheProgramIcon()
    {
        TAboutBox box;
        auto *icon = box.findChild<QLabel *>(QStringLiteral("AboutIcon"));
        QVERIFY(icon);
        QVERIFY(!icon->pixmap().isNull());
    }

    // The box is built at start-up, possibly before the version is known.
    void versionSetAfterCreationShowsWhenShown()
    {
        QCoreApplication::setApplicationVersion(QString());
        TAboutBox box;
        QCoreApplication::setApplicationVersion(QStringLiteral("4.5"));
        box.show();
        QVERIFY(labelText(box, "AboutVersion").contains(QStringLiteral("4.5")));
        box.hide();
    }

    void okClosesTheModalBoxAccepted()
    {
        TAboutBox box;
        QTimer::singleShot(0, &box,
            [&box] { box.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click(); });
        QCOMPARE(box.exec(), int(QDialog::Accepted));
        QVERIFY(!box.isVisible());
    }

    void canBeShownAgainAfterClosing()
    {
        TAboutBox box;
        for (int i = 0; i < 2; ++i) {
            QTimer::singleShot(0, &box, [&box] { box.accept(); });
            QCOMPARE(box.exec(), int(QDialog::Accepted));
        }
    }
};

VREX_TEST_MAIN(TestAboutBox, QApplication)
#include "tst_aboutbox.moc"
