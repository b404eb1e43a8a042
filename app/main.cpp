#include "app/CommandLine.h"
#include "app/TForm1.h"
#include "app/VrexApplication.h"
#include "platform/IconList.h"
#include "platform/Prompts.h"
#include "platform/SingleInstance.h"
#include "storage/TRegFile.h"
#include "transfers/TransferQueue.h"

#include <QCryptographicHash>
#include <QStandardPaths>
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

QStringList argumentList(int argc, char **argv)
{
    QStringList list;
    for (int i = 0; i < argc; ++i)
        list << QString::fromLocal8Bit(argv[i]);
    return list;
}

// Prints help or version, or what is wrong; -1 when the program should run.
int answerFromCommandLine(const CommandLine &line)
{
    switch (line.kind) {
    case CommandLine::Kind::Help:
        std::fputs(qPrintable(CommandLine::helpText(CommandLine::version())), stdout);
        return 0;
    case CommandLine::Kind::Version:
        std::fputs(qPrintable(CommandLine::versionText(CommandLine::version())), stdout);
        return 0;
    case CommandLine::Kind::Wrong:
        std::fprintf(stderr, "vrex: %s\nTry 'vrex --help'.\n", qPrintable(line.error));
        return 2;
    case CommandLine::Kind::Run:
        break;
    }
    return -1;
}

// One program per set of data files: a start with other data folders (a test,
// the screenshot script) is a program of its own.
QString instanceName()
{
    const QByteArray folder
        = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation).toUtf8();
    return QStringLiteral("vrex-explorer-")
        + QString::fromLatin1(
            QCryptographicHash::hash(folder, QCryptographicHash::Sha1).toHex().left(12));
}

// True when a running program took the address: this start ends then.
bool handedOver(SingleInstance &instance, const QString &url)
{
    if (instance.handOver(url))
        return true;
    QString why;
    if (instance.listen(&why))
        return false;
    // Another start won the race to listen: it takes the address.
    if (instance.handOver(url))
        return true;
    std::fprintf(stderr, "vrex: cannot watch for later starts (%s)\n", qPrintable(why));
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    const CommandLine line = CommandLine::parse(argumentList(argc, argv));
    const int answered = answerFromCommandLine(line);
    if (answered >= 0)
        return answered;
    if (!haveDisplay()) {
        std::fprintf(stderr,
            "Vrex Explorer needs a graphical display, and none was found "
            "(DISPLAY and WAYLAND_DISPLAY are empty).\n"
            "Run it from a desktop session, or on a virtual screen:\n"
            "    xvfb-run -a bash scripts/run.sh\n");
        return 2;
    }
    VrexApplication app(argc, argv);
    SingleInstance instance(instanceName());
    if (handedOver(instance, line.url))
        return 0;
    IconList::setUpTheme();
    app.setWindowIcon(IconList::instance().icon(IconList::instance().programIndex()));

    // What fails before the loop runs is shown like a failure inside it; only
    // a window that could not be made at all ends the program.
    std::unique_ptr<TForm1> form;
    try {
        form = std::make_unique<TForm1>();
        form->createDialogs();
        form->openAtStart(line.url);
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

    QObject::connect(&instance, &SingleInstance::messageReceived, form.get(), &TForm1::handOver);
    if (line.startQueue) {
        TForm1 *window = form.get();
        QTimer::singleShot(0, window, [window] { window->queue().startQueue(false); });
    }
    const QString shot = line.screenshot;
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
