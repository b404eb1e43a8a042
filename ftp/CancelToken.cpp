#include "ftp/CancelToken.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace {

thread_local const CancelToken *threadInterrupt = nullptr;

} // namespace

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

void CancelToken::setThreadInterrupt(const CancelToken *token)
{
    threadInterrupt = token;
}

int CancelToken::threadInterruptFd()
{
    return threadInterrupt ? threadInterrupt->fd() : -1;
}

bool CancelToken::threadInterrupted()
{
    return threadInterrupt && threadInterrupt->ownFlag();
}
