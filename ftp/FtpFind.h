#pragma once

#include "ftp/FtpListing.h"
#include "ftp/InternetHandle.h"
#include "ftp/Win32FindData.h"

// A find handle: the entries of one listing, read whole when it was opened,
// handed out one by one by InternetFindNextFileA.
class FtpFind : public InternetHandle {
public:
    FtpFind(std::shared_ptr<InternetHandle> connection, DWORD_PTR context,
        FtpListing::ListedEntries entries)
        : InternetHandle(HandleKind::Find, std::move(connection), context), list(std::move(entries))
    {
    }
    ~FtpFind() override { releaseOnce(); }

    // The entry after the one handed out last; false at the end.
    bool next(TWin32FindData &out)
    {
        if (position >= list.size())
            return false;
        out = list[position++].record();
        return true;
    }
    // The first entry was handed out by FtpFindFirstFileA.
    void skipFirst() { position = list.empty() ? 0 : 1; }

protected:
    void release() override { FtpListing::ListedEntries().swap(list); }

private:
    FtpListing::ListedEntries list;
    size_t position = 0;
};
