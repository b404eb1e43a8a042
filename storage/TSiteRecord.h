#pragma once

#include <QString>

// One site of the site book. Records are owned by the SiteBook and live until
// its list is freed; `next` links them, newest first.
struct TSiteRecord {
    QString FTPSite; // host, as typed
    QString Description; // the site's name; unique, ignoring case
    QString Login; // empty for an anonymous site
    QString Password; // plain text; empty for an anonymous site
    QString Directory; // starting directory, "/" for the root
    bool Deleted = false; // kept in memory, skipped by FindSite and the writer
    // Opened from an address and not saved by the user: found like any other,
    // never written (its password came from the address).
    bool Unsaved = false;
    TSiteRecord *next = nullptr;

    bool isAnonymous() const { return Login.isEmpty() && Password.isEmpty(); }
};
