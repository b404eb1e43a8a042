#pragma once

#include <QString>

// "Show in Folder": the desktop's file manager opens the file's folder with
// the file selected (org.freedesktop.FileManager1.ShowItems on the session
// bus); without one, the folder opens with the desktop's default program.
namespace FileManagerReveal {

void showItem(const QString &localPath);

} // namespace FileManagerReveal
