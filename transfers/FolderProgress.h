#pragma once

#include <QLocale>
#include <QString>

#include <cstdint>
#include <unordered_map>
#include <vector>

// How far each folder transfer has come: its files are queue items of
// their own, counted here as they leave the queue.
class FolderProgress {
public:
    // "12 of 1,340 files, 45 MB of 2.1 GB", in the system's number format.
    static QString summaryText(
        int doneFiles, int files, uint64_t doneBytes, uint64_t bytes, const QLocale &locale);

    // The items added from now on form one folder transfer.
    void beginFolder();
    void added(uint64_t itemId, uint64_t bytes);
    // An item left the queue: transferred, or removed by the user (then it
    // no longer counts at all).
    void removed(uint64_t itemId, bool transferred);
    // The summary of the folder transfer the item belongs to; empty for an
    // item of no folder transfer.
    QString summaryOf(uint64_t itemId) const;

private:
    struct Folder {
        int files = 0, doneFiles = 0;
        uint64_t bytes = 0, doneBytes = 0;
    };
    struct Member {
        size_t folder;
        uint64_t bytes;
    };
    std::vector<Folder> folders;
    std::unordered_map<uint64_t, Member> members;
};
