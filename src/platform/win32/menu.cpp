// Popup menus on Qt's QMenu, and the scripted answers tests give.
#include <QAction>
#include <QActionGroup>
#include <QMenu>

#include <deque>
#include <memory>

#include "platform/win32/win32_test_hooks.h"
#include "platform/win32/window_internal.h"

struct HMENU__ {
    struct Item {
        UINT flags;
        UINT_PTR id; // 0 for a separator or a submenu
        std::string text;
        std::unique_ptr<HMENU__> submenu; // with MF_POPUP
    };
    std::vector<Item> items;
};

namespace {

using Item = HMENU__::Item;

std::deque<UINT> g_picks;

std::vector<PopupMenuCall>& calls()
{
    static auto* list = new std::vector<PopupMenuCall>;
    return *list;
}

bool is_enabled_item(const Item& item) { return !(item.flags & (MF_SEPARATOR | MF_GRAYED | MF_DISABLED)); }

bool is_command(const Item& item) { return !(item.flags & (MF_SEPARATOR | MF_POPUP)); }

// The command item with this id, in the menu or a submenu of an enabled
// item; null when there is none.
Item* find_command(HMENU menu, UINT_PTR id)
{
    for (Item& item : menu->items) {
        if (item.submenu && is_enabled_item(item)) {
            if (Item* found = find_command(item.submenu.get(), id))
                return found;
        } else if (is_command(item) && item.id == id) {
            return &item;
        }
    }
    return nullptr;
}

// The item `which` names: a command id, or a place in this menu.
Item* item_at(HMENU menu, UINT which, UINT flags)
{
    if (flags & MF_BYPOSITION)
        return which < menu->items.size() ? &menu->items[which] : nullptr;
    return find_command(menu, which);
}

// The id the script picks, when the menu has an enabled item for it.
UINT_PTR scripted_pick(HMENU menu)
{
    UINT pick = 0;
    if (!g_picks.empty()) {
        pick = g_picks.front();
        g_picks.pop_front();
    }
    const Item* item = pick != 0 ? find_command(menu, pick) : nullptr;
    return item && is_enabled_item(*item) ? pick : 0;
}

void write_outline(HMENU menu, int depth, std::string* out)
{
    for (const Item& item : menu->items) {
        out->append(size_t(2 * depth), ' ');
        if (item.flags & MF_SEPARATOR) {
            *out += "-\n";
            continue;
        }
        if (item.flags & MF_CHECKED)
            *out += item.flags & MFT_RADIOCHECK ? "(o) " : "[x] ";
        *out += item.text;
        *out += item.submenu ? " >" : " #" + std::to_string(item.id);
        *out += '\n';
        if (item.submenu)
            write_outline(item.submenu.get(), depth + 1, out);
    }
}

PopupMenuCall record_call(HMENU menu, HWND owner, int x, int y, UINT flags)
{
    PopupMenuCall call{owner, x, y, flags, {}, {}};
    for (const Item& item : menu->items)
        call.items.emplace_back(item.id, item.text);
    write_outline(menu, 0, &call.outline);
    return call;
}

void fill_shown(QMenu* shown, HMENU menu)
{
    QActionGroup* radio = nullptr;
    for (const Item& item : menu->items) {
        if (item.flags & MF_SEPARATOR) {
            shown->addSeparator();
            continue;
        }
        const QString text = win32::from_ansi(item.text.c_str());
        if (item.submenu) {
            QMenu* sub = shown->addMenu(text);
            sub->setEnabled(is_enabled_item(item));
            fill_shown(sub, item.submenu.get());
            continue;
        }
        QAction* action = shown->addAction(text);
        action->setEnabled(is_enabled_item(item));
        action->setData(QVariant::fromValue(static_cast<qulonglong>(item.id)));
        action->setCheckable(item.flags & (MF_CHECKED | MFT_RADIOCHECK));
        action->setChecked(item.flags & MF_CHECKED);
        if (item.flags & MFT_RADIOCHECK) {
            // A group draws the radio marks; the menu's own flags decide.
            if (!radio)
                radio = new QActionGroup(shown);
            radio->addAction(action);
        }
    }
}

UINT_PTR shown_pick(HMENU menu, int x, int y, Window* owner)
{
    if (win32::session_ended())
        return 0;
    QWidget* parent = owner && owner->widget ? owner->widget->window() : nullptr;
    QMenu shown(parent);
    fill_shown(&shown, menu);
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
    const bool separator = uFlags & MF_SEPARATOR;
    std::unique_ptr<HMENU__> submenu;
    if (!separator && (uFlags & MF_POPUP)) {
        auto* taken = reinterpret_cast<HMENU>(uIDNewItem);
        if (!taken || taken == hMenu)
            return FALSE;
        submenu.reset(taken);
    }
    const UINT_PTR id = separator || submenu ? 0 : uIDNewItem;
    hMenu->items.push_back({uFlags, id, separator || !lpNewItem ? "" : lpNewItem, std::move(submenu)});
    return TRUE;
}

BOOL DestroyMenu(HMENU hMenu)
{
    if (!hMenu)
        return FALSE;
    delete hMenu;
    return TRUE;
}

DWORD CheckMenuItem(HMENU hmenu, UINT uIDCheckItem, UINT uCheck)
{
    Item* item = hmenu ? item_at(hmenu, uIDCheckItem, uCheck) : nullptr;
    if (!item)
        return static_cast<DWORD>(-1);
    const DWORD previous = item->flags & MF_CHECKED;
    item->flags = (item->flags & ~UINT(MF_CHECKED)) | (uCheck & MF_CHECKED);
    return previous;
}

BOOL CheckMenuRadioItem(HMENU hmenu, UINT first, UINT last, UINT check, UINT uFlags)
{
    Item* checked = hmenu ? item_at(hmenu, check, uFlags) : nullptr;
    if (!checked)
        return FALSE;
    for (UINT which = first; which <= last && which >= first; ++which)
        if (Item* item = item_at(hmenu, which, uFlags))
            item->flags &= ~UINT(MF_CHECKED | MFT_RADIOCHECK);
    checked->flags |= MF_CHECKED | MFT_RADIOCHECK;
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
        calls().push_back(record_call(hMenu, hWnd, x, y, uFlags));
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
