#pragma once

#include "storage/ERegFileError.h"
#include "storage/RegistryRoot.h"
#include "storage/TaggedValue.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <optional>

enum TRootKey {
    hkClassesRoot = 0,
    hkCurrentUser = 1,
    hkLocalMachine = 2,
    hkUsers = 3,
    hkCurrentConfig = 4,
    hkDynData = 5,
};

// Reads and writes single settings values below a root and a key path. No
// key stays open between calls: each read or write opens (creating when
// needed) its key and closes it again, also when it fails.
//
// hkCurrentUser is the user's settings file; hkClassesRoot answers file type
// names read-only from the MIME database; the other roots are empty.
// Failures raise ERegFileError.
class TRegFile : public QObject {
    Q_OBJECT
public:
    explicit TRegFile(QObject *parent = nullptr);
    ~TRegFile() override;

    TRootKey RootKey() const { return rootKey; }
    void setRootKey(TRootKey root) { rootKey = root; }
    // Path below the root, without a leading backslash.
    QString Key() const { return key; }
    void setKey(const QString &path) { key = path; }

    // Opens `keyPath` below the root; creates it unless `openOnly`, the path
    // is empty or the root is hkDynData. A key that cannot be opened gives
    // false when `openOnly`, otherwise raises "Can't open a Key".
    virtual bool OpenKey(const QString &keyPath, bool openOnly);
    virtual void CloseKey();

    // Keeps the code as the last result; non-zero raises "Reg Error: %8.8X".
    void CheckResult(int32_t result);
    // Size of a value of the open key (empty name: the default value), or -1.
    int GetDataSize(const QString &valueName, uint32_t &regType);
    uint32_t ReadData(const QString &valueName, void *buffer, int size);
    void WriteData(const QString &valueName, const void *buffer, uint32_t regType, int size);

    // `name` may start with a sub-key path: "sub\value". A missing value
    // reads as null, a value of an unsupported type or size as empty.
    void ReadValue(const QString &name, TaggedValue &value);
    void WriteValue(const QString &name, const TaggedValue &value);
    // ReadValue, with `def` in place of a null result.
    void ReadValueDef(const QString &name, const TaggedValue &def, TaggedValue &value);

    int32_t lastResult() const { return result; }
    bool isKeyOpen() const { return openKeyPath.has_value(); }

    // Splits at the last lone backslash; a doubled one never splits.
    static void splitValueName(const QString &name, QString &path, QString &valueName);

    // Once per process, the message that the settings file could not be used
    // and defaults are in force; empty when all is well.
    static QString takeStartupWarning();
    // After the settings file could not be written and the user was told:
    // changes that cannot be written are kept for this run only, silently.
    static void keepUnwrittenChanges();
    // The file behind hkCurrentUser; an empty path restores the default
    // (settings.dat in the application's per-user config folder). The next
    // access reads it afresh.
    static void useSettingsFile(const QString &path);
    static QString settingsFilePath();

private:
    RegistryRoot &root() const;
    QString keyPathFor(const QString &pathPart) const;
    template <typename Body> void withKey(const QString &name, Body body);

    TRootKey rootKey = hkCurrentUser;
    QString key;
    std::optional<QString> openKeyPath;
    int32_t result = 0;
};
