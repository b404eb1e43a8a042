#pragma once

#include "ftp/Win32FindData.h"

#include <QString>

#include <cstdint>
#include <vector>

// Pure rules of a whole-folder transfer or delete: paths inside the walked
// tree, which names can land on this computer, when a walked folder is a
// link back to one above it, and what to do with files already there.
namespace FolderTree {

// One file found below a walked folder. `relativePath` starts with the
// walked folder's own name ("docs/a/b/c.txt"), so it lands below the chosen
// local folder as it was on the server.
struct File {
    QString remotePath;
    QString relativePath;
    TWin32FindData entry {};
};

// One folder of the walk (the walked folders themselves included).
struct Folder {
    QString remotePath;
    QString relativePath;
    int depth = 0; // 0: a walked folder
    bool link = false; // a link back to a folder above it: deleted as a name, never entered
};

// "/a" + "b" -> "/a/b"; "/" + "b" -> "/b".
QString join(const QString &folder, const QString &name);
// "/a//b/./c/../d" -> "/a/b/d": one spelling for one place.
QString normalPath(const QString &path);
// The last part of a path ("/a/b" -> "b"; "/" -> "").
QString lastPart(const QString &path);

// A server's name that can be a local file's name exactly as it is. Names
// that are not ("..", control characters, marks that reorder text, more
// bytes than a local name holds) are reported, never altered into another.
bool fitsLocally(const QString &name);

// What a folder's listing holds, as one number: a folder that lists exactly
// as one above it is the same folder reached through a link.
uint64_t signature(const std::vector<TWin32FindData> &entries);

// The one answer for the files a folder transfer would replace.
enum class Existing { Overwrite, OverwriteIfNewer, SkipExisting, Cancel };
// Whether a file goes, given the answer and both copies' write times.
bool transfers(Existing rule, bool targetExists, const TFileTime &source, const TFileTime &target);

} // namespace FolderTree
