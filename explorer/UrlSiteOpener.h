#pragma once

#include "storage/SiteUrl.h"

#include <QObject>
#include <QStringList>

#include <functional>

class ListingView;
class QTreeWidgetItem;
class SiteBook;
class SiteOptionsFile;
class SiteTree;
class SiteTreeCommands;
struct TSiteRecord;

// Opens an ftp://, ftps:// or sftp:// address in the tree: the site of the
// site book with the same protocol, host, port and login, or else a site that
// is not saved, then folder by folder down to the path, one listing at a time. An address that
// names a file ends with that file selected and its download offered.
class UrlSiteOpener : public QObject {
    Q_OBJECT
public:
    struct Services {
        SiteTree *tree = nullptr;
        SiteTreeCommands *commands = nullptr;
        ListingView *listing = nullptr;
        SiteBook *sites = nullptr;
        SiteOptionsFile *options = nullptr;
        // The Download command on the selected rows.
        std::function<void()> download;
    };
    static const QString kNotSavedTip; // tool tip of a site that is not saved

    explicit UrlSiteOpener(const Services &services, QObject *parent = nullptr);

    // A malformed address is told and refused. While an operation runs the
    // address waits for it to end.
    bool open(const QString &text);
    // The window calls this whenever an operation has ended and nothing runs.
    void operationEnded();

    // Marks a site node as saved or not.
    static void markNotSaved(QTreeWidgetItem *siteNode, bool notSaved);

private:
    TSiteRecord *matchingSite(const SiteUrl &url, QString &below) const;
    QTreeWidgetItem *addUnsavedSite(const SiteUrl &url);
    QString unusedDescription(const SiteUrl &url) const;
    void start(const SiteUrl &url);
    void openNode(QTreeWidgetItem *node);
    void step();
    void stepLater();
    bool openChild(const QString &name);
    void offerFile(const QString &name);
    void fail(const QString &message);

    Services s;
    QString waiting; // an address that waits for the running operation
    QStringList folders; // still to open, in order
    QString lastName; // the address's last name: a folder or a file
    QTreeWidgetItem *expected = nullptr; // the node whose listing is awaited
    int opened = 0; // counts the opens; a deferred step belongs to the last one
    bool walking = false;
};
