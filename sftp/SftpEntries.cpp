#include "sftp/SftpEntries.h"

#include "ftp/FileTime.h"

#include <cstring>

namespace SftpEntries {

bool usableName(const std::string &name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos
        && name.size() < sizeof(TWin32FindData::cFileName);
}

TWin32FindData entryFor(const std::string &name, const sftp_attributes_struct &own,
    const sftp_attributes_struct *target)
{
    TWin32FindData d;
    std::memset(&d, 0, sizeof d);
    std::memcpy(d.cFileName, name.data(), name.size());
    const bool link = own.type == SSH_FILEXFER_TYPE_SYMLINK;
    const sftp_attributes_struct &shown = link && target ? *target : own;
    if (link)
        d.dwFileAttributes = FILE_ATTRIBUTE_REPARSE_POINT;
    if (shown.type == SSH_FILEXFER_TYPE_DIRECTORY)
        d.dwFileAttributes |= FILE_ATTRIBUTE_DIRECTORY;
    if (d.dwFileAttributes == 0)
        d.dwFileAttributes = FILE_ATTRIBUTE_NORMAL;
    if (shown.type != SSH_FILEXFER_TYPE_DIRECTORY && (shown.flags & SSH_FILEXFER_ATTR_SIZE))
        setFileSize(d, shown.size);
    if (shown.flags & SSH_FILEXFER_ATTR_ACMODTIME) {
        // SFTP times are seconds since 1970 in UTC, as the entries keep them.
        d.ftLastWriteTime = FileTime::fromUnixSeconds(int64_t(shown.mtime));
        d.ftLastAccessTime = FileTime::fromUnixSeconds(int64_t(shown.atime));
        d.ftCreationTime = d.ftLastWriteTime;
    }
    return d;
}

} // namespace SftpEntries
