#include "explorer/TFormConnect.h"

#include "explorer/DirectoryMap.h"
#include "explorer/SiteTree.h"
#include "platform/IconList.h"
#include "platform/Prompts.h"
#include "storage/SiteBook.h"
#include "widgets/DialogParts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cstdlib>
#include <cstring>
#include <iterator>

namespace {

constexpr int kFieldBytes = 31;
constexpr int kWidth = 432;
const QString kNewCaption = QStringLiteral("New FTP Site");
const QString kEditCaption = QStringLiteral("Edit FTP Site");

// Whole hours from UTC-12 to UTC+14 and the half and three-quarter hours
// that places really keep.
constexpr int kTimeZoneMinutes[] = { -720, -660, -600, -570, -540, -480, -420, -360, -300, -240,
    -210, -180, -120, -60, 0, 60, 120, 180, 210, 240, 270, 300, 330, 345, 360, 390, 420, 480, 525,
    540, 570, 600, 630, 660, 720, 765, 780, 840 };

QLineEdit *field(QWidget *parent, const char *name, bool limited)
{
    return DialogParts::lineField(parent, name, limited ? kFieldBytes : 0);
}

} // namespace

TFormConnect::TFormConnect(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("FormConnect"));
    setWindowTitle(kNewCaption);
    setModal(true);
    buildFields();
    fitHeight();
}

// As tall as the fields need at the dialog's width, and no taller: squeezed,
// the boxes cut their texts; stretched, a hole opens above the buttons.
void TFormConnect::fitHeight()
{
    for (QWidget *part : findChildren<QWidget *>()) { // rows just hidden count at once
        if (part->layout()) {
            part->layout()->invalidate();
            part->updateGeometry();
        }
    }
    QLayout *all = layout();
    all->activate();
    const int height = all->hasHeightForWidth() ? all->totalHeightForWidth(kWidth)
                                                : all->totalSizeHint().height();
    setFixedSize(kWidth, qMax(height, all->totalMinimumSize().height()));
}

void TFormConnect::buildFields()
{
    EditFTP = field(this, "EditFTP", true);
    EditDesc = field(this, "EditDesc", true);
    EditDir = field(this, "EditDir", false);
    EditLogin = field(this, "EditLogin", true);
    EditPswd = field(this, "EditPswd", true);
    // Shown as dots: the dialog may be open while someone looks on.
    EditPswd->setEchoMode(QLineEdit::Password);
    CheckShowPswd = new QCheckBox(tr("S&how"), this);
    CheckShowPswd->setObjectName(QStringLiteral("CheckShowPswd"));
    connect(CheckShowPswd, &QCheckBox::toggled, this, [this](bool shown) {
        EditPswd->setEchoMode(shown ? QLineEdit::Normal : QLineEdit::Password);
    });
    CheckAnon = new QCheckBox(tr("&Anonymous Login (default for most sites)"), this);
    CheckAnon->setObjectName(QStringLiteral("CheckAnon"));
    LabelLogin = new QLabel(tr("&Login:"), this);
    LabelLogin->setObjectName(QStringLiteral("LabelLogin"));
    LabelLogin->setBuddy(EditLogin);
    LabelPswd = new QLabel(tr("&Password:"), this);
    LabelPswd->setObjectName(QStringLiteral("LabelPswd"));
    LabelPswd->setBuddy(EditPswd);
    Button2 = new QPushButton(tr("OK"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setDefault(true);
    Button1 = new QPushButton(tr("Cancel"), this);
    Button1->setObjectName(QStringLiteral("Button1"));

    auto *picture = DialogParts::pictureBox(
        this, IconList::instance().icon(IconList::instance().siteIndex()).pixmap(64, 64));

    auto *form = new QVBoxLayout;
    auto addLabelled = [&](const QString &text, QLineEdit *edit) {
        auto *label = new QLabel(text, this);
        label->setBuddy(edit);
        form->addWidget(label);
        form->addWidget(edit);
    };
    addLabelled(tr("FTP &Site:  (example: ftp.example.com)"), EditFTP);
    addLabelled(tr("&Description:  (example: Example Downloads)"), EditDesc);
    addLabelled(tr("De&fault Directory: (/ for root directory)"), EditDir);
    form->addWidget(CheckAnon);
    auto *credentials = new QFormLayout;
    credentials->addRow(LabelLogin, EditLogin);
    auto *passwordRow = new QHBoxLayout;
    passwordRow->addWidget(EditPswd, 1);
    passwordRow->addWidget(CheckShowPswd);
    credentials->addRow(LabelPswd, passwordRow);
    form->addLayout(credentials);
    form->addWidget(buildOptions());
    form->addStretch();
    form->addLayout(DialogParts::buttonRow(Button2, Button1));

    auto *layout = new QHBoxLayout(this);
    layout->addWidget(picture);
    layout->addLayout(form, 1);

    // The fields in the order they are read, the box before the two fields
    // it governs (creation order would put it after them).
    QWidget *const order[] = { EditFTP, EditDesc, EditDir, CheckAnon, EditLogin, EditPswd,
        CheckShowPswd, ComboProtocol, ComboSecurity, ComboTimeZone, Button2, Button1 };
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    connect(EditFTP, &QLineEdit::textChanged, this, &TFormConnect::EditFTPChange);
    connect(EditDesc, &QLineEdit::textChanged, this, &TFormConnect::EditFTPChange);
    connect(CheckAnon, &QCheckBox::clicked, this, &TFormConnect::CheckAnonClick);
    connect(Button2, &QPushButton::clicked, this, &TFormConnect::Button2Click);
    connect(Button1, &QPushButton::clicked, this, &TFormConnect::Button1Click);
    EditDesc->installEventFilter(this);
}

QWidget *TFormConnect::buildOptions()
{
    auto *options = new QWidget(this);
    options->setObjectName(QStringLiteral("PanelOptions"));
    ComboProtocol = new QComboBox(options);
    ComboProtocol->setObjectName(QStringLiteral("ComboProtocol"));
    ComboProtocol->addItem(tr("FTP"), false);
    ComboProtocol->addItem(tr("SFTP (SSH)"), true);
    LabelProtocol = new QLabel(tr("P&rotocol:"), options);
    LabelProtocol->setObjectName(QStringLiteral("LabelProtocol"));
    LabelProtocol->setBuddy(ComboProtocol);
    ComboSecurity = new QComboBox(options);
    ComboSecurity->setObjectName(QStringLiteral("ComboSecurity"));
    ComboSecurity->addItem(tr("Plain FTP"), int(SiteSecurity::Plain));
    ComboSecurity->addItem(tr("Require explicit FTP over TLS"), int(SiteSecurity::RequireTls));
    ComboSecurity->addItem(tr("Use TLS if the server offers it"), int(SiteSecurity::TlsIfOffered));
    ComboTimeZone = new QComboBox(options);
    ComboTimeZone->setObjectName(QStringLiteral("ComboTimeZone"));
    for (int minutes : kTimeZoneMinutes)
        ComboTimeZone->addItem(timeZoneText(minutes), minutes);
    ComboTimeZone->setToolTip(tr("The clock in which the server writes the times of its file "
                                 "list. Servers that list times in UTC need no setting."));
    LabelSecurity = new QLabel(tr("S&ecurity:"), options);
    LabelSecurity->setObjectName(QStringLiteral("LabelSecurity"));
    LabelSecurity->setBuddy(ComboSecurity);
    LabelTimeZone = new QLabel(tr("Server &time zone:"), options);
    LabelTimeZone->setObjectName(QStringLiteral("LabelTimeZone"));
    LabelTimeZone->setBuddy(ComboTimeZone);
    auto *hint = new QLabel(tr("only for servers that list their local times"), options);
    hint->setObjectName(QStringLiteral("LabelTimeZoneHint"));
    hint->setWordWrap(true);
    hint->setEnabled(false);
    auto *zoneRow = new QHBoxLayout;
    zoneRow->addWidget(ComboTimeZone);
    zoneRow->addWidget(hint, 1);
    auto *rows = new QVBoxLayout(options);
    rows->setContentsMargins(0, 6, 0, 0); // apart from the login fields
    rows->addWidget(LabelProtocol);
    rows->addWidget(ComboProtocol);
    rows->addWidget(LabelSecurity);
    rows->addWidget(ComboSecurity);
    rows->addWidget(LabelTimeZone);
    rows->addLayout(zoneRow);
    // SSH always encrypts: there is nothing to choose. The dialog closes up
    // over the hidden rows rather than leave a hole above its buttons.
    connect(ComboProtocol, &QComboBox::currentIndexChanged, this, [this] {
        const bool ftp = !ComboProtocol->currentData().toBool();
        LabelSecurity->setVisible(ftp);
        ComboSecurity->setVisible(ftp);
        fitHeight();
    });
    return options;
}

QString TFormConnect::timeZoneText(int minutes)
{
    if (minutes == 0)
        return QStringLiteral("UTC");
    const int size = std::abs(minutes);
    return QStringLiteral("UTC%1%2:%3")
        .arg(minutes < 0 ? QLatin1Char('-') : QLatin1Char('+'))
        .arg(size / 60, 2, 10, QLatin1Char('0'))
        .arg(size % 60, 2, 10, QLatin1Char('0'));
}

void TFormConnect::showOptions(const SiteOptions &shown)
{
    ComboSecurity->setCurrentIndex(ComboSecurity->findData(int(shown.security)));
    ComboProtocol->setCurrentIndex(shown.sftp ? 1 : 0);
    int at = ComboTimeZone->findData(shown.timeZoneMinutes);
    if (at < 0) {
        // An offset written by hand: shown as it is, in its place.
        at = 0;
        while (at < ComboTimeZone->count()
            && ComboTimeZone->itemData(at).toInt() < shown.timeZoneMinutes)
            ++at;
        ComboTimeZone->insertItem(at, timeZoneText(shown.timeZoneMinutes), shown.timeZoneMinutes);
    }
    ComboTimeZone->setCurrentIndex(at);
}

SiteOptions TFormConnect::chosenOptions() const
{
    SiteOptions chosen;
    chosen.security = SiteSecurity(ComboSecurity->currentData().toInt());
    chosen.timeZoneMinutes = ComboTimeZone->currentData().toInt();
    chosen.sftp = ComboProtocol->currentData().toBool();
    return chosen;
}

void TFormConnect::bind(SiteTree *siteTree, SiteBook *siteBook, SiteOptionsFile *siteOptions)
{
    tree = siteTree;
    sites = siteBook;
    options = siteOptions;
}

void TFormConnect::New1Click()
{
    EditDesc->clear();
    EditFTP->clear();
    EditDir->setText(QStringLiteral("/"));
    CheckAnon->setChecked(true);
    CheckAnonClick();
    hidePassword();
    // New sites go encrypted where the server can.
    showOptions({ SiteSecurity::TlsIfOffered, 0 });
    setWindowTitle(kNewCaption);
    Button2->setEnabled(false);
    exec();
}

QString TFormConnect::selectedOrComboDescription() const
{
    QTreeWidgetItem *selected = tree->ui.tree->currentItem();
    return selected ? selected->text(0) : tree->ui.combo->currentText();
}

void TFormConnect::Edit1Click()
{
    const TSiteRecord *site = sites->FindSite(selectedOrComboDescription());
    if (!site)
        return;
    EditDesc->setText(site->Description);
    EditFTP->setText(site->FTPSite);
    EditLogin->setText(site->Login);
    EditPswd->setText(site->Password);
    EditDir->setText(site->Directory);
    CheckAnon->setChecked(site->isAnonymous());
    enableCredentials(!CheckAnon->isChecked());
    hidePassword();
    showOptions(options->optionsOf(site->Description));
    setWindowTitle(kEditCaption);
    EditFTPChange();
    exec();
}

void TFormConnect::enableCredentials(bool enabled)
{
    for (QWidget *w : { static_cast<QWidget *>(EditLogin), static_cast<QWidget *>(EditPswd),
             static_cast<QWidget *>(LabelLogin), static_cast<QWidget *>(LabelPswd),
             static_cast<QWidget *>(CheckShowPswd) })
        w->setEnabled(enabled);
}

void TFormConnect::hidePassword()
{
    CheckShowPswd->setChecked(false);
    EditPswd->setEchoMode(QLineEdit::Password);
}

void TFormConnect::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    EditFTP->setFocus();
}

bool TFormConnect::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == EditDesc && event->type() == QEvent::FocusIn)
        EditDescEnter();
    return QDialog::eventFilter(watched, event);
}

void TFormConnect::EditFTPChange()
{
    Button2->setEnabled(!EditFTP->text().isEmpty() && !EditDesc->text().isEmpty());
}

void TFormConnect::EditDescEnter()
{
    if (!EditDesc->text().isEmpty())
        return;
    EditDesc->setText(EditFTP->text());
    EditDesc->selectAll();
}

void TFormConnect::CheckAnonClick()
{
    const bool anonymous = CheckAnon->isChecked();
    enableCredentials(!anonymous);
    if (anonymous) {
        EditLogin->clear();
        EditPswd->clear();
    }
}

void TFormConnect::Button1Click()
{
    reject();
}

void TFormConnect::Button2Click()
{
    // A save may delete the nodes that a running listing or refill fills.
    if (tree->operationRunning())
        return;
    const QString d = EditDesc->text().trimmed();
    TSiteRecord *r = nullptr;
    QTreeWidgetItem *n = nullptr;
    if (windowTitle() != kNewCaption) {
        if (!okInEditMode(d, r, n))
            return;
    } else if (tree->findSiteNode(d)) {
        Prompts::error(tr("You cannot have two sites with the same description."));
        return;
    }
    try {
        save(d, r, n);
    } catch (const std::exception &e) {
        // The change stays in memory and on screen; the dialog stays open.
        Prompts::error(QString::fromUtf8(e.what()));
        return;
    }
    accept();
}

bool TFormConnect::okInEditMode(const QString &d, TSiteRecord *&r, QTreeWidgetItem *&n)
{
    const QString d0 = selectedOrComboDescription();
    r = sites->FindSite(d0);
    if (!r)
        return false;
    if (d.compare(r->Description, Qt::CaseInsensitive) != 0 && tree->findSiteNode(d)) {
        Prompts::error(tr("You cannot have two sites with the same description."));
        return false;
    }
    n = tree->findSiteNode(d0);
    if (!n)
        return false;
    if (EditDir->text().trimmed().compare(r->Directory, Qt::CaseInsensitive) != 0) {
        const auto answer = Prompts::current().message(QStringLiteral("Vrex Explorer"),
            tr("If you change the site's starting directory, the current site information "
               "will be lost."),
            QMessageBox::Ok | QMessageBox::Cancel, Prompts::Icon::Question);
        if (answer != QMessageBox::Ok)
            return false;
        tree->ui.tree->setCurrentItem(tree->root());
        tree->deleteNodeAndTwin(n);
        n = nullptr;
    }
    // The folders listed so far carry times read with the old clock: the
    // site lists afresh instead of showing them.
    if (n
        && options->optionsOf(r->Description).timeZoneMinutes != chosenOptions().timeZoneMinutes) {
        tree->ui.tree->setCurrentItem(tree->root());
        tree->deleteNodeAndTwin(n);
        n = nullptr;
    }
    return true;
}

void TFormConnect::save(const QString &d, TSiteRecord *r, QTreeWidgetItem *n)
{
    const bool editing = r != nullptr;
    const QString oldDescription = editing ? r->Description : QString();
    const QString oldHost = editing ? r->FTPSite : QString();
    const QString oldLogin = editing ? r->Login : QString();
    const int oldZone = options->optionsOf(oldDescription).timeZoneMinutes;
    if (!r)
        r = sites->InsertSite(TSiteRecord {});
    if (n) {
        n->setText(0, d);
        TWin32FindData *record = DirectoryMap::recordOf(DirectoryMap::mapNodeOf(n));
        const QByteArray name = d.toUtf8().left(int(sizeof record->cFileName) - 1);
        std::memset(record->cFileName, 0, sizeof record->cFileName);
        std::memcpy(record->cFileName, name.constData(), size_t(name.size()));
    } else {
        n = tree->addSiteNodes(EditFTP->text().trimmed(), d);
    }
    r->FTPSite = EditFTP->text().trimmed();
    r->Description = d;
    r->Login = EditLogin->text().trimmed();
    r->Password = EditPswd->text().trimmed();
    r->Directory = EditDir->text().trimmed();
    putInCombos(d, editing);
    tree->sortSiteNodes();
    sites->SaveSiteBook();
    if (editing)
        options->remove(oldDescription);
    options->set(d, chosenOptions());
    options->save();
    if (editing && oldHost == r->FTPSite && oldLogin == r->Login)
        followTimeZoneChange(oldHost, oldLogin, oldZone);
    tree->ui.tree->setCurrentItem(n);
}

void TFormConnect::followTimeZoneChange(const QString &host, const QString &login, int from)
{
    const int to = chosenOptions().timeZoneMinutes;
    if (from != to && timeZoneChanged)
        timeZoneChanged(host, login, from, to);
}

void TFormConnect::putInCombos(const QString &d, bool replaceCurrent)
{
    QComboBox *combos[] = { tree->ui.combo, tree->ui.combo2 };
    int position = 0;
    for (QComboBox *combo : combos) {
        const QSignalBlocker blocker(combo);
        if (replaceCurrent)
            combo->removeItem(combo->currentIndex());
        position = 0;
        while (position < combo->count()
            && QString::localeAwareCompare(combo->itemText(position).toLower(), d.toLower()) < 0)
            ++position;
        combo->insertItem(position, IconList::instance().icon(IconList::instance().siteIndex()), d);
    }
    for (QComboBox *combo : combos) {
        const QSignalBlocker blocker(combo);
        combo->setCurrentIndex(position);
    }
}
