#include "app/VrexApplication.h"

#include "app/AppInfo.h"
#include "platform/Prompts.h"

#include <QTimer>

#include <exception>

// The resources live in a static library: naming them here keeps the linker
// from dropping them.
static void initResources()
{
    Q_INIT_RESOURCE(help);
    Q_INIT_RESOURCE(icons);
}

VrexApplication::VrexApplication(int &argc, char **argv) : QApplication(argc, argv)
{
    setOrganizationName(QStringLiteral("Orvane"));
    // No display name: the window system would add " — <display name>" to
    // every window title, and each window's caption is its whole title.
    setApplicationName(AppInfo::kTitle);
    setApplicationVersion(QStringLiteral(PROJECT_VERSION));
    // Lets Wayland desktops match the window to the installed menu entry and icon.
    setDesktopFileName(QStringLiteral(VREX_APP_ID));
    initResources();
}

bool VrexApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception &e) {
        showException(e);
    } catch (...) {
        showException(std::runtime_error("An unexpected error occurred."));
    }
    return false;
}

void VrexApplication::showException(const std::exception &e)
{
    static bool showing = false;
    if (showing) // an exception inside the box's own event loop: do not stack boxes
        return;
    showing = true;
    Prompts::current().message(
        AppInfo::kTitle, QString::fromUtf8(e.what()), QMessageBox::Ok, Prompts::Icon::Error);
    showing = false;
}

void VrexApplication::deferException(std::exception_ptr error)
{
    QTimer::singleShot(0, qApp, [error] { std::rethrow_exception(error); });
}
