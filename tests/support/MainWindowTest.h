#pragma once

// For tests of the real main window (they link vrex_gui).

#include "TestEnvironment.h"

#include "app/TForm1.h"
#include "app/VrexApplication.h"
#include "platform/IconList.h"
#include "transfers/QueueFile.h"

#include <QtTest>

#include <memory>

// The main window as the program starts it: dialogs created, shown, exposed.
// The queue a window of an earlier test saved is gone unless kept.
inline std::unique_ptr<TForm1> openMainWindow(bool keepSavedQueue = false)
{
    if (!keepSavedQueue)
        QFile::remove(QueueFile().filePath());
    auto form = std::make_unique<TForm1>();
    // Written for one transfer at a time: the tests of several set their own.
    form->setSimultaneousTransfers([] { return 1; });
    form->createDialogs();
    form->show();
    if (!QTest::qWaitForWindowExposed(form.get()))
        qWarning("main window was not exposed");
    return form;
}

// A QtTest main for window tests: isolated folders, the program's own
// application object (resources, exception handler) and icon theme.
#define VREX_WINDOW_TEST_MAIN(TestClass)                                                           \
    int main(int argc, char **argv)                                                                \
    {                                                                                              \
        TestEnvironment::instance();                                                               \
        VrexApplication app(argc, argv);                                                           \
        IconList::setUpTheme();                                                                    \
        TestClass tc;                                                                              \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }
