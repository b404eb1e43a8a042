#include "transfers/QueueFile.h"

#include "storage/DataFileSave.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstring>

const QString QueueFile::kFileName = QStringLiteral("myQueue.json");
const QString QueueFile::kInvalidMessage = QStringLiteral("Invalid Queue File.");
const QString QueueFile::kRejectedSuffix = QStringLiteral(".rejected");

namespace {

const QString kFormat = QStringLiteral("format");
const QString kFormatName = QStringLiteral("vrex-queue");
const QString kVersion = QStringLiteral("version");
const QString kItems = QStringLiteral("items");
const QString kName = QStringLiteral("name");
const QString kSaveFile = QStringLiteral("saveFile");
const QString kEntry = QStringLiteral("entry");
const QString kActions = QStringLiteral("actions");
const QString kHost = QStringLiteral("host");
const QString kLogin = QStringLiteral("login");
const QString kPassword = QStringLiteral("password");
const QString kAsk = QStringLiteral("askBeforeReplacing");
const QString kState = QStringLiteral("state");
const QString kFailure = QStringLiteral("failure");

// Stable words on disk, whatever the list calls the states.
const char *const kStateWords[] = { "waiting", "in-progress", "failed" };

QJsonObject toJson(const QueueItem &item)
{
    QJsonObject o;
    o.insert(kName, item.name);
    o.insert(kSaveFile, item.saveFile);
    // The record is mostly the zeros of its name's slot: they are left out
    // (a queue may hold a hundred thousand items) and put back at load.
    QByteArray entry(reinterpret_cast<const char *>(&item.entry), sizeof item.entry);
    qsizetype used = entry.size();
    while (used > 0 && entry.at(used - 1) == '\0')
        --used;
    entry.truncate(used);
    o.insert(kEntry, QString::fromLatin1(entry.toBase64()));
    o.insert(kActions, item.actions);
    o.insert(kHost, item.host);
    o.insert(kLogin, item.login);
    o.insert(kPassword, item.password);
    if (item.askBeforeReplacing)
        o.insert(kAsk, true);
    o.insert(kState, QLatin1String(kStateWords[int(item.state)]));
    if (item.state == QueueItemState::Failed)
        o.insert(kFailure, item.failure);
    return o;
}

bool stateOf(const QJsonValue &value, QueueItemState &state)
{
    for (int i = 0; i < 3; ++i)
        if (value.toString() == QLatin1String(kStateWords[i])) {
            state = QueueItemState(i);
            return true;
        }
    return false;
}

bool fromJson(const QJsonValue &value, QueueItem &item)
{
    if (!value.isObject())
        return false;
    const QJsonObject o = value.toObject();
    for (const QString &key : { kName, kSaveFile, kEntry, kActions, kHost })
        if (!o.value(key).isString())
            return false;
    const QByteArray entry = QByteArray::fromBase64(o.value(kEntry).toString().toLatin1(),
        QByteArray::AbortOnBase64DecodingErrors);
    if (entry.size() > qsizetype(sizeof item.entry) || !stateOf(o.value(kState), item.state))
        return false;
    std::memcpy(&item.entry, entry.constData(), size_t(entry.size()));
    item.entry.cFileName[sizeof item.entry.cFileName - 1] = '\0';
    item.name = o.value(kName).toString();
    item.saveFile = o.value(kSaveFile).toString();
    item.actions = o.value(kActions).toString();
    item.host = o.value(kHost).toString();
    item.login = o.value(kLogin).toString();
    item.password = o.value(kPassword).toString();
    item.askBeforeReplacing = o.value(kAsk).toBool(false);
    item.failure = o.value(kFailure).toString();
    return !item.name.isEmpty() && !item.saveFile.isEmpty();
}

} // namespace

QueueFile::QueueFile(const QString &dataFolder) : file(dataFolder, kFileName) { }

QString QueueFile::defaultFolder()
{
    return DataFileSave::defaultFolder();
}

QString QueueFile::filePath() const
{
    return file.path();
}

QByteArray QueueFile::serialize(const std::vector<QueueItem> &items)
{
    QJsonArray all;
    for (const QueueItem &item : items)
        all.append(toJson(item));
    QJsonObject root;
    root.insert(kFormat, kFormatName);
    root.insert(kVersion, 1);
    root.insert(kItems, all);
    return QJsonDocument(root).toJson(QJsonDocument::Compact) + '\n';
}

std::optional<std::vector<QueueItem>> QueueFile::parse(const QByteArray &bytes)
{
    const QJsonDocument document = QJsonDocument::fromJson(bytes);
    const QJsonObject root = document.object();
    if (!document.isObject() || root.value(kFormat).toString() != kFormatName
        || root.value(kVersion).toInt() != 1 || !root.value(kItems).isArray())
        return std::nullopt;
    const QJsonArray all = root.value(kItems).toArray();
    std::vector<QueueItem> items(size_t(all.size()));
    for (qsizetype i = 0; i < all.size(); ++i)
        if (!fromJson(all.at(i), items[size_t(i)]))
            return std::nullopt;
    return items;
}

QueueFile::LoadResult QueueFile::load()
{
    LoadResult result;
    const std::optional<QByteArray> bytes = file.read();
    if (!bytes)
        return result;
    auto items = parse(*bytes);
    if (!items) {
        file.reject();
        result.status = LoadStatus::Invalid;
        return result;
    }
    result.status = LoadStatus::Loaded;
    result.items = std::move(*items);
    return result;
}

void QueueFile::save(const QByteArray &bytes)
{
    file.save(bytes);
}
