#include "dispatch/TransferLane.h"

#include "explorer/OverwriteQuestion.h"
#include "explorer/RowTexts.h"

#include <QTimer>

#include <algorithm>
#include <cstdint>

namespace {

bool listingComplete(int error)
{
    return error == errNone || error == errFileNotFound || error == errDirNotFound;
}

} // namespace

// Counts the lane's handlers on the stack: a session is never freed under
// one of its own events.
struct TransferLaneHandler {
    explicit TransferLaneHandler(int &depth) : depth(depth) { ++depth; }
    ~TransferLaneHandler() { --depth; }
    int &depth;
};

TransferLane::TransferLane(const Hooks &h, QObject *parent) : QObject(parent), hooks(h) { }

TransferLane::~TransferLane()
{
    shutDown();
}

void TransferLane::makeSession()
{
    ftp = new TWinInetFTP(this);
    ftp->AppTitle = QStringLiteral("Vrex Explorer");
    // The window's status line tells of its own connection only.
    ftp->DeclineUiThreadStatus();
    ftp->PostsStatusCodes = false;
    // Its handlers only note what happened and report the end through the
    // event loop: a file's events need not each take a turn of it.
    ftp->DeliversInBatches = true;
    bindEvents();
}

void TransferLane::bindEvents()
{
    TWinInetFTP &f = *ftp;
    f.OnCertificate = [this](TWinInetFTP *, const TlsCertificateFacts &certificate) {
        return hooks.certificate && hooks.certificate(certificate);
    };
    f.OnHostKey = [this](TWinInetFTP *, const ServerKeyFacts &key) {
        return hooks.hostKey ? hooks.hostKey(key) : ServerKeyAnswer {};
    };
    f.OnKeyPassphrase = [this](TWinInetFTP *, const std::string &file, std::string &passphrase) {
        return hooks.passphrase && hooks.passphrase(file, passphrase);
    };
    f.OnConnect = [this](TWinInetFTP *sender, HINTERNET, HINTERNET) {
        TransferLaneHandler in(handlerDepth);
        if (sender == ftp && !ftp->EventIsStale() && phase == Phase::Connecting)
            onConnect();
    };
    f.OnDirEntry = [this](TWinInetFTP *sender, PTWin32FindData entry) {
        if (sender == ftp && !ftp->EventIsStale())
            onDirEntry(*entry);
    };
    f.OnDirDone = [this](TWinInetFTP *sender) {
        TransferLaneHandler in(handlerDepth);
        if (sender == ftp && !ftp->EventIsStale())
            onDirDone();
    };
    auto progress = [this](TWinInetFTP *sender, int64_t bytes) {
        if (sender == ftp && !ftp->EventIsStale() && phase == Phase::Transfer && hooks.progress)
            hooks.progress(*this, bytes);
    };
    auto done = [this](TWinInetFTP *sender, int64_t) {
        TransferLaneHandler in(handlerDepth);
        if (sender == ftp && !ftp->EventIsStale() && phase == Phase::Transfer)
            onTransferDone();
    };
    f.OnGetStatus = progress;
    f.OnSendStatus = progress;
    f.OnGetDone = done;
    f.OnSendDone = done;
}

void TransferLane::start(const QueueItem &item, const SiteConnection &site)
{
    running = item;
    busy = true;
    requested = false;
    ++checks;
    if (ftp && ftp->Connected() && site == connection) {
        begin();
        return;
    }
    if (!ftp)
        makeSession();
    connection = site;
    ftp->FTPSite = site.host;
    ftp->Login = site.login;
    ftp->Password = site.password;
    ftp->Security = site.security;
    ftp->Sftp = site.sftp;
    ftp->TimeZoneOffsetMinutes = site.timeZoneMinutes;
    phase = Phase::Connecting;
    ftp->Connect();
}

void TransferLane::onConnect()
{
    if (ftp->LastError() == errNone) {
        begin();
        return;
    }
    Outcome outcome;
    outcome.connectFailed = true;
    outcome.error = ftp->LastError();
    outcome.refusedForLimit = refusedForLimit();
    end(outcome);
}

// 421 ("Too many connections") or a 530 that names a limit: the server
// serves this site already, only not on one more connection.
bool TransferLane::refusedForLimit() const
{
    const int code = ftp->ConnectRefusalCode();
    const QString text = ftp->ConnectRefusal().join(QLatin1Char(' ')).toLower();
    if (code == 421)
        return true;
    return code == 530
        && (text.contains(QLatin1String("too many")) || text.contains(QLatin1String("limit"))
            || text.contains(QLatin1String("maximum")));
}

void TransferLane::begin()
{
    entryFound = false;
    if (running.isUpload() && running.askBeforeReplacing) {
        phase = Phase::UploadLookup;
        ftp->GetDirectory(running.saveFile);
    } else if (running.isDownload() && running.checksNewer()) {
        startNewerCheck();
    } else {
        transfer();
    }
}

void TransferLane::transfer()
{
    phase = Phase::Transfer;
    if (running.isUpload()) {
        ftp->SendFile(running.name, running.saveFile, running.makeParents, true);
        return;
    }
    requested = true;
    ftp->GetFileResumable(running.name, running.saveFile, listedSize());
}

// What the listing said of the file's size, when it said it of the file
// itself (a link's listed size is its own, not its target's); -1 otherwise.
qint64 TransferLane::listedSize() const
{
    const TWin32FindData &entry = newerFound ? newerEntry : running.entry;
    if (isDirectory(entry) || isUnresolvedLink(entry) || fileSize(entry) == 0)
        return -1;
    return qint64(std::min<uint64_t>(fileSize(entry), uint64_t(INT64_MAX)));
}

NewerFolders::File TransferLane::newerFile() const
{
    return { running.host, running.login, running.name };
}

// From its folder's listing when the run lists that folder (and no other
// lane lists it right now), else the single-file lookup.
void TransferLane::startNewerCheck()
{
    NewerFolders &folders = *hooks.newerFolders;
    const NewerFolders::File file = newerFile();
    const NewerFolders::Way way = folders.wayFor(file);
    if (way == NewerFolders::Way::ListFolder && !folders.isBeingListed(file)) {
        phase = Phase::FolderListing;
        folders.beginListing(file);
        ftp->GetDirectory(NewerFolders::folderListing(file.path));
        return;
    }
    phase = Phase::FileLookup;
    if (way == NewerFolders::Way::FromListing) {
        // From the event loop: a long run of unchanged files does not nest.
        const uint64_t check = checks;
        QTimer::singleShot(0, this, [this, check] {
            if (check == checks && busy && phase == Phase::FileLookup)
                answerFromListing();
        });
        return;
    }
    ftp->GetDirectory(running.name);
}

void TransferLane::answerFromListing()
{
    if (const TWin32FindData *entry = hooks.newerFolders->entryFor(newerFile())) {
        foundEntry = *entry;
        entryFound = true;
        newerComparison(errNone);
        return;
    }
    phase = Phase::FileLookup;
    ftp->GetDirectory(running.name);
}

void TransferLane::onDirEntry(const TWin32FindData &entry)
{
    if (entry.cFileName[0] == '.')
        return;
    if (phase == Phase::FolderListing) {
        hooks.newerFolders->addEntry(newerFile(), entry);
    } else if (phase == Phase::FileLookup || phase == Phase::UploadLookup) {
        foundEntry = entry;
        entryFound = true;
    }
}

void TransferLane::onDirDone()
{
    const int error = ftp->LastError();
    switch (phase) {
    case Phase::UploadLookup:
        uploadLookupDone();
        return;
    case Phase::FolderListing:
        if (error == errTerminated) {
            hooks.newerFolders->endListing(newerFile(), false);
            end(Outcome::of(errTerminated));
            return;
        }
        hooks.newerFolders->endListing(newerFile(), listingComplete(error));
        answerFromListing();
        return;
    case Phase::FileLookup:
        newerComparison(error);
        return;
    default:
        return;
    }
}

// The outcomes are those of the window's own newer check: a lookup that
// failed found out nothing, and fails as a transfer that did not complete.
void TransferLane::newerComparison(int error)
{
    if (!listingComplete(error)) {
        end(Outcome::of(error == errTerminated ? errTerminated : errUnknown));
        return;
    }
    hooks.newerFolders->checked(newerFile());
    Outcome checked;
    if (!entryFound) {
        checked.watchStatus = QStringLiteral("Not Found");
        end(checked);
        return;
    }
    if (!NewerFile::siteCopyIsNewer(running.entry, foundEntry, RowTexts::todayUtc())) {
        checked.watchStatus = QStringLiteral("Up to Date");
        end(checked);
        return;
    }
    newerFound = true;
    newerEntry = foundEntry;
    transfer();
}

// A file of that name on the server is replaced only if the user says so.
void TransferLane::uploadLookupDone()
{
    if (ftp->LastError() == errTerminated) {
        end(Outcome::of(errTerminated));
        return;
    }
    if (entryFound && !isDirectory(foundEntry)
        && OverwriteQuestion(false).ask(running.saveFile) != OverwriteQuestion::Answer::Replace) {
        end(Outcome()); // left out; the queue goes on
        return;
    }
    transfer();
}

void TransferLane::onTransferDone()
{
    Outcome outcome;
    outcome.error = ftp->LastError();
    outcome.transferred = outcome.error == errNone;
    end(outcome);
}

// Reported from the event loop, so the queue's next step never runs inside
// the session's own event (nor inside the start that answered at once).
void TransferLane::end(Outcome outcome)
{
    outcome.errorCode = ftp->LastErrorCode();
    outcome.replies = ftp->LogonMessage();
    outcome.newerFound = newerFound && outcome.transferred;
    outcome.newerEntry = newerEntry;
    newerFound = false;
    phase = Phase::Idle;
    const uint64_t check = ++checks;
    QMetaObject::invokeMethod(
        this,
        [this, outcome, check] {
            if (check != checks)
                return;
            busy = false;
            if (hooks.ended)
                hooks.ended(*this, outcome);
        },
        Qt::QueuedConnection);
}

void TransferLane::shutDown()
{
    ++checks;
    busy = false;
    phase = Phase::Idle;
    newerFound = false;
    TWinInetFTP *old = ftp;
    ftp = nullptr;
    if (!old)
        return;
    if (handlerDepth == 0) {
        delete old; // cuts every network wait short and closes the connection
        return;
    }
    // Inside one of its own events: cancelled now, freed once that is over.
    old->Cancel();
    QTimer::singleShot(0, this, [old] { delete old; });
}
