#include "TestEnvironment.h"

#include "platform/QtPrompts.h"

#include <QAbstractButton>
#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <functional>

namespace {

// Runs `act` on the box once it is up, then returns what choose answered.
int chooseWhile(const std::function<void(QMessageBox *)> &act, int defaultIndex)
{
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            poll.stop();
            act(box);
        }
    });
    poll.start();
    QtPrompts prompts;
    return prompts.choose(QStringLiteral("Vrex Explorer"), QStringLiteral("First\rSecond"),
        { QStringLiteral("Trust always"), QStringLiteral("Trust once"), QStringLiteral("Cancel") },
        defaultIndex, Prompts::Icon::Warning);
}

QStringList buttonTexts(QMessageBox *box)
{
    QStringList texts;
    for (QAbstractButton *b : box->buttons())
        texts << b->text();
    return texts;
}

} // namespace

class TestQtPrompts : public QObject {
    Q_OBJECT

private slots:
    void aChoiceShowsTheButtonsAndEscapeChoosesTheLast()
    {
        QString shownText;
        QStringList shownButtons;
        QString defaultText;
        const int escaped = chooseWhile(
            [&](QMessageBox *box) {
                shownText = box->text();
                shownButtons = buttonTexts(box);
                defaultText = box->defaultButton()->text();
                QCOMPARE(box->windowTitle(), QStringLiteral("Vrex Explorer"));
                QCOMPARE(box->icon(), QMessageBox::Warning);
                QTest::keyClick(box, Qt::Key_Escape);
            },
            2);
        QCOMPARE(escaped, 2);
        QCOMPARE(shownText, QStringLiteral("First\nSecond"));
        QCOMPARE(shownButtons, QStringList({ "Trust always", "Trust once", "Cancel" }));
        QCOMPARE(defaultText, QStringLiteral("Cancel"));

        const int entered
            = chooseWhile([](QMessageBox *box) { QTest::keyClick(box, Qt::Key_Return); }, 1);
        QCOMPARE(entered, 1);
        const int clicked
            = chooseWhile([](QMessageBox *box) { box->buttons().first()->click(); }, 2);
        QCOMPARE(clicked, 0);
    }
};

VREX_TEST_MAIN(TestQtPrompts, QApplication)
#include "tst_qtprompts.moc"
