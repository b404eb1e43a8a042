#pragma once

#include <QString>

// A name from a server made fit to be a local file's name: control
// characters (C0, DEL, C1) and the marks that reorder text on screen (a
// right-to-left override can make "txt.exe" show as "exe.txt") become "_".
// Anything else stays as it is; the caller has already cut the name to its
// last path part.
namespace LocalName {

QString fromServerName(const QString &name);

} // namespace LocalName
