#include "ftp/CancelToken.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>

namespace {

thread_local const CancelToken *threadInterrupt = nullptr;

long long nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
               .count()
        + 1; // never 0, which means "not waiting"
}

} // namespace

CancelToken::CancelToken() : eventFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) { }

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

CancelToken::WaitMark::WaitMark() : token(threadInterrupt)
{
    if (token)
        token->waitingSince.store(nowMs());
}

CancelToken::WaitMark::~WaitMark()
{
    if (token)
        token->waitingSince.store(0);
}

long long CancelToken::blockedForMs() const
{
    const long long since = waitingSince.load();
    return since == 0 ? 0 : nowMs() - since;
}
