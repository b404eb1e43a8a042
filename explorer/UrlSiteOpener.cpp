#include "explorer/UrlSiteOpener.h"

#include "explorer/DirectoryMap.h"
#include "explorer/ListingView.h"
#include "explorer/SiteTree.h"
#include "explorer/SiteTreeCommands.h"
#include "platform/Prompts.h"
#include "storage/SiteBook.h"
#include "storage/SiteOptionsFile.h"

#include <QRegularExpression>
#include <QTimer>
#include <QTreeWidget>

using namespace DirectoryMap;

const QString UrlSiteOpener::kNotSavedTip
    = QStringLiteral("Not saved in the site book: \"Save to Site Book...\" keeps it.");

namespace {

// "/pub" and "/pub/" alike; "" and "/" are the root.
QString asFolder(const QString &directory)
{
    QString d = directory.trimmed();
    if (!d.startsWith(QLatin1Char('/')))
        d.prepend(QLatin1Char('/'));
    if (!d.endsWith(QLatin1Char('/')))
        d += QLatin1Char('/');
    return d;
}

bool sameLogin(const QString &siteLogin, const QString &urlUser)
{
    auto anonymous = [](const QString &l) {
        return l.isEmpty() || l.compare(QLatin1String("anonymous"), Qt::CaseInsensitive) == 0;
    };
    return siteLogin == urlUser || (anonymous(siteLogin) && anonymous(urlUser));
}

} // namespace

UrlSiteOpener::UrlSiteOpener(const Services &services, QObject *parent)
    : QObject(parent), s(services)
{
}

void UrlSiteOpener::markNotSaved(QTreeWidgetItem *siteNode, bool notSaved)
{
    QFont font = siteNode->font(0);
    font.setItalic(notSaved);
    siteNode->setFont(0, font);
    siteNode->setToolTip(0, notSaved ? kNotSavedTip : QString());
}

bool UrlSiteOpener::open(const QString &text)
{
    const SiteUrl url = parseSiteUrl(text);
    if (!url.isValid()) {
        // The password stays out of sight, also in a message.
        QString shown = text.trimmed();
        shown.replace(QRegularExpression(QStringLiteral("^([^:/]*://[^:@/]*):[^@/]*@")),
            QStringLiteral("\\1@"));
        Prompts::error(tr("Cannot open %1\n\n%2").arg(shown, url.error));
        return false;
    }
    if (s.tree->operationRunning()) {
        waiting = text;
        return true;
    }
    start(url);
    return true;
}

void UrlSiteOpener::operationEnded()
{
    if (!waiting.isEmpty()) {
        const QString text = std::exchange(waiting, QString());
        walking = false;
        open(text);
        return;
    }
    if (walking) {
        ++opened; // the step waited for is this one
        step();
    }
}

void UrlSiteOpener::start(const SiteUrl &url)
{
    QString below;
    TSiteRecord *site = matchingSite(url, below);
    QTreeWidgetItem *node = site ? s.tree->findSiteNode(site->Description) : addUnsavedSite(url);
    if (!node)
        return;
    folders = below.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    lastName = url.name;
    walking = true;
    openNode(node);
}

// A site matches by protocol, host, port and login when the path lies within
// its starting folder; the names below that folder are returned in `below`.
TSiteRecord *UrlSiteOpener::matchingSite(const SiteUrl &url, QString &below) const
{
    for (TSiteRecord *site = s.sites->head(); site; site = site->next) {
        QString host;
        int port = 0;
        const bool sftp = s.options && s.options->optionsOf(site->Description).sftp;
        if (site->Deleted || sftp != url.sftp()
            || !splitHostField(site->FTPSite, host, port, sftp ? 22 : 21))
            continue;
        const QString start = asFolder(site->Directory);
        if (host.compare(url.host, Qt::CaseInsensitive) != 0 || port != url.port
            || !sameLogin(site->Login, url.user) || !url.folder.startsWith(start))
            continue;
        below = url.folder.mid(start.size());
        return site;
    }
    return nullptr;
}

QString UrlSiteOpener::unusedDescription(const SiteUrl &url) const
{
    const QString base = url.user.isEmpty() ? url.hostField() : url.user + '@' + url.hostField();
    QString d = base;
    for (int n = 2; s.tree->findSiteNode(d); ++n)
        d = QStringLiteral("%1 (%2)").arg(base).arg(n);
    return d;
}

// Starts at the address's folder: the map then holds nothing above it that
// was not listed, and hidden folders on the way need no listing.
QTreeWidgetItem *UrlSiteOpener::addUnsavedSite(const SiteUrl &url)
{
    TSiteRecord fields;
    fields.FTPSite = url.hostField();
    fields.Description = unusedDescription(url);
    fields.Login = url.user;
    fields.Password = url.password;
    fields.Directory = url.folder.size() > 1 ? url.folder.chopped(1) : url.folder;
    fields.Unsaved = true;
    s.sites->InsertSite(fields);
    if ((url.encrypted() || url.sftp()) && s.options)
        s.options->set(fields.Description,
            { url.encrypted() ? SiteSecurity::RequireTls : SiteSecurity::Plain, 0, url.sftp() });
    QTreeWidgetItem *node = s.tree->addSiteNodes(fields.FTPSite, fields.Description);
    markNotSaved(node, true);
    s.tree->sortSiteNodes();
    return node;
}

void UrlSiteOpener::openNode(QTreeWidgetItem *node)
{
    expected = node;
    QTreeWidget *view = s.tree->ui.tree;
    view->setFocus();
    view->scrollToItem(node);
    s.tree->itemHit = true;
    if (view->currentItem() == node)
        s.tree->openSelectedNode();
    else
        view->setCurrentItem(node); // opens it
    stepLater();
}

// A node filled from the map opens without an operation: the walk goes on
// at once then, and otherwise at the end of the listing.
void UrlSiteOpener::stepLater()
{
    const int token = ++opened;
    QTimer::singleShot(0, this, [this, token] {
        if (token == opened && walking && !s.tree->operationRunning() && !s.listing->isBusy())
            step();
    });
}

void UrlSiteOpener::step()
{
    QTreeWidgetItem *current = s.tree->current();
    if (!current || current != expected) {
        walking = false; // a failed connect or listing has spoken already
        return;
    }
    if (!folders.isEmpty()) {
        const QString name = folders.takeFirst();
        if (!openChild(name))
            fail(tr("The folder \"%1\" was not found on the site.").arg(name));
        return;
    }
    walking = false;
    const QString name = std::exchange(lastName, QString());
    if (!name.isEmpty() && !openChild(name))
        offerFile(name);
}

bool UrlSiteOpener::openChild(const QString &name)
{
    QTreeWidgetItem *current = s.tree->current();
    for (int i = 0; i < current->childCount(); ++i) {
        if (current->child(i)->text(0) == name) {
            walking = true;
            expected = current->child(i);
            s.commands->openChildNamed(name);
            stepLater();
            return true;
        }
    }
    return false;
}

void UrlSiteOpener::offerFile(const QString &name)
{
    QTreeWidgetItem *folder = mapNodeOf(s.tree->current());
    for (int i = 0; folder && i < folder->childCount(); ++i) {
        QTreeWidgetItem *entry = folder->child(i);
        const TWin32FindData *record = recordOf(entry);
        if (!record || nameOf(*record) != name)
            continue;
        s.listing->selectRow(entry);
        if (Prompts::askYesNo(tr("Download \"%1\"?").arg(name)) && s.download)
            s.download();
        return;
    }
    fail(tr("\"%1\" was not found on the site.").arg(name));
}

void UrlSiteOpener::fail(const QString &message)
{
    walking = false;
    folders.clear();
    lastName.clear();
    Prompts::error(message);
}
