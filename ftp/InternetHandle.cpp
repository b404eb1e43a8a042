#include "ftp/InternetHandle.h"

#include <algorithm>
#include <chrono>
#include <unordered_map>

namespace {

std::atomic<uintptr_t> nextHandleValue { 0x10 };

HINTERNET newHandleValue()
{
    return reinterpret_cast<HINTERNET>(nextHandleValue.fetch_add(4));
}

std::mutex defaultsMutex;
FtpTimeouts processDefaults;

struct Table {
    std::mutex mutex;
    std::unordered_map<HINTERNET, std::shared_ptr<InternetHandle>> handles;
};

Table &table()
{
    static Table *t = new Table; // never destroyed: handles may be closed at exit
    return *t;
}

thread_local DWORD lastError = ERROR_SUCCESS;
thread_local int lastResponseCode = 0;
thread_local std::string lastResponseText;

} // namespace

InternetHandle::InternetHandle(
    HandleKind kind, std::shared_ptr<InternetHandle> parent, DWORD_PTR context)
    : handleKind(kind), handleId(newHandleValue()), handleContext(context),
      parentHandle(std::move(parent)),
      handleTimeouts(parentHandle ? parentHandle->timeouts() : defaultTimeouts())
{
}

InternetHandle::~InternetHandle() = default;

FtpTimeouts InternetHandle::timeouts() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return handleTimeouts;
}

void InternetHandle::setTimeouts(const FtpTimeouts &value)
{
    std::lock_guard<std::mutex> lock(mutex);
    handleTimeouts = value;
}

INTERNET_STATUS_CALLBACK InternetHandle::setCallback(INTERNET_STATUS_CALLBACK value)
{
    return callback.exchange(value);
}

void InternetHandle::reportStatus(DWORD status, void *info, DWORD infoLength)
{
    for (InternetHandle *h = this; h; h = h->parentHandle.get()) {
        if (INTERNET_STATUS_CALLBACK cb = h->callback.load()) {
            cb(handleId, handleContext, status, info, infoLength);
            return;
        }
    }
}

bool InternetHandle::beginCall()
{
    std::unique_lock<std::mutex> lock(mutex);
    // A stopped worker does not queue behind another call either.
    while (busy && !closed.load()) {
        if (CancelToken::threadInterrupted())
            return false;
        idle.wait_for(lock, std::chrono::milliseconds(50));
    }
    if (closed.load())
        return false;
    busy = true;
    return true;
}

bool InternetHandle::tryBeginCall()
{
    std::lock_guard<std::mutex> lock(mutex);
    if (busy || closed.load())
        return false;
    busy = true;
    return true;
}

void InternetHandle::endCall()
{
    bool mustRelease = false;
    {
        std::lock_guard<std::mutex> lock(mutex);
        busy = false;
        mustRelease = closed.load();
    }
    idle.notify_all();
    if (mustRelease)
        releaseOnce();
}

void InternetHandle::releaseOnce()
{
    if (!released.exchange(true))
        release();
}

bool InternetHandle::addChild(const std::shared_ptr<InternetHandle> &child)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (closed.load())
        return false;
    children.erase(std::remove_if(children.begin(), children.end(),
                       [](const std::weak_ptr<InternetHandle> &w) { return w.expired(); }),
        children.end());
    children.push_back(child);
    return true;
}

DWORD InternetHandle::closeTree()
{
    std::vector<std::weak_ptr<InternetHandle>> kids;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (closed.load())
            return ERROR_SUCCESS;
        kids.swap(children);
    }
    // Children go first: a transfer reads its final reply over the connection.
    for (auto &weak : kids) {
        if (auto child = weak.lock()) {
            HandleTable::remove(child->id());
            child->closeTree();
        }
    }
    return closeSelf();
}

DWORD InternetHandle::closeSelf()
{
    bool finishHere = false;
    {
        std::lock_guard<std::mutex> lock(mutex);
        closed.store(true, std::memory_order_release);
        if (!busy) {
            busy = true;
            finishHere = true;
        }
    }
    DWORD result = ERROR_SUCCESS;
    if (finishHere) {
        result = finishGracefully();
        releaseOnce();
        std::lock_guard<std::mutex> lock(mutex);
        busy = false;
    }
    token.cancel(); // ends a call blocked on the network; it releases on its way out
    idle.notify_all();
    return result;
}

namespace HandleTable {

void add(const std::shared_ptr<InternetHandle> &handle)
{
    std::lock_guard<std::mutex> lock(table().mutex);
    table().handles[handle->id()] = handle;
}

std::shared_ptr<InternetHandle> find(HINTERNET value)
{
    if (!value)
        return nullptr;
    std::lock_guard<std::mutex> lock(table().mutex);
    auto it = table().handles.find(value);
    return it == table().handles.end() ? nullptr : it->second;
}

std::shared_ptr<InternetHandle> remove(HINTERNET value)
{
    if (!value)
        return nullptr;
    std::shared_ptr<InternetHandle> found;
    std::lock_guard<std::mutex> lock(table().mutex);
    auto it = table().handles.find(value);
    if (it != table().handles.end()) {
        found = std::move(it->second);
        table().handles.erase(it);
    }
    return found;
}

size_t size()
{
    std::lock_guard<std::mutex> lock(table().mutex);
    return table().handles.size();
}

} // namespace HandleTable

namespace ThreadState {

void setError(DWORD code)
{
    lastError = code;
}

DWORD error()
{
    return lastError;
}

void setResponse(int code, const std::string &text)
{
    lastResponseCode = code;
    lastResponseText = text;
}

int responseCode()
{
    return lastResponseCode;
}

const std::string &responseText()
{
    return lastResponseText;
}

} // namespace ThreadState

FtpTimeouts defaultTimeouts()
{
    std::lock_guard<std::mutex> lock(defaultsMutex);
    return processDefaults;
}

void setDefaultTimeouts(const FtpTimeouts &value)
{
    std::lock_guard<std::mutex> lock(defaultsMutex);
    processDefaults = value;
}
