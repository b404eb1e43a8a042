#include "storage/SiteBook.h"

#include "storage/DataFileMagic.h"
#include "storage/DataFileSave.h"
#include "storage/FixedSlot.h"

#include <QFile>

const QString SiteBook::kFileName = QStringLiteral("myFtpSites.dat");
const QString SiteBook::kInvalidMessage = QStringLiteral("Invalid Sites File.");
const QString SiteBook::kRejectedSuffix = QStringLiteral(".rejected");

SiteBook::SiteBook(const QString &dataFolder) : folder(dataFolder) { }

SiteBook::~SiteBook()
{
    FreeSiteList();
}

QString SiteBook::defaultFolder()
{
    return DataFileSave::defaultFolder();
}

QString SiteBook::filePath() const
{
    return folder + QLatin1Char('/') + kFileName;
}

QByteArray SiteBook::encodeRecord(const TSiteRecord &site)
{
    QByteArray record(kRecordSize, '\0');
    char *r = record.data();
    FixedSlot::write(site.FTPSite, r + kSiteOffset, kSiteSize);
    FixedSlot::write(site.Description, r + kDescriptionOffset, kDescriptionSize);
    FixedSlot::write(site.Login, r + kLoginOffset, kLoginSize);
    FixedSlot::write(site.Password, r + kPasswordOffset, kPasswordSize);
    FixedSlot::write(site.Directory, r + kDirectoryOffset, kDirectorySize);
    return record;
}

TSiteRecord SiteBook::decodeRecord(const QByteArray &bytes)
{
    QByteArray record = bytes.left(kRecordSize);
    // A short final record (a file cut off) keeps what it has; the rest is zeros.
    record.append(QByteArray(kRecordSize - record.size(), '\0'));
    const char *r = record.constData();
    TSiteRecord site;
    site.FTPSite = FixedSlot::read(r + kSiteOffset, kSiteSize);
    site.Description = FixedSlot::read(r + kDescriptionOffset, kDescriptionSize);
    site.Login = FixedSlot::read(r + kLoginOffset, kLoginSize);
    site.Password = FixedSlot::read(r + kPasswordOffset, kPasswordSize);
    site.Directory = FixedSlot::read(r + kDirectoryOffset, kDirectorySize);
    return site;
}

SiteBook::LoadResult SiteBook::LoadSiteBook(const RecordVisitor &visit)
{
    LoadResult result;
    rejectedOnDisk = false;
    QFile file(filePath());
    if (!file.open(QIODevice::ReadOnly))
        return result;
    if (file.read(dataFileMagic().size()) != dataFileMagic()) {
        result.status = LoadStatus::Invalid;
        rejectedOnDisk = true;
        return result;
    }
    result.status = LoadStatus::Loaded;
    for (;;) {
        const QByteArray bytes = file.read(kRecordSize);
        if (bytes.isEmpty())
            break;
        TSiteRecord *site = InsertSite(decodeRecord(bytes));
        if (visit)
            visit(*site);
        ++result.count;
    }
    return result;
}

void SiteBook::SaveSiteBook() const
{
    QByteArray bytes = dataFileMagic();
    for (const TSiteRecord *site = first; site; site = site->next) {
        if (!site->Deleted && !site->Unsaved)
            bytes += encodeRecord(*site);
    }
    DataFileSave::save(filePath(), bytes, rejectedOnDisk, kRejectedSuffix);
}

TSiteRecord *SiteBook::FindSite(const QString &description) const
{
    for (TSiteRecord *site = first; site; site = site->next) {
        if (!site->Deleted && site->Description == description)
            return site;
    }
    return nullptr;
}

void SiteBook::FreeSiteList()
{
    while (first) {
        TSiteRecord *next = first->next;
        delete first;
        first = next;
    }
}

TSiteRecord *SiteBook::InsertSite(const TSiteRecord &fields)
{
    auto *site = new TSiteRecord(fields);
    site->next = first;
    first = site;
    return site;
}
