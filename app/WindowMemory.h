#pragma once

#include <QString>

class ListingView;
class QMainWindow;
class TRegFile;
struct MainLayout;

// What the user arranged in the main window, kept from one run to the next
// in the settings store under "Window": geometry and maximised state, the
// splitters, the lists' column widths and view styles, and the file list's
// sort. Whatever is missing or unreadable keeps the window's defaults, and
// neither restoring nor saving ever fails aloud.
class WindowMemory {
public:
    WindowMemory(TRegFile &store, QMainWindow &window, MainLayout &layout, ListingView &listing);

    void restore();
    void save();

private:
    QString read(const QString &name);
    void write(const QString &name, const QString &value);
    void restoreGeometry();
    void restoreSplitters();
    void restoreLists();
    void restoreSort();

    TRegFile &store;
    QMainWindow &window;
    MainLayout &ui;
    ListingView &listing;
};
