#include "platform/UrlOpener.h"

#include <QDesktopServices>

namespace {

UrlOpener::Opener &installed()
{
    static UrlOpener::Opener opener;
    return opener;
}

} // namespace

bool UrlOpener::open(const QUrl &url)
{
    return installed() ? installed()(url) : QDesktopServices::openUrl(url);
}

void UrlOpener::install(Opener opener)
{
    installed() = std::move(opener);
}
