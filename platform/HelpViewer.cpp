#include "platform/HelpViewer.h"

#include <QCoreApplication>
#include <QFile>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeySequence>
#include <QPushButton>
#include <QShortcut>
#include <QTextBrowser>
#include <QTextCursor>
#include <QVBoxLayout>
#include <QWidget>

namespace {
const QString kStyleSheet = QStringLiteral(":/help/help.css");

QPushButton *navigationButton(QWidget *parent, const QString &objectName, const QString &text,
    const QString &iconName, const QKeySequence &key)
{
    auto *button = new QPushButton(QIcon::fromTheme(iconName), text, parent);
    button->setObjectName(objectName);
    button->setShortcut(key);
    button->setAutoDefault(false);
    button->setFocusPolicy(Qt::TabFocus);
    return button;
}

QString readStyleSheet()
{
    QFile file(kStyleSheet);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}
} // namespace

HelpViewer::~HelpViewer()
{
    delete helpWindow;
}

QUrl HelpViewer::contentsUrl()
{
    return QUrl(QStringLiteral("qrc:/help/index.html"));
}

void HelpViewer::showContents()
{
    if (!helpWindow)
        createWindow();
    textBrowser->setSource(contentsUrl());
    if (helpWindow->isMinimized())
        helpWindow->showNormal();
    else
        helpWindow->show();
    helpWindow->raise();
    helpWindow->activateWindow();
}

void HelpViewer::quit()
{
    if (helpWindow)
        helpWindow->close();
}

void HelpViewer::createWindow()
{
    // A top-level window of its own: help stays open beside the main window,
    // and, like any help viewer, does not keep the program running.
    helpWindow = new QWidget(nullptr, Qt::Window);
    helpWindow->setObjectName(QStringLiteral("HelpViewer"));
    helpWindow->setWindowTitle(QStringLiteral("Vrex Explorer Help"));
    helpWindow->setAttribute(Qt::WA_QuitOnClose, false);
    helpWindow->resize(640, 480);

    auto *back = navigationButton(helpWindow, QStringLiteral("HelpBack"), QStringLiteral("&Back"),
        QStringLiteral("go-previous"), QKeySequence::Back);
    auto *forward = navigationButton(helpWindow, QStringLiteral("HelpForward"),
        QStringLiteral("&Forward"), QStringLiteral("go-next"), QKeySequence::Forward);
    auto *contents
        = navigationButton(helpWindow, QStringLiteral("HelpContents"), QStringLiteral("&Contents"),
            QStringLiteral("go-home"), QKeySequence(Qt::ALT | Qt::Key_Home));
    back->setEnabled(false);
    forward->setEnabled(false);

    textBrowser = new QTextBrowser(helpWindow);
    textBrowser->setObjectName(QStringLiteral("HelpBrowser"));
    textBrowser->setOpenExternalLinks(true);
    textBrowser->document()->setDefaultStyleSheet(readStyleSheet());

    QObject::connect(back, &QPushButton::clicked, textBrowser, &QTextBrowser::backward);
    QObject::connect(forward, &QPushButton::clicked, textBrowser, &QTextBrowser::forward);
    QObject::connect(contents, &QPushButton::clicked, textBrowser,
        [this] { textBrowser->setSource(contentsUrl()); });
    // The pages are compiled in; the contents page names the running version.
    QObject::connect(textBrowser, &QTextBrowser::sourceChanged, textBrowser, [this] {
        QTextCursor marker = textBrowser->document()->find(QStringLiteral("@VERSION@"));
        if (!marker.isNull())
            marker.insertText(QCoreApplication::applicationVersion());
    });
    QObject::connect(textBrowser, &QTextBrowser::backwardAvailable, back, &QWidget::setEnabled);
    QObject::connect(textBrowser, &QTextBrowser::forwardAvailable, forward, &QWidget::setEnabled);

    for (const QKeySequence &key :
        { QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W) })
        QObject::connect(
            new QShortcut(key, helpWindow), &QShortcut::activated, helpWindow, &QWidget::close);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(back);
    buttons->addWidget(forward);
    buttons->addWidget(contents);
    buttons->addStretch();
    auto *layout = new QVBoxLayout(helpWindow);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addLayout(buttons);
    layout->addWidget(textBrowser);
}
