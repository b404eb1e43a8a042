#pragma once

#include <QUrl>

#include <functional>

// Opens web addresses with the desktop's browser. Tests put an opener of
// their own in place, so that no browser is ever started from a test.
class UrlOpener {
public:
    using Opener = std::function<bool(const QUrl &)>;

    // Whether a browser took the address; for a local file, whether the
    // desktop has a program for its type.
    static bool open(const QUrl &url);
    // An empty opener restores the desktop's.
    static void install(Opener opener);
};
