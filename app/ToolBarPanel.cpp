#include "app/ToolBarPanel.h"

#include "widgets/DragBar.h"
#include "widgets/TwoWaySplitter.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QEvent>
#include <QIcon>
#include <QToolButton>

namespace {

struct ButtonSpec {
    const char *name; // after the "Speed" or "Explorer" prefix
    int left;
    const char *hint;
    const char *icon; // theme icon name
    bool enabledClassic;
    bool enabledExplorer;
};

const ButtonSpec kButtons[ToolBarPanel::ButtonCount] = {
    { "Stop", 4, "Stop", "process-stop-symbolic", false, false },
    { "UpOne", 34, "Up One Level", "go-up-symbolic", false, false },
    { "New", 64, "Create New FTP Site Entry", "document-new-symbolic", true, true },
    { "Edit", 86, "Edit FTP Site Information", "document-properties-symbolic", false, false },
    { "Delete", 116, "Delete Selection", "edit-delete-symbolic", false, true },
    { "Open", 146, "Open File", "document-open-symbolic", false, false },
    { "Download", 168, "Download File", "document-save-symbolic", true, true },
    { "Watch", 190, "Add File to Watch List", "bookmark-new-symbolic", false, false },
    { "Send", 212, "Send File(s) to FTP Site", "document-send-symbolic", false, false },
    { "Queue", 242, "", "media-playback-start-symbolic", true, true },
    { "Large", 272, "Large Icons", "view-grid-symbolic", true, true },
    { "Small", 294, "Small Icons", "view-app-grid-symbolic", true, true },
    { "List", 316, "List", "view-list-bullet-symbolic", true, true },
    { "Details", 338, "Details", "view-list-symbolic", true, true },
};

constexpr int kBarHeight = 26;
constexpr int kButtonSize = 22;

} // namespace

ToolBarPanel::ToolBarPanel(Style barStyle, QWidget *parent)
    : QFrame(parent), style(barStyle), split(new TwoWaySplitter(this)),
      viewGroup(new QButtonGroup(this))
{
    const bool explorer = style == Style::Explorer;
    const QString prefix = explorer ? QStringLiteral("Explorer") : QStringLiteral("Speed");
    setObjectName(explorer ? QStringLiteral("PanelExplorerTools") : QStringLiteral("PanelTools"));
    split->setObjectName(
        explorer ? QStringLiteral("TwoWaySplitter3") : QStringLiteral("TwoWaySplitter2"));
    setFixedHeight(kBarHeight);
    split->setBarWidth(0);
    split->setGeometry(rect());

    buildComboPanel(prefix);
    auto *area = new QWidget(split);
    area->setObjectName(prefix + QStringLiteral("Buttons"));
    buildButtons(prefix, area);
    split->addWidget(panelCombo);
    split->addWidget(area);
    split->setPosition(40);
    installEventFilter(this);
}

void ToolBarPanel::buildComboPanel(const QString &prefix)
{
    const bool explorer = style == Style::Explorer;
    panelCombo = new QWidget(split);
    panelCombo->setObjectName(
        explorer ? QStringLiteral("PanelCombo2") : QStringLiteral("PanelCombo"));
    panelCombo->setMinimumWidth(40);
    siteCombo = new QComboBox(panelCombo);
    siteCombo->setObjectName(explorer ? QStringLiteral("ComboSite2") : QStringLiteral("ComboSite"));
    siteCombo->setEditable(false);
    bar = new DragBar(panelCombo);
    bar->setObjectName(explorer ? QStringLiteral("Panel82") : QStringLiteral("Panel8"));
    panelCombo->installEventFilter(this);
    Q_UNUSED(prefix);
}

void ToolBarPanel::buildButtons(const QString &prefix, QWidget *area)
{
    const bool explorer = style == Style::Explorer;
    viewGroup->setExclusive(true);
    for (int i = 0; i < ButtonCount; ++i) {
        const ButtonSpec &spec = kButtons[i];
        auto *b = new QToolButton(area);
        b->setObjectName(prefix + QLatin1String(spec.name));
        b->setToolTip(QLatin1String(spec.hint));
        b->setIcon(QIcon::fromTheme(QLatin1String(spec.icon)));
        b->setIconSize(QSize(16, 16));
        b->setAutoRaise(explorer);
        b->setEnabled(explorer ? spec.enabledExplorer : spec.enabledClassic);
        const int left = (explorer && i == Large) ? 273 : spec.left;
        b->setGeometry(left, 2, kButtonSize, kButtonSize);
        if (i >= Large) {
            b->setCheckable(true);
            viewGroup->addButton(b, i - Large);
        }
        buttons[i] = b;
    }
    buttons[Details]->setChecked(true);
}

void ToolBarPanel::PanelComboResize()
{
    const int w = panelCombo->width();
    siteCombo->setGeometry(2, 1, qMax(0, w - 8), kBarHeight - 3);
    bar->setGeometry(w - 2, 0, 2, kBarHeight);
}

bool ToolBarPanel::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Resize) {
        if (watched == this)
            split->setGeometry(rect());
        else if (watched == panelCombo)
            PanelComboResize();
    }
    return QFrame::eventFilter(watched, event);
}
