#include "transfers/TransferSpeed.h"

void TransferSpeed::add(int64_t ms, int64_t bytes)
{
    // A transfer started over counts anew.
    if (!samples.empty() && bytes < samples.back().second)
        samples.clear();
    samples.emplace_back(ms, bytes);
    // Keep one sample older than the window, so the window is always spanned.
    while (samples.size() > 2 && samples[1].first <= ms - windowMs)
        samples.pop_front();
}

double TransferSpeed::bytesPerSecond() const
{
    if (samples.size() < 2)
        return -1;
    const auto &[firstMs, firstBytes] = samples.front();
    const auto &[lastMs, lastBytes] = samples.back();
    if (lastMs - firstMs < 100)
        return -1;
    return double(lastBytes - firstBytes) * 1000.0 / double(lastMs - firstMs);
}
