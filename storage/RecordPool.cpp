#include "storage/RecordPool.h"

#include <cstring>
#include <new>

void *RecordPool::allocate(std::size_t size)
{
    if (size == 0 || size > kBlockSize)
        throw std::bad_alloc();
    if (blocks.empty() || used + size > kBlockSize) {
        blocks.emplace_back(new unsigned char[kBlockSize]);
        used = 0;
    }
    unsigned char *record = blocks.back().get() + used;
    used += size;
    std::memset(record, 0, size);
    return record;
}

void RecordPool::release()
{
    blocks.clear();
    used = 0;
}
