#include "storage/WatchFile.h"

#include "storage/DataFileMagic.h"
#include "storage/DataFileSave.h"
#include "storage/FixedSlot.h"

#include <QFile>

#include <cstring>

const QString WatchFile::kFileName = QStringLiteral("myFtpWatches.dat");
const QString WatchFile::kInvalidMessage = QStringLiteral("Invalid Watch File.");
const QString WatchFile::kRejectedSuffix = QStringLiteral(".rejected");

static_assert(WatchFile::kEntryOffset + sizeof(TWin32FindData) == WatchFile::kRecordSize);

WatchFile::WatchFile(const QString &dataFolder) : folder(dataFolder) { }

QString WatchFile::defaultFolder()
{
    return DataFileSave::defaultFolder();
}

QString WatchFile::filePath() const
{
    return folder + QLatin1Char('/') + kFileName;
}

namespace {

void writeSlot(const QString &text, const WatchRecord &record, char *r, int offset, int size)
{
    const char *was = record.stored.constData() + offset;
    if (record.stored.size() == WatchFile::kRecordSize && FixedSlot::read(was, size) == text)
        std::memcpy(r + offset, was, size_t(size));
    else
        FixedSlot::write(text, r + offset, size);
}

} // namespace

QByteArray WatchFile::encodeRecord(const WatchRecord &record)
{
    QByteArray bytes(kRecordSize, '\0');
    char *r = bytes.data();
    writeSlot(record.name, record, r, kNameOffset, kNameSize);
    writeSlot(record.host, record, r, kHostOffset, kHostSize);
    writeSlot(record.login, record, r, kLoginOffset, kLoginSize);
    writeSlot(record.password, record, r, kPasswordOffset, kPasswordSize);
    std::memcpy(r + kEntryOffset, &record.entry, sizeof record.entry);
    return bytes;
}

WatchRecord WatchFile::decodeRecord(const char *r)
{
    WatchRecord record;
    record.name = FixedSlot::read(r + kNameOffset, kNameSize);
    record.host = FixedSlot::read(r + kHostOffset, kHostSize);
    record.login = FixedSlot::read(r + kLoginOffset, kLoginSize);
    record.password = FixedSlot::read(r + kPasswordOffset, kPasswordSize);
    std::memcpy(&record.entry, r + kEntryOffset, sizeof record.entry);
    record.stored = QByteArray(r, kRecordSize);
    return record;
}

WatchFile::LoadResult WatchFile::parse(const QByteArray &bytes)
{
    LoadResult result;
    if (!bytes.startsWith(dataFileMagic())) {
        result.status = LoadStatus::Invalid;
        return result;
    }
    result.status = LoadStatus::Loaded;
    const int magic = int(dataFileMagic().size());
    for (qsizetype at = magic; at + kRecordSize <= bytes.size(); at += kRecordSize)
        result.records.push_back(decodeRecord(bytes.constData() + at));
    return result;
}

QByteArray WatchFile::serialize(const std::vector<WatchRecord> &records)
{
    QByteArray bytes = dataFileMagic();
    bytes.reserve(bytes.size() + qsizetype(records.size()) * kRecordSize);
    for (const WatchRecord &record : records)
        bytes += encodeRecord(record);
    return bytes;
}

WatchFile::LoadResult WatchFile::load()
{
    rejectedOnDisk = false;
    QFile file(filePath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    LoadResult result = parse(file.readAll());
    rejectedOnDisk = result.status == LoadStatus::Invalid;
    return result;
}

void WatchFile::save(const std::vector<WatchRecord> &records)
{
    DataFileSave::save(filePath(), serialize(records), rejectedOnDisk, kRejectedSuffix);
}
