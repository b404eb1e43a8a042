#pragma once

#include "explorer/CommandRules.h"

#include <QObject>

class ListingView;
class MainMenu;
class QMenu;
class ToolBarPanel;
struct MainLayout;
enum class TViewStyle;

// Shows the listing's command states and view style on the window's tool
// bars and menus, and hands the menus' opening and the view-style commands
// to the listing.
class CommandStateView : public QObject {
    Q_OBJECT
public:
    CommandStateView(const MainLayout &layout, ListingView &listing, QObject *parent = nullptr);

private:
    void connectViewStyleCommands();
    void apply(const CommandState &state, CommandGroups decided);
    void applyExplorerBar(const CommandState::ExplorerBar &bar);
    void applyBusy(bool busy);
    void applyFileMenu(const CommandState::FileMenu &file);
    void applyPopupMenu(const CommandState::PopupMenu &popup);
    void showViewStyle(TViewStyle style);

    ListingView &listing;
    MainMenu *menu;
    ToolBarPanel *classicBar;
    ToolBarPanel *explorerBar;
    QMenu *popupMenu;
    bool detached = false;
};
