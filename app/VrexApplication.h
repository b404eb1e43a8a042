#pragma once

#include <QApplication>

#include <exception>

// The application object. An exception that escapes an event handler is
// caught here and its message shown in a box titled "Vrex Explorer", so a
// failed save or settings write never ends the program.
class VrexApplication : public QApplication {
    Q_OBJECT
public:
    VrexApplication(int &argc, char **argv);

    bool notify(QObject *receiver, QEvent *event) override;

    // Shows the message of an exception caught at the event loop.
    static void showException(const std::exception &e);
    // For an exception caught before the event loop runs: it is raised again
    // inside the loop, so it is shown like any other.
    static void deferException(std::exception_ptr error);
};
