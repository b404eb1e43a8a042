// The help names commands and fields as the program shows them. The captions
// come from the live window, so a caption changed in the program and not in
// the help (or the other way round) fails here.

#include "MainWindowTest.h"
#include "ScriptedPrompts.h"

#include "app/MainLayout.h"
#include "app/TForm1.h"

#include <QAbstractButton>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTabBar>
#include <QTextDocumentFragment>
#include <QToolButton>
#include <QtTest>

namespace {

// The help as a reader sees it: entities decoded, on single spaces.
QString helpText()
{
    QString text;
    const QDir folder(QStringLiteral(":/help"));
    for (const QString &page : folder.entryList({ QStringLiteral("*.html") }, QDir::Files)) {
        QFile file(folder.filePath(page));
        if (file.open(QIODevice::ReadOnly))
            text += QTextDocumentFragment::fromHtml(QString::fromUtf8(file.readAll())).toPlainText()
                + QLatin1Char('\n');
    }
    return text.simplified();
}

// "&Download..." as the menu shows it: "Download..."; "&&" is one "&".
QString shown(const QString &caption)
{
    QString out;
    for (int i = 0; i < caption.size(); ++i) {
        if (caption[i] == QLatin1Char('&') && i + 1 < caption.size())
            ++i;
        out += caption[i];
    }
    return out.simplified();
}

void addMenu(const QMenu *menu, QStringList &captions)
{
    for (const QAction *action : menu->actions()) {
        if (action->isSeparator() || !action->isVisible())
            continue;
        captions << shown(action->text());
        if (action->menu())
            addMenu(action->menu(), captions);
    }
}

// Every caption a person can meet in the window and its dialogs.
QStringList liveCaptions(TForm1 &form)
{
    QStringList captions;
    const MainLayout &ui = form.controls();
    for (const QAction *top : form.menuBar()->actions()) {
        captions << shown(top->text());
        addMenu(top->menu(), captions);
    }
    for (const QMenu *popup : { ui.PopupMenu1, ui.PopupMenu2, ui.PopupMenu3, ui.PopupMenu4 })
        addMenu(popup, captions);
    for (const QToolButton *button : form.findChildren<QToolButton *>()) {
        if (!button->toolTip().isEmpty())
            captions << button->toolTip();
    }
    for (int i = 0; i < ui.TabSet1->count(); ++i)
        captions << shown(ui.TabSet1->tabText(i));
    for (const QDialog *dialog : form.dialogs()) {
        captions << dialog->windowTitle();
        // A field's caption runs to its colon; an example may follow it.
        for (const QLabel *label : dialog->findChildren<QLabel *>()) {
            const int colon = int(label->text().indexOf(QLatin1Char(':')));
            if (colon > 0)
                captions << shown(label->text().left(colon + 1));
        }
        for (const QAbstractButton *choice : dialog->findChildren<QAbstractButton *>()) {
            if (choice->isCheckable())
                captions << shown(choice->text());
        }
    }
    captions.removeAll(QString());
    captions.removeDuplicates();
    return captions;
}

} // namespace

class TestHelpCaptions : public QObject {
    Q_OBJECT

private slots:
    void helpUsesEveryCaptionOfTheWindowAndItsDialogs()
    {
        ScriptedPrompts prompts;
        std::unique_ptr<TForm1> form = openMainWindow();
        const QStringList captions = liveCaptions(*form);
        QVERIFY2(captions.size() > 50, qPrintable(captions.join(QStringLiteral(" | "))));
        const QString help = helpText();
        QStringList missing;
        for (const QString &caption : captions) {
            if (!help.contains(caption))
                missing << caption;
        }
        form->FormClose();
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QStringLiteral(" | "))));
    }
};

VREX_WINDOW_TEST_MAIN(TestHelpCaptions)

#include "tst_helpcaptions.moc"
