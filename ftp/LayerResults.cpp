#include "ftp/LayerResults.h"

namespace LayerResults {

BOOL fail(DWORD code)
{
    ThreadState::setError(code);
    return BOOL(0);
}

BOOL succeed()
{
    ThreadState::setError(ERROR_SUCCESS);
    return BOOL(1);
}

BOOL asResult(DWORD code)
{
    return code == ERROR_SUCCESS ? succeed() : fail(code);
}

void reportComplete(InternetHandle &handle, DWORD code, DWORD_PTR result)
{
    INTERNET_ASYNC_RESULT r { code == ERROR_SUCCESS ? result : 0, code };
    handle.reportStatus(INTERNET_STATUS_REQUEST_COMPLETE, &r, sizeof r);
}

void reportCreated(InternetHandle &handle)
{
    INTERNET_ASYNC_RESULT r { reinterpret_cast<DWORD_PTR>(handle.id()), 0 };
    handle.reportStatus(INTERNET_STATUS_HANDLE_CREATED, &r, sizeof r);
}

bool publish(const std::shared_ptr<InternetHandle> &handle)
{
    HandleTable::add(handle);
    if (!handle->isClosed())
        return true;
    HandleTable::remove(handle->id());
    return false;
}

HINTERNET handOverFile(const std::shared_ptr<InternetHandle> &file, DWORD code)
{
    if (code != ERROR_SUCCESS) {
        if (file)
            file->closeTree();
        return fail(code), nullptr;
    }
    if (!publish(file))
        return fail(ERROR_INTERNET_OPERATION_CANCELLED), nullptr;
    reportCreated(*file);
    succeed();
    return file->id();
}

HINTERNET handOverFind(const std::shared_ptr<FtpFind> &find, TWin32FindData *firstEntry)
{
    TWin32FindData first;
    find->next(first);
    if (firstEntry)
        *firstEntry = first;
    if (!publish(find))
        return fail(ERROR_INTERNET_OPERATION_CANCELLED), nullptr;
    reportCreated(*find);
    succeed();
    return find->id();
}

} // namespace LayerResults
