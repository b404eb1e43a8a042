#pragma once

#include "storage/RegistryRoot.h"

// The classes root, answered from the desktop's MIME database and never
// written: key ".txt" has the default value "text/plain" (the class name),
// key "text/plain" has its description ("Plain text document").
class MimeClassesRoot : public RegistryRoot {
public:
    // A missing key may be "created" (opened for a read that finds nothing),
    // but nothing is ever created here.
    int32_t openKey(const QString &path, bool create) override;
    int32_t queryValue(
        const QString &keyPath, const QString &name, uint32_t &type, QByteArray &data) override;
    int32_t setValue(const QString &keyPath, const QString &name, uint32_t type,
        const QByteArray &data) override;

private:
    // The default value of a key, or a null string when there is no such key.
    static QString defaultValueOf(const QString &keyPath);
};
