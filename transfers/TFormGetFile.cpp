#include "transfers/TFormGetFile.h"

#include "platform/IconList.h"
#include "widgets/DialogParts.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <iterator>

namespace {

// The site, login and password fit the site book's fixed slots: the limit
// counts encoded bytes.
constexpr int kFieldBytes = 31;

QLineEdit *field(QWidget *parent, const char *name, bool limited)
{
    return DialogParts::lineField(parent, name, limited ? kFieldBytes : 0);
}

QLabel *label(QWidget *parent, const QString &text, QLineEdit *buddy)
{
    auto *l = new QLabel(text, parent);
    l->setBuddy(buddy);
    return l;
}

} // namespace

TFormGetFile::TFormGetFile(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("FormGetFile"));
    setWindowTitle(tr("Download File from FTP Site:"));
    setModal(true);
    buildFields();
    resize(440, 320);
}

void TFormGetFile::buildFields()
{
    EditFile = field(this, "EditFile", false);
    EditFTP = field(this, "EditFTP", true);
    EditLogin = field(this, "EditLogin", true);
    EditPswd = field(this, "EditPswd", true);
    CheckAnon = new QCheckBox(tr("&Anonymous Login (default for most sites)"), this);
    CheckAnon->setObjectName(QStringLiteral("CheckAnon"));
    CheckAnon->setChecked(true);
    LabelLogin = label(this, tr("&Login:"), EditLogin);
    LabelLogin->setObjectName(QStringLiteral("LabelLogin"));
    LabelPswd = label(this, tr("&Password:"), EditPswd);
    LabelPswd->setObjectName(QStringLiteral("LabelPswd"));
    enableCredentials(false);
    ButtonOK = new QPushButton(tr("OK"), this);
    ButtonOK->setObjectName(QStringLiteral("ButtonOK"));
    ButtonOK->setDefault(true);
    ButtonOK->setEnabled(false);
    ButtonCancel = new QPushButton(tr("Cancel"), this);
    ButtonCancel->setObjectName(QStringLiteral("ButtonCancel"));

    auto *picture = DialogParts::pictureBox(
        this, IconList::instance().icon(IconList::instance().siteIndex()).pixmap(64, 64));
    picture->setObjectName(QStringLiteral("PanelPicture"));
    layOut(picture);

    connect(EditFile, &QLineEdit::textChanged, this, &TFormGetFile::EditFileChange);
    connect(EditFTP, &QLineEdit::textChanged, this, &TFormGetFile::EditFileChange);
    connect(CheckAnon, &QCheckBox::clicked, this, &TFormGetFile::CheckAnonClick);
    connect(ButtonOK, &QPushButton::clicked, this, &TFormGetFile::ButtonOKClick);
    connect(ButtonCancel, &QPushButton::clicked, this, &TFormGetFile::ButtonCancelClick);
}

void TFormGetFile::layOut(QWidget *picture)
{
    auto *form = new QVBoxLayout;
    form->addWidget(label(this, tr("&File:  (example: /pub/index.txt)"), EditFile));
    form->addWidget(EditFile);
    form->addWidget(label(this, tr("FTP &Site:  (example: ftp.example.org)"), EditFTP));
    form->addWidget(EditFTP);
    form->addWidget(CheckAnon);
    auto *credentials = new QFormLayout;
    credentials->addRow(LabelLogin, EditLogin);
    credentials->addRow(LabelPswd, EditPswd);
    form->addLayout(credentials);
    form->addStretch();
    form->addLayout(DialogParts::buttonRow(ButtonCancel, ButtonOK));

    auto *layout = new QHBoxLayout(this);
    layout->addWidget(picture);
    layout->addLayout(form, 1);

    QWidget *const order[]
        = { EditFile, EditFTP, CheckAnon, EditLogin, EditPswd, ButtonCancel, ButtonOK };
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void TFormGetFile::showEvent(QShowEvent *event)
{
    centreOnScreen();
    QDialog::showEvent(event);
    FormShow();
}

void TFormGetFile::centreOnScreen()
{
    if (const QScreen *s = screen())
        move(s->availableGeometry().center() - rect().center());
}

void TFormGetFile::FormShow()
{
    EditFile->setFocus();
    const Site current = port.currentConnection ? port.currentConnection() : Site {};
    const std::pair<QLineEdit *, QString> fills[] = { { EditFTP, current.host },
        { EditLogin, current.login }, { EditPswd, current.password } };
    for (const auto &[edit, text] : fills)
        if (edit->text().isEmpty())
            edit->setText(text);
    const bool anonymous = EditLogin->text().isEmpty() && EditPswd->text().isEmpty();
    CheckAnon->setChecked(anonymous);
    enableCredentials(!anonymous);
}

void TFormGetFile::EditFileChange()
{
    ButtonOK->setEnabled(!EditFile->text().isEmpty() && !EditFTP->text().isEmpty());
}

void TFormGetFile::CheckAnonClick()
{
    const bool anonymous = CheckAnon->isChecked();
    enableCredentials(!anonymous);
    if (anonymous) {
        EditLogin->clear();
        EditPswd->clear();
    }
}

void TFormGetFile::enableCredentials(bool enabled)
{
    for (QWidget *w : { static_cast<QWidget *>(EditLogin), static_cast<QWidget *>(EditPswd),
             static_cast<QWidget *>(LabelLogin), static_cast<QWidget *>(LabelPswd) })
        w->setEnabled(enabled);
}

void TFormGetFile::ButtonOKClick()
{
    accept();
    // An operation that started while the dialog was open goes first: the
    // user is not asked for a file name that nothing would fetch.
    if (!port.saveAs || !port.getNow || (port.operationRunning && port.operationRunning()))
        return;
    const QString source = EditFile->text();
    const QString target = port.saveAs(source);
    if (target.isEmpty())
        return;
    // A host holds no blanks; pasted ones would only make the connect fail.
    port.getNow(source, target, { EditFTP->text().trimmed(), EditLogin->text(), EditPswd->text() });
}

void TFormGetFile::ButtonCancelClick()
{
    reject();
}
