// Popup menus on Qt's QMenu, and the scripted answers tests give.
#include <QAction>
#include <QMenu>

#include <deque>

#include "platform/win32/win32_test_hooks.h"
#include "platform/win32/window_internal.h"

struct HMENU__ {
    struct Item {
        UINT flags;
        UINT_PTR id;
        std::string text;
    };
    std::vector<Item> items;
};

namespace {

std::deque<UINT> g_picks;

std::vector<PopupMenuCall>& calls()
{
    static auto* list = new std::vector<PopupMenuCall>;
    return *list;
}

bool is_enabled_item(const HMENU__::Item& item) { return !(item.flags & (MF_SEPARATOR | MF_GRAYED | MF_DISABLED)); }

// The id the script picks, when the menu has an enabled item for it.
UINT_PTR scripted_pick(HMENU menu)
{
    UINT pick = 0;
    if (!g_picks.empty()) {
        pick = g_picks.front();
        g_picks.pop_front();
    }
    for (const HMENU__::Item& item : menu->items)
        if (pick != 0 && item.id == pick && is_enabled_item(item))
            return pick;
    return 0;
}

UINT_PTR shown_pick(HMENU menu, int x, int y, Window* owner)
{
    QWidget* parent = owner && owner->widget ? owner->widget->window() : nullptr;
    QMenu shown(parent);
    for (const HMENU__::Item& item : menu->items) {
        if (item.flags & MF_SEPARATOR) {
            shown.addSeparator();
            continue;
        }
        QAction* action = shown.addAction(win32::from_ansi(item.text.c_str()));
        action->setEnabled(is_enabled_item(item));
        action->setData(QVariant::fromValue(static_cast<qulonglong>(item.id)));
    }
    QAction* chosen = shown.exec(QPoint(x, y));
    return chosen ? static_cast<UINT_PTR>(chosen->data().toULongLong()) : 0;
}

} // namespace

void win32_script_popup_menu(UINT command) { g_picks.push_back(command); }

const std::vector<PopupMenuCall>& win32_popup_menu_calls() { return calls(); }

HMENU CreatePopupMenu(void) { return new HMENU__; }

BOOL AppendMenuA(HMENU hMenu, UINT uFlags, UINT_PTR uIDNewItem, LPCSTR lpNewItem)
{
    if (!hMenu)
        return FALSE;
    bool separator = uFlags & MF_SEPARATOR;
    hMenu->items.push_back({uFlags, separator ? 0 : uIDNewItem, separator || !lpNewItem ? "" : lpNewItem});
    return TRUE;
}

BOOL DestroyMenu(HMENU hMenu)
{
    if (!hMenu)
        return FALSE;
    delete hMenu;
    return TRUE;
}

BOOL TrackPopupMenu(HMENU hMenu, UINT uFlags, int x, int y, int, HWND hWnd, const RECT*)
{
    Window* owner = win32::live_window(hWnd);
    if (!hMenu || !owner)
        return FALSE;
    // The menu takes the mouse for as long as it is open.
    if (GetCapture())
        ReleaseCapture();
    UINT_PTR pick;
    if (win32::dialogs_answered_from_script()) {
        PopupMenuCall call{hWnd, x, y, uFlags, {}};
        for (const HMENU__::Item& item : hMenu->items)
            call.items.emplace_back(item.id, item.text);
        calls().push_back(call);
        pick = scripted_pick(hMenu);
    } else {
        win32::ensure_application();
        pick = shown_pick(hMenu, x, y, owner);
    }
    if (uFlags & TPM_RETURNCMD)
        return static_cast<BOOL>(pick);
    if (pick && !(uFlags & TPM_NONOTIFY))
        PostMessageA(hWnd, WM_COMMAND, MAKEWPARAM(pick, 0), 0);
    return pick ? TRUE : FALSE;
}
