#include "ftp/CancelToken.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

CancelToken::CancelToken()
    : eventFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
}

CancelToken::~CancelToken()
{
    if (eventFd >= 0)
        ::close(eventFd);
}

void CancelToken::cancel()
{
    if (flag.exchange(true, std::memory_order_acq_rel))
        return;
    if (eventFd >= 0) {
        const uint64_t one = 1;
        ssize_t ignored = ::write(eventFd, &one, sizeof one);
        (void)ignored;
    }
}
