#include "storage/TRegFile.h"

#include "storage/EmptyRegistryRoot.h"
#include "storage/MimeClassesRoot.h"
#include "storage/SettingsStoreFile.h"

#include <QtEndian>

#include <cstring>
#include <memory>

namespace {

// One settings file per process, shared by every TRegFile.
struct UserStore {
    QString path; // empty: the default
    std::unique_ptr<SettingsStoreFile> store;
};

UserStore &userStore()
{
    static UserStore instance;
    return instance;
}

SettingsStoreFile &currentUser()
{
    UserStore &u = userStore();
    if (!u.store)
        u.store = std::make_unique<SettingsStoreFile>(
            u.path.isEmpty() ? SettingsStoreFile::defaultPath() : u.path);
    return *u.store;
}

TaggedValue fromRegistry(uint32_t type, const QByteArray &data)
{
    if (type == REG_SZ) {
        const int end = data.indexOf('\0');
        return TaggedValue(QString::fromUtf8(end < 0 ? data : data.left(end)));
    }
    if (type == REG_BINARY && data.size() == TaggedValue::kRecordSize)
        return TaggedValue::fromRecord(data);
    if (type == REG_DWORD && data.size() == 4)
        return TaggedValue::fromInteger(qFromLittleEndian<int32_t>(data.constData()));
    return TaggedValue();
}

bool toRegistry(const TaggedValue &value, uint32_t &type, QByteArray &data)
{
    switch (value.kind()) {
    case varSmallint:
    case varInteger:
    case varBoolean:
        type = REG_DWORD;
        data = QByteArray(4, '\0');
        qToLittleEndian(value.toInteger(), data.data());
        return true;
    case varSingle:
    case varDouble:
    case varCurrency:
    case varDate:
        type = REG_BINARY;
        data = value.toRecord();
        return true;
    case varString:
        type = REG_SZ;
        data = value.toString().toUtf8();
        data.append('\0');
        return true;
    default:
        return false;
    }
}

} // namespace

TRegFile::TRegFile(QObject *parent) : QObject(parent) { }

TRegFile::~TRegFile() = default;

RegistryRoot &TRegFile::root() const
{
    static MimeClassesRoot classes;
    static EmptyRegistryRoot empty;
    switch (rootKey) {
    case hkCurrentUser:
        return currentUser();
    case hkClassesRoot:
        return classes;
    default:
        return empty;
    }
}

bool TRegFile::OpenKey(const QString &keyPath, bool openOnly)
{
    openKeyPath.reset();
    if (openOnly || keyPath.isEmpty() || rootKey == hkDynData) {
        if (root().openKey(keyPath, false) == RegResult::Success) {
            openKeyPath = keyPath;
            return true;
        }
        if (openOnly)
            return false;
        throw ERegFileError(QStringLiteral("Can't open a Key"));
    }
    CheckResult(root().openKey(keyPath, true));
    openKeyPath = keyPath;
    return true;
}

void TRegFile::CloseKey()
{
    // Closing a key of these stores cannot fail; the last result keeps the
    // code of the operation that went wrong before the close.
    openKeyPath.reset();
}

void TRegFile::CheckResult(int32_t code)
{
    result = code;
    if (code != RegResult::Success)
        throw ERegFileError(QString::asprintf("Reg Error: %8.8X", uint32_t(code)));
}

int TRegFile::GetDataSize(const QString &valueName, uint32_t &regType)
{
    if (!openKeyPath)
        return -1;
    QByteArray data;
    uint32_t type = REG_NONE;
    if (root().queryValue(*openKeyPath, valueName, type, data) != RegResult::Success)
        return -1;
    regType = type;
    return int(data.size());
}

uint32_t TRegFile::ReadData(const QString &valueName, void *buffer, int size)
{
    if (!openKeyPath)
        CheckResult(RegResult::InvalidHandle);
    if (size < 0 || (size > 0 && !buffer))
        CheckResult(RegResult::InvalidParameter);
    QByteArray data;
    uint32_t type = REG_NONE;
    CheckResult(root().queryValue(*openKeyPath, valueName, type, data));
    if (data.size() > size)
        CheckResult(RegResult::MoreData);
    if (!data.isEmpty())
        std::memcpy(buffer, data.constData(), size_t(data.size()));
    return type;
}

void TRegFile::WriteData(const QString &valueName, const void *buffer, uint32_t regType, int size)
{
    if (!openKeyPath)
        CheckResult(RegResult::InvalidHandle);
    if (size < 0 || (size > 0 && !buffer))
        CheckResult(RegResult::InvalidParameter);
    const QByteArray data(static_cast<const char *>(buffer), size);
    CheckResult(root().setValue(*openKeyPath, valueName, regType, data));
}

void TRegFile::splitValueName(const QString &name, QString &path, QString &valueName)
{
    const QChar bs = QLatin1Char('\\');
    for (int i = int(name.size()) - 1; i >= 0; --i) {
        if (name[i] != bs)
            continue;
        const bool doubled
            = (i > 0 && name[i - 1] == bs) || (i + 1 < name.size() && name[i + 1] == bs);
        if (!doubled) {
            path = name.left(i);
            valueName = name.mid(i + 1);
            return;
        }
    }
    path.clear();
    valueName = name;
}

QString TRegFile::keyPathFor(const QString &pathPart) const
{
    if (pathPart.isEmpty())
        return key;
    return pathPart.startsWith(QLatin1Char('\\')) ? key + pathPart
                                                  : key + QLatin1Char('\\') + pathPart;
}

template <typename Body> void TRegFile::withKey(const QString &name, Body body)
{
    QString pathPart, valueName;
    splitValueName(name, pathPart, valueName);
    OpenKey(keyPathFor(pathPart), false);
    try {
        body(valueName);
    } catch (...) {
        CloseKey();
        throw;
    }
    CloseKey();
}

void TRegFile::ReadValue(const QString &name, TaggedValue &value)
{
    value = TaggedValue::null();
    withKey(name, [&](const QString &valueName) {
        uint32_t type = REG_NONE;
        const int size = GetDataSize(valueName, type);
        if (size <= 0)
            return;
        QByteArray buffer(size, '\0');
        type = ReadData(valueName, buffer.data(), size);
        value = fromRegistry(type, buffer);
    });
}

void TRegFile::WriteValue(const QString &name, const TaggedValue &value)
{
    withKey(name, [&](const QString &valueName) {
        uint32_t type = REG_NONE;
        QByteArray data;
        if (!toRegistry(value, type, data))
            throw ERegFileError(QStringLiteral("Invalid variant type"));
        WriteData(valueName, data.constData(), type, int(data.size()));
    });
}

void TRegFile::ReadValueDef(const QString &name, const TaggedValue &def, TaggedValue &value)
{
    ReadValue(name, value);
    if (value.isNull())
        value = def;
}

QString TRegFile::takeStartupWarning()
{
    return currentUser().takeLoadWarning();
}

void TRegFile::keepUnwrittenChanges()
{
    currentUser().keepUnwrittenChanges();
}

void TRegFile::useSettingsFile(const QString &path)
{
    userStore().path = path;
    userStore().store.reset();
}

QString TRegFile::settingsFilePath()
{
    return currentUser().path();
}
