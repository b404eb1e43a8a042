#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

// Registry value types that the settings store keeps.
constexpr uint32_t REG_NONE = 0;
constexpr uint32_t REG_SZ = 1;
constexpr uint32_t REG_BINARY = 3;
constexpr uint32_t REG_DWORD = 4;

// Result codes, numbered as the Windows registry numbers them so that the
// messages read the same.
namespace RegResult {
constexpr int32_t Success = 0;
constexpr int32_t FileNotFound = 2;
constexpr int32_t AccessDenied = 5;
constexpr int32_t InvalidHandle = 6;
constexpr int32_t InvalidParameter = 87;
constexpr int32_t MoreData = 234;
constexpr int32_t CantWrite = 1013;
} // namespace RegResult

// One registry root. Keys are addressed by their path below the root,
// components separated by backslashes; names compare without regard to case.
class RegistryRoot {
public:
    virtual ~RegistryRoot() = default;

    // Checks that the key exists, or creates it (with its parents) when
    // `create` is set.
    virtual int32_t openKey(const QString &path, bool create) = 0;
    // Type and bytes of a value of an existing key; an empty name is the
    // key's default value.
    virtual int32_t queryValue(
        const QString &keyPath, const QString &name, uint32_t &type, QByteArray &data)
        = 0;
    virtual int32_t setValue(
        const QString &keyPath, const QString &name, uint32_t type, const QByteArray &data)
        = 0;
};
