#pragma once

// For tests of the real main window (they link vrex_gui).

#include "ScriptedPrompts.h"
#include "TestEnvironment.h"

#include "app/TForm1.h"
#include "app/VrexApplication.h"
#include "platform/IconList.h"
#include "storage/SiteBook.h"
#include "storage/TRegFile.h"
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

// The start of a window test: no site book or settings left by an earlier
// one, and prompts of its own.
inline void startWindowTest(std::unique_ptr<ScriptedPrompts> &prompts)
{
    QFile::remove(SiteBook().filePath());
    QFile::remove(TRegFile::settingsFilePath());
    prompts = std::make_unique<ScriptedPrompts>();
}

// The end of a window test: its window (if any) closed as a user closes it,
// then its prompts gone.
inline void endWindowTest(std::unique_ptr<TForm1> &form, std::unique_ptr<ScriptedPrompts> &prompts)
{
    if (form) {
        form->FormClose();
        form.reset();
    }
    prompts.reset();
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
