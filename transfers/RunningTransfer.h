#pragma once

#include <QString>

#include <cstdint>

// What the transfer panel shows of one queue item while it runs.
struct RunningTransfer {
    uint64_t id = 0; // the queue item's id
    QString name; // the remote path of a download, the local path of an upload
    int64_t bytesDone = 0;
    int64_t size = 0; // 0: unknown
    double speed = -1; // bytes per second over the last seconds; -1: not known yet
    int64_t elapsedMs = 0; // since the item started: the remaining time of a lone item
};
