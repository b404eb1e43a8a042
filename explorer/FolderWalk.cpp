#include "explorer/FolderWalk.h"

#include "explorer/DirectoryMap.h"
#include "ftp/WinInetFTP.h"

#include <QTimer>

using DirectoryMap::nameOf;

FolderWalk::FolderWalk(
    const SiteConnection &s, std::function<void(TWinInetFTP &)> prepare, QObject *parent)
    : QObject(parent), site(s), ftp(new TWinInetFTP(this))
{
    ftp->AppTitle = QStringLiteral("Vrex Explorer");
    ftp->FTPSite = site.host;
    ftp->Login = site.login;
    ftp->Password = site.password;
    ftp->Security = site.security;
    ftp->Sftp = site.sftp;
    ftp->TimeZoneOffsetMinutes = site.timeZoneMinutes;
    if (prepare)
        prepare(*ftp);
    bindSession();
}

FolderWalk::~FolderWalk() = default;

void FolderWalk::bindSession()
{
    ftp->OnConnect = [this](TWinInetFTP *, HINTERNET, HINTERNET) {
        if (!ftp->EventIsStale())
            connected();
    };
    ftp->OnDirEntry = [this](TWinInetFTP *, PTWin32FindData entry) {
        if (!ftp->EventIsStale() && walking)
            entries.push_back(*entry);
    };
    ftp->OnDirDone = [this](TWinInetFTP *) {
        if (!ftp->EventIsStale() && walking)
            listed();
    };
    ftp->OnDeleteFileDone = [this](TWinInetFTP *) {
        if (!ftp->EventIsStale())
            removed(ftp->LastError() == errNone);
    };
    ftp->OnDeleteDirDone = ftp->OnDeleteFileDone;
}

void FolderWalk::walk(
    const QStringList &remoteFolders, Links how, std::function<void(const Result &)> done)
{
    links = how;
    walkDone = std::move(done);
    found = {};
    signatures.clear();
    parents.clear();
    fileFolders.clear();
    walkedPaths.clear();
    for (const QString &folder : remoteFolders)
        pending.push_back({ folder, FolderTree::lastPart(folder) });
    walking = true;
    ftp->Connect();
}

void FolderWalk::connected()
{
    if (ftp->LastError() == errNone) {
        if (walking)
            listNext();
        else
            removeNext();
        return;
    }
    const QString failure = ftp->LastError() == errTerminated
        ? QString()
        : QStringLiteral("Could not connect to \"%1\" for the folders.").arg(site.host);
    if (walking) {
        finishWalk(failure);
        return;
    }
    QTimer::singleShot(0, this, [this, failure] {
        if (removeDone)
            removeDone(failure);
    });
}

void FolderWalk::listNext()
{
    while (!pending.empty()) {
        listing = pending.front();
        pending.pop_front();
        const QString place = FolderTree::normalPath(listing.remote);
        if (walkedPaths.contains(place))
            continue; // the same folder under another spelling
        walkedPaths.insert(place);
        entries.clear();
        // From the event loop: the listing that ended is still winding up.
        QTimer::singleShot(0, this, [this, path = listing.remote] { ftp->GetDirectory(path); });
        return;
    }
    finishWalk(QString());
}

void FolderWalk::listed()
{
    const TWinInetError error = ftp->LastError();
    if (error == errTerminated) {
        finishWalk(QString());
        return;
    }
    // A missing folder lists as an empty one; anything else broke off.
    if (error != errNone && error != errFileNotFound && error != errDirNotFound) {
        finishWalk(QStringLiteral("The directory listing of \"%1\" did not complete.")
                       .arg(listing.remote));
        return;
    }
    if (listing.probe && entries.size() == 1 && !isDirectory(entries.front())
        && FolderTree::lastPart(nameOf(entries.front())) == FolderTree::lastPart(listing.remote)) {
        // The link leads to a file: it is fetched under the link's name.
        FolderTree::File file { listing.remote, listing.relative, listing.link };
        setFileSize(file.entry, fileSize(entries.front()));
        found.files.push_back(file);
        fileFolders.push_back(listing.parent);
    } else {
        addFolder(listing, entries);
    }
    listNext();
}

void FolderWalk::addFolder(const Pending &folder, const std::vector<TWin32FindData> &list)
{
    const uint64_t signature = FolderTree::signature(list);
    const int depth = folder.parent < 0 ? 0 : found.folders[size_t(folder.parent)].depth + 1;
    if (!list.empty() && loopsBack(folder.parent, signature)) {
        ++found.loops;
        // A delete removes the link itself, never what it leads back to.
        if (links == Links::AsNames) {
            found.folders.push_back({ folder.remote, folder.relative, depth, true });
            signatures.push_back(signature);
            parents.push_back(folder.parent);
        }
        return;
    }
    found.folders.push_back({ folder.remote, folder.relative, depth, false });
    signatures.push_back(signature);
    parents.push_back(folder.parent);
    const int index = int(found.folders.size()) - 1;
    for (const TWin32FindData &entry : list)
        takeEntry(entry, index);
}

bool FolderWalk::loopsBack(int parent, uint64_t signature) const
{
    for (int i = parent; i >= 0; i = parents[size_t(i)])
        if (signatures[size_t(i)] == signature)
            return true;
    return false;
}

void FolderWalk::takeEntry(const TWin32FindData &entry, int folderIndex)
{
    const QString name = nameOf(entry);
    if (name == QLatin1String(".") || name == QLatin1String(".."))
        return;
    const FolderTree::Folder &folder = found.folders[size_t(folderIndex)];
    const QString relative = FolderTree::join(folder.relativePath, name);
    if (!FolderTree::fitsLocally(name)) {
        found.unfit << relative;
        return;
    }
    const QString remote = FolderTree::join(folder.remotePath, name);
    if (isDirectory(entry))
        pending.push_back({ remote, relative, folderIndex });
    else if (isUnresolvedLink(entry) && links == Links::Probe)
        pending.push_back({ remote, relative, folderIndex, true, entry });
    else {
        found.files.push_back({ remote, relative, entry });
        fileFolders.push_back(folderIndex);
    }
}

void FolderWalk::finishWalk(const QString &failure)
{
    walking = false;
    pending.clear();
    found.failed = !failure.isEmpty() || ftp->LastError() == errTerminated;
    found.failure = failure;
    // From the event loop: the caller may ask questions, or delete this.
    QTimer::singleShot(0, this, [this] {
        if (walkDone)
            walkDone(found);
    });
}

// ---- deleting what was found ------------------------------------------------

// Children first, then the folder. A folder is first deleted as a file: a
// server that shows a link to a folder as a folder removes the link so, and
// what it leads to is left alone; a real folder refuses and is emptied.
void FolderWalk::planRemoval(int index, const std::vector<std::vector<int>> &childFolders,
    const std::vector<std::vector<int>> &folderFiles)
{
    const FolderTree::Folder &folder = found.folders[size_t(index)];
    if (folder.link) {
        steps.push_back({ Step::DeleteFile, folder.remotePath });
        return;
    }
    const size_t probe = steps.size();
    if (folder.depth > 0)
        steps.push_back({ Step::ProbeFolder, folder.remotePath });
    for (int child : childFolders[size_t(index)])
        planRemoval(child, childFolders, folderFiles);
    for (int file : folderFiles[size_t(index)])
        steps.push_back({ Step::DeleteFile, found.files[size_t(file)].remotePath });
    steps.push_back({ Step::RemoveFolder, folder.remotePath });
    if (folder.depth > 0)
        steps[probe].skipTo = steps.size();
}

void FolderWalk::removeAll(std::function<void(const QString &failure)> done)
{
    removeDone = std::move(done);
    const size_t n = found.folders.size();
    std::vector<std::vector<int>> childFolders(n), folderFiles(n);
    for (size_t i = 0; i < n; ++i)
        if (parents[i] >= 0)
            childFolders[size_t(parents[i])].push_back(int(i));
    for (size_t i = 0; i < fileFolders.size(); ++i)
        if (fileFolders[i] >= 0)
            folderFiles[size_t(fileFolders[i])].push_back(int(i));
    steps.clear();
    for (size_t i = 0; i < n; ++i)
        if (parents[i] < 0)
            planRemoval(int(i), childFolders, folderFiles);
    step = 0;
    if (ftp->Connected())
        removeNext();
    else
        ftp->Connect();
}

void FolderWalk::removeNext()
{
    // From the event loop: the command that ended is still winding up.
    QTimer::singleShot(0, this, [this] {
        if (step >= steps.size()) {
            if (removeDone)
                removeDone(QString());
            return;
        }
        const Step &s = steps[step];
        if (s.kind == Step::RemoveFolder)
            ftp->DeleteDirectory(s.path);
        else
            ftp->DeleteFile(s.path);
    });
}

void FolderWalk::removed(bool ok)
{
    if (step >= steps.size())
        return;
    const Step &s = steps[step];
    if (s.kind == Step::ProbeFolder) {
        step = ok ? s.skipTo : step + 1;
    } else if (ok) {
        ++step;
    } else {
        const QString failure = leftText();
        QTimer::singleShot(0, this, [this, failure] {
            if (removeDone)
                removeDone(failure);
        });
        return;
    }
    removeNext();
}

QString FolderWalk::leftText() const
{
    int files = 0, folders = 0;
    for (size_t i = step; i < steps.size(); ++i) {
        if (steps[i].kind == Step::DeleteFile)
            ++files;
        else if (steps[i].kind == Step::RemoveFolder)
            ++folders;
    }
    return QStringLiteral("\"%1\" could not be deleted. Nothing after it was deleted: "
                          "%2 files and %3 folders are left.")
        .arg(steps[step].path)
        .arg(files)
        .arg(folders);
}
