#include "app/TForm1.h"
#include "app/VrexApplication.h"
#include "platform/IconList.h"
#include "platform/Prompts.h"
#include "storage/TRegFile.h"

#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

bool haveDisplay()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY")
        || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        || !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

// --screenshot FILE: render the window once it has settled, then quit.
QString screenshotTarget(const QStringList &args)
{
    const int at = int(args.indexOf(QStringLiteral("--screenshot")));
    return at >= 0 && at + 1 < args.size() ? args[at + 1] : QString();
}

} // namespace

int main(int argc, char **argv)
{
    if (!haveDisplay()) {
        std::fprintf(stderr,
            "Vrex Explorer needs a graphical display, and none was found "
            "(DISPLAY and WAYLAND_DISPLAY are empty).\n"
            "Run it from a desktop session, or on a virtual screen:\n"
            "    xvfb-run -a bash scripts/run.sh\n");
        return 2;
    }
    VrexApplication app(argc, argv);
    IconList::setUpTheme();
    app.setWindowIcon(IconList::instance().icon(IconList::instance().programIndex()));

    // What fails before the loop runs is shown like a failure inside it; only
    // a window that could not be made at all ends the program.
    std::unique_ptr<TForm1> form;
    try {
        form = std::make_unique<TForm1>();
        form->createDialogs();
        form->show();
    } catch (const std::exception &e) {
        if (!form) {
            VrexApplication::showException(e);
            return 1;
        }
        VrexApplication::deferException(std::current_exception());
    }

    const QString warning = TRegFile::takeStartupWarning();
    if (!warning.isEmpty())
        QTimer::singleShot(0, form.get(), [warning] { Prompts::error(warning); });

    const QString shot = screenshotTarget(app.arguments());
    if (!shot.isEmpty()) {
        TForm1 *window = form.get();
        QTimer::singleShot(2000, window, [window, shot] {
            const bool saved = window->grab().save(shot);
            std::fprintf(stderr, saved ? "Saved %s\n" : "Could not save %s\n", qPrintable(shot));
            QCoreApplication::exit(saved ? 0 : 1);
        });
    }
    return app.exec();
}
