#include "app/CommandStateView.h"

#include "app/MainLayout.h"
#include "app/MainMenu.h"
#include "app/ToolBarPanel.h"
#include "explorer/ListingView.h"
#include "widgets/TListView.h"

#include <QAbstractButton>
#include <QAction>
#include <QButtonGroup>
#include <QMenu>
#include <QToolButton>

#include <utility>

CommandStateView::CommandStateView(const MainLayout &layout, ListingView &view, QObject *parent)
    : QObject(parent), listing(view), menu(layout.menu), classicBar(layout.PanelTools),
      explorerBar(layout.PanelExplorerTools), popupMenu(layout.PopupMenu1)
{
    connect(&listing, &ListingView::commandStateChanged, this, &CommandStateView::apply);
    connect(&listing, &ListingView::viewStyleShown, this, &CommandStateView::showViewStyle);
    connect(menu->File1, &QMenu::aboutToShow, &listing, &ListingView::File2Click);
    connect(menu->View1, &QMenu::aboutToShow, &listing, &ListingView::View1Click);
    connectViewStyleCommands();
    // The controls may go before the listing does; from then on nothing
    // here may touch them.
    for (QObject *control :
        std::initializer_list<QObject *> { menu, classicBar, explorerBar, popupMenu })
        connect(control, &QObject::destroyed, this, [this] { detached = true; });
}

void CommandStateView::connectViewStyleCommands()
{
    const std::pair<QAction *, TViewStyle> items[] = { { menu->LargeIcons1, TViewStyle::vsIcon },
        { menu->SmallIcons1, TViewStyle::vsSmallIcon }, { menu->List1, TViewStyle::vsList },
        { menu->Details1, TViewStyle::vsReport } };
    for (const auto &[action, style] : items) {
        const TViewStyle chosen = style;
        connect(action, &QAction::triggered, &listing,
            [this, chosen] { listing.setViewStyle(chosen); });
    }
    for (ToolBarPanel *bar : { classicBar, explorerBar })
        connect(bar->viewStyleGroup(), &QButtonGroup::idClicked, &listing,
            [this](int id) { listing.setViewStyle(TViewStyle(id)); });
}

void CommandStateView::apply(const CommandState &state, CommandGroups decided)
{
    if (detached)
        return;
    if (decided.testFlag(CommandGroup::ExplorerBar))
        applyExplorerBar(state.bar);
    if (decided.testFlag(CommandGroup::Busy))
        applyBusy(state.Stop);
    if (decided.testFlag(CommandGroup::FileMenu))
        applyFileMenu(state.file);
    if (decided.testFlag(CommandGroup::PopupMenu))
        applyPopupMenu(state.popup);
    if (decided.testFlag(CommandGroup::RefreshItems)) {
        menu->Files1->setEnabled(state.refresh.Files1);
        menu->All1->setEnabled(state.refresh.All1);
    }
}

// The classic tool bar follows only the busy state.
void CommandStateView::applyExplorerBar(const CommandState::ExplorerBar &bar)
{
    using B = ToolBarPanel;
    const std::pair<B::Button, bool> buttons[]
        = { { B::Delete, bar.Delete }, { B::Open, bar.Open }, { B::Download, bar.Download },
              { B::Watch, bar.Watch }, { B::Send, bar.Send }, { B::Edit, bar.Edit } };
    for (const auto &[button, enabled] : buttons)
        explorerBar->button(button)->setEnabled(enabled);
}

// Stop also serves the queue's own transfers; Send only waits for the
// browse connection.
void CommandStateView::applyBusy(bool stop)
{
    for (ToolBarPanel *bar : { classicBar, explorerBar }) {
        bar->button(ToolBarPanel::Send)->setEnabled(!listing.isBusy());
        bar->button(ToolBarPanel::Stop)->setEnabled(stop);
    }
}

void CommandStateView::applyFileMenu(const CommandState::FileMenu &file)
{
    MainMenu *m = menu;
    const std::pair<QAction *, bool> items[] = { { m->MenuOpen, file.MenuOpen },
        { m->MenuDownload, file.MenuDownload }, { m->MenuNewer, file.MenuNewer },
        { m->MenuUpload, file.MenuUpload }, { m->MenuAdd, file.MenuAdd },
        { m->MenuDelete, file.MenuDelete }, { m->CreateDirectory1, file.CreateDirectory1 },
        { m->RenameFile1, file.RenameFile1 } };
    for (const auto &[item, enabled] : items)
        item->setEnabled(enabled);
    m->MenuAdd->setText(
        file.MenuAddRemoves ? tr("Remove from &Watch List") : tr("Add to &Watch List"));
}

void CommandStateView::applyPopupMenu(const CommandState::PopupMenu &popup)
{
    const std::pair<const char *, bool> items[] = { { "Open1", popup.Open1 },
        { "Download1", popup.Download1 }, { "Rename1", popup.Rename1 },
        { "DeleteFile1", popup.DeleteFile1 }, { "AddtoWatchList1", popup.AddtoWatchList1 } };
    for (const auto &[name, enabled] : items)
        popupMenu->findChild<QAction *>(QLatin1String(name))->setEnabled(enabled);
}

void CommandStateView::showViewStyle(TViewStyle style)
{
    if (detached)
        return;
    const int id = int(style);
    QAction *items[] = { menu->LargeIcons1, menu->SmallIcons1, menu->List1, menu->Details1 };
    for (QAction *item : items)
        item->setChecked(false);
    for (ToolBarPanel *bar : { classicBar, explorerBar })
        if (QAbstractButton *button = bar->viewStyleGroup()->button(id))
            button->setChecked(true);
    if (id >= 0 && id < 4)
        items[id]->setChecked(true);
}
