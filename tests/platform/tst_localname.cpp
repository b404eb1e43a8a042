// Names from a server as local file names: control characters and text
// reordering marks replaced, everything else kept.
#include "TestEnvironment.h"
#include "platform/LocalName.h"

#include <QtTest>

class TestLocalName : public QObject {
    Q_OBJECT

private slots:
    void controlCharactersAreReplaced_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("local");
        const QString kept = QString::fromUtf8("r\xc3\xa9sum\xc3\xa9 \xf0\x9f\x98\x80 [1].txt");
        QTest::newRow("accents, emoji, blanks kept") << kept << kept;
        QTest::newRow("tab, escape, bell") << QString("a\tb\x1b[31mc\x07.txt") << "a_b_[31mc_.txt";
        QTest::newRow("DEL and C1") << QString("x\x7fy") + QChar(0x85) + "z"
                                    << "x_y_z";
        QTest::newRow("right-to-left override") << QString("invoice") + QChar(0x202E) + "fdp.exe"
                                                << "invoice_fdp.exe";
    }

    void controlCharactersAreReplaced()
    {
        QFETCH(QString, server);
        QFETCH(QString, local);
        QCOMPARE(LocalName::fromServerName(server), local);
    }
};

VREX_TEST_MAIN(TestLocalName, QCoreApplication)
#include "tst_localname.moc"
