#include "transfers/TFormNewer.h"

#include "platform/Prompts.h"
#include "platform/UserFolders.h"
#include "storage/TRegFile.h"
#include "storage/TaggedValue.h"
#include "widgets/DialogParts.h"

#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace {

const QString kNewerDir = QStringLiteral("NewerDir");

} // namespace

using DialogParts::named;

TFormNewer::TFormNewer(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FormNewer"));
    setWindowTitle(tr("Download if Newer"));
    setModal(true);
    RadioNewer
        = named(new QRadioButton(tr("Download all files into one directory:")), "RadioNewer");
    EditDir = named(new QLineEdit, "EditDir");
    EditDir->setReadOnly(true);
    EditDir->setEnabled(false);
    EditDir->setMinimumWidth(260);
    ButtonBrowse = named(new QPushButton(tr("&Browse...")), "ButtonBrowse");
    RadioSeparate
        = named(new QRadioButton(tr("Name and save each file separately.")), "RadioSeparate");
    ButtonOK = named(new QPushButton(tr("OK")), "ButtonOK");
    ButtonCancel = named(new QPushButton(tr("Cancel")), "ButtonCancel");
    ButtonOK->setDefault(true);

    auto *grid = new QGridLayout(this);
    grid->addWidget(RadioNewer, 0, 0, 1, 2);
    grid->addWidget(EditDir, 1, 0);
    grid->addWidget(ButtonBrowse, 1, 1);
    grid->addWidget(RadioSeparate, 2, 0, 1, 2);
    grid->addLayout(DialogParts::buttonRow(ButtonOK, ButtonCancel), 3, 0, 1, 2);
    layout()->setSizeConstraint(QLayout::SetFixedSize); // a fixed dialog border

    connect(RadioNewer, &QRadioButton::clicked, this, &TFormNewer::RadioNewerClick);
    connect(RadioSeparate, &QRadioButton::clicked, this, &TFormNewer::RadioSeparateClick);
    connect(ButtonBrowse, &QPushButton::clicked, this, &TFormNewer::ButtonBrowseClick);
    connect(ButtonOK, &QPushButton::clicked, this, &TFormNewer::ButtonOKClick);
    connect(ButtonCancel, &QPushButton::clicked, this, &TFormNewer::ButtonCancelClick);
}

QString TFormNewer::folder() const
{
    return EditDir->text();
}

void TFormNewer::showEvent(QShowEvent *event)
{
    FormShow();
    QDialog::showEvent(event);
}

void TFormNewer::FormShow()
{
    RadioNewer->setChecked(true);
    ButtonBrowse->setEnabled(true);
    TaggedValue dir;
    if (reg)
        reg->ReadValueDef(kNewerDir, TaggedValue(QString()), dir);
    EditDir->setText(dir.toString().isEmpty() ? UserFolders::downloads() : dir.toString());
    RadioNewer->setFocus();
    oneFolderFlag = false;
}

void TFormNewer::RadioNewerClick()
{
    ButtonBrowse->setEnabled(!RadioSeparate->isChecked());
}

void TFormNewer::RadioSeparateClick()
{
    ButtonBrowse->setEnabled(!RadioSeparate->isChecked());
}

void TFormNewer::ButtonBrowseClick()
{
    const QString chosen
        = Prompts::current().browseFolder(tr("Download if Newer to:"), EditDir->text());
    if (!chosen.isEmpty())
        EditDir->setText(chosen);
    if (reg)
        reg->WriteValue(kNewerDir, TaggedValue(EditDir->text()));
}

void TFormNewer::ButtonOKClick()
{
    oneFolderFlag = !RadioSeparate->isChecked();
    // Files are fetched into it unattended, later: a folder others can write
    // would let them put a link where a file is to land.
    if (oneFolderFlag && !UserFolders::onlyUserCanWrite(EditDir->text())) {
        Prompts::error(QDir(EditDir->text()).exists()
                ? tr("Other users can write to the folder \"%1\". Please choose a folder "
                     "of your own.")
                      .arg(EditDir->text())
                : tr("The folder \"%1\" does not exist.").arg(EditDir->text()));
        return;
    }
    accept();
}

void TFormNewer::ButtonCancelClick()
{
    reject();
}
