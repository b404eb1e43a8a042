#pragma once

#include <cstdint>
#include <deque>
#include <utility>

// Bytes per second over the last few seconds of a transfer, from samples of
// (milliseconds since its start, bytes done). A stall shows as the speed
// falling, not as the average since the start.
class TransferSpeed {
public:
    explicit TransferSpeed(int64_t windowMs = 3000) : windowMs(windowMs) { }

    void clear() { samples.clear(); }
    void add(int64_t ms, int64_t bytes);
    // -1 until two samples lie at least a tenth of a second apart.
    double bytesPerSecond() const;

private:
    int64_t windowMs;
    std::deque<std::pair<int64_t, int64_t>> samples;
};
