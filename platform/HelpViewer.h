#pragma once

#include <QPointer>
#include <QUrl>

class QTextBrowser;
class QWidget;

// The program's help: our own HTML pages, compiled in as resources under
// qrc:/help/, shown in one non-modal window that lives until quit().
class HelpViewer {
public:
    HelpViewer() = default;
    ~HelpViewer();
    HelpViewer(const HelpViewer &) = delete;
    HelpViewer &operator=(const HelpViewer &) = delete;

    static QUrl contentsUrl();

    // Opens the window at the contents page, or brings it back to the front
    // at that page when it is already open.
    void showContents();
    // Closes the window; the next showContents() opens it again.
    void quit();

    QWidget *window() const { return helpWindow; }
    QTextBrowser *browser() const { return textBrowser; }

private:
    void createWindow();

    QPointer<QWidget> helpWindow;
    QTextBrowser *textBrowser = nullptr;
};
