#include "app/TAboutBox.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QVBoxLayout>

namespace {
QIcon programIcon()
{
    const QString own = QStringLiteral(":/icons/vrex.svg");
    return QFile::exists(own) ? QIcon(own) : QApplication::windowIcon();
}

QLabel *textLabel(const QString &objectName, const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(objectName);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}
} // namespace

TAboutBox::TAboutBox(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("About Vrex Explorer"));
    setModal(true);

    auto *icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("AboutIcon"));
    icon->setPixmap(programIcon().pixmap(64, 64));
    icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    auto *name = textLabel(QStringLiteral("AboutName"), QStringLiteral("Vrex Explorer"), this);
    QFont nameFont = name->font();
    nameFont.setPointSizeF(nameFont.pointSizeF() * 1.6);
    nameFont.setBold(true);
    name->setFont(nameFont);
    versionLabel = textLabel(QStringLiteral("AboutVersion"), QString(), this);
    auto *description = textLabel(QStringLiteral("AboutDescription"),
        QStringLiteral(
            "An FTP client that shows remote sites the way a file manager shows folders."),
        this);
    description->setWordWrap(true);
    auto *copyright = textLabel(
        QStringLiteral("AboutCopyright"), QStringLiteral("Copyright \u00A9 2026 Orvane"), this);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto *texts = new QVBoxLayout;
    texts->addWidget(name);
    texts->addWidget(versionLabel);
    texts->addSpacing(8);
    texts->addWidget(description);
    texts->addSpacing(8);
    texts->addWidget(copyright);
    texts->addStretch();
    auto *top = new QHBoxLayout;
    top->addWidget(icon);
    top->addSpacing(12);
    top->addLayout(texts, 1);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 12);
    layout->addLayout(top);
    layout->addWidget(buttons);

    updateVersion();
    description->setMinimumWidth(300);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TAboutBox::showEvent(QShowEvent *event)
{
    // The version may be set after the box was created at start-up.
    updateVersion();
    QDialog::showEvent(event);
}

void TAboutBox::updateVersion()
{
    const QString version = QCoreApplication::applicationVersion();
    versionLabel->setText(
        version.isEmpty() ? QString() : QStringLiteral("Version %1").arg(version));
}
