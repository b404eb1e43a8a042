#pragma once

#include "ftp/FtpFind.h"
#include "ftp/InternetHandle.h"
#include "ftp/WinInet.h"

#include <memory>

// How every entry point of the layer (FTP and the other protocols alike)
// hands back its outcome: the thread's last error, the status callback's
// completion and creation reports, and the publishing of a new handle.
namespace LayerResults {

// The handle `value` names, when it is of `kind`; else null and `code` set.
template <typename T = InternetHandle>
std::shared_ptr<T> lookUp(HINTERNET value, HandleKind kind, DWORD &code)
{
    auto handle = HandleTable::find(value);
    if (!handle)
        code = ERROR_INVALID_HANDLE;
    else if (handle->kind() != kind)
        code = ERROR_INTERNET_INCORRECT_HANDLE_TYPE;
    else
        return std::static_pointer_cast<T>(handle);
    return nullptr;
}

BOOL fail(DWORD code);
BOOL succeed();
BOOL asResult(DWORD code);
void reportComplete(InternetHandle &handle, DWORD code, DWORD_PTR result);
void reportCreated(InternetHandle &handle);
// Publishes a new handle; false when its parent was closed meanwhile (the
// handle is closed with it and must not stay in the table).
bool publish(const std::shared_ptr<InternetHandle> &handle);
// The end of a successful find: its first entry to the caller, the handle
// published and reported; null (and the error set) when it was closed meanwhile.
// The end of a call that opens a file: when `code` failed, the handle (if
// made) is closed with it; otherwise it is published and reported created.
// Null, and the error set, when it failed or was closed meanwhile.
HINTERNET handOverFile(const std::shared_ptr<InternetHandle> &file, DWORD code);
HINTERNET handOverFind(const std::shared_ptr<FtpFind> &find, TWin32FindData *firstEntry);

} // namespace LayerResults
