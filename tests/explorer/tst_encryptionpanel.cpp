#include "TestEnvironment.h"

#include "explorer/StatusTexts.h"
#include "widgets/StatusPanels.h"

#include <QApplication>
#include <QtTest>

class TestEncryptionPanel : public QObject {
    Q_OBJECT

private slots:
    void thePanelSaysWhetherTheConnectionIsEncrypted_data()
    {
        QTest::addColumn<bool>("connected");
        QTest::addColumn<QString>("protocol");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("toolTip");
        QTest::newRow("TLS") << true << "TLS 1.3"
                             << "Encrypted"
                             << "Encrypted with TLS 1.3";
        QTest::newRow("plain") << true << ""
                               << "Not encrypted"
                               << "Not encrypted";
        QTest::newRow("not connected") << false << ""
                                       << ""
                                       << "";
        // A protocol left from a connection that is gone says nothing.
        QTest::newRow("gone") << false << "TLS 1.2"
                              << ""
                              << "";
    }
    void thePanelSaysWhetherTheConnectionIsEncrypted()
    {
        QFETCH(bool, connected);
        QFETCH(QString, protocol);
        QFETCH(QString, text);
        QFETCH(QString, toolTip);
        StatusPanels bar;
        bar.addPanel(QStringLiteral("Status:"), 100);
        bar.addPanel(QString(), 100);
        // From the opposite state, so a panel left unchanged shows.
        StatusTexts::showEncryption(&bar, 1, !connected, QStringLiteral("TLS 1.3"));
        StatusTexts::showEncryption(&bar, 1, connected, protocol);
        QCOMPARE(bar.panelText(1), text);
        QCOMPARE(bar.panelToolTip(1), toolTip);
        QCOMPARE(bar.panelText(0), QStringLiteral("Status:"));
    }
};

VREX_TEST_MAIN(TestEncryptionPanel, QApplication)
#include "tst_encryptionpanel.moc"
