#pragma once

#include "storage/RegistryRoot.h"

// A root the program never uses (local machine, users, ...): it holds no keys
// and takes none.
class EmptyRegistryRoot : public RegistryRoot {
public:
    int32_t openKey(const QString &path, bool create) override
    {
        if (path.isEmpty())
            return RegResult::Success;
        return create ? RegResult::AccessDenied : RegResult::FileNotFound;
    }
    int32_t queryValue(const QString &, const QString &, uint32_t &, QByteArray &) override
    {
        return RegResult::FileNotFound;
    }
    int32_t setValue(const QString &, const QString &, uint32_t, const QByteArray &) override
    {
        return RegResult::AccessDenied;
    }
};
