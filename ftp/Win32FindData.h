#pragma once

#include <cstddef>
#include <cstdint>

// A time stamp in 100-nanosecond units since 1601-01-01, low word first.
struct TFileTime {
    uint32_t dwLowDateTime;
    uint32_t dwHighDateTime;
};

#pragma pack(push, 1)
// One directory entry, laid out byte for byte as the ANSI find-data record:
// it is copied, pooled and written to the watch file as one 320-byte block.
struct TWin32FindData {
    uint32_t dwFileAttributes;
    TFileTime ftCreationTime;
    TFileTime ftLastAccessTime;
    TFileTime ftLastWriteTime;
    uint32_t nFileSizeHigh;
    uint32_t nFileSizeLow;
    uint32_t dwReserved0;
    uint32_t dwReserved1;
    char cFileName[260];
    char cAlternateFileName[14];
    char padding[2];
};
#pragma pack(pop)

using PTWin32FindData = TWin32FindData *;

constexpr uint32_t FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr uint32_t FILE_ATTRIBUTE_NORMAL = 0x80;
// A symbolic link. Alone it marks a link whose listing did not tell whether
// it leads to a folder or a file; with FILE_ATTRIBUTE_DIRECTORY, a link known
// to lead to a folder.
constexpr uint32_t FILE_ATTRIBUTE_REPARSE_POINT = 0x400;

static_assert(sizeof(TWin32FindData) == 320, "entry record is 320 bytes");
static_assert(offsetof(TWin32FindData, ftCreationTime) == 4);
static_assert(offsetof(TWin32FindData, ftLastAccessTime) == 12);
static_assert(offsetof(TWin32FindData, ftLastWriteTime) == 20);
static_assert(offsetof(TWin32FindData, nFileSizeHigh) == 28);
static_assert(offsetof(TWin32FindData, nFileSizeLow) == 32);
static_assert(offsetof(TWin32FindData, dwReserved0) == 36);
static_assert(offsetof(TWin32FindData, cFileName) == 44);
static_assert(offsetof(TWin32FindData, cAlternateFileName) == 304);

inline bool isDirectory(const TWin32FindData &d)
{
    return (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

inline bool isUnresolvedLink(const TWin32FindData &d)
{
    return (d.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && !isDirectory(d);
}

inline uint64_t fileSize(const TWin32FindData &d)
{
    return (uint64_t(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
}

inline void setFileSize(TWin32FindData &d, uint64_t size)
{
    d.nFileSizeHigh = uint32_t(size >> 32);
    d.nFileSizeLow = uint32_t(size & 0xffffffffu);
}
