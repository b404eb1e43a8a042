#pragma once

#include <cstddef>
#include <memory>
#include <vector>

// Hands out fixed-size records carved from 32000-byte blocks, so a large
// listing costs one allocation per hundred entries. Records are never freed
// one by one: the pool is released whole.
class RecordPool {
public:
    static constexpr std::size_t kBlockSize = 32000;

    RecordPool() = default;
    RecordPool(const RecordPool &) = delete;
    RecordPool &operator=(const RecordPool &) = delete;

    // A zero-filled record of `size` bytes (at most kBlockSize), valid until release().
    void *allocate(std::size_t size);
    void release();

    std::size_t blockCount() const { return blocks.size(); }
    bool isEmpty() const { return blocks.empty(); }

    template <typename T> T *allocateRecord()
    {
        static_assert(sizeof(T) <= kBlockSize);
        return static_cast<T *>(allocate(sizeof(T)));
    }

private:
    std::vector<std::unique_ptr<unsigned char[]>> blocks;
    std::size_t used = 0;
};

// The three pools of the window: upload records, the directory map, watch records.
enum class PoolId { Uploads = 1, DirectoryMap = 2, Watches = 3 };
