#pragma once

#include "ftp/Win32FindData.h"

#include <libssh/sftp.h>

#include <string>

// SFTP attributes as the layer's directory entries.
namespace SftpEntries {

// False for names an entry cannot carry ("", ".", "..", a "/" inside, or
// longer than the record holds).
bool usableName(const std::string &name);

// target: what a link leads to (stat), or null when it is no link or its
// target cannot be read. A link to a folder is a folder that is also a link;
// a link to anything else carries the link mark alone.
TWin32FindData entryFor(const std::string &name, const sftp_attributes_struct &own,
    const sftp_attributes_struct *target);

} // namespace SftpEntries
