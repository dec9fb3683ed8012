// Dialogs built from templates: the dialog class, its default procedure,
// dialog units and the template font.
#include <QApplication>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QPaintEvent>

#include "platform/win32/dialog_template.h"
#include "platform/win32/window_internal.h"

namespace win32 {
namespace {

class DialogWidget final : public QWidget {
public:
    DialogWidget(Window* w, QWidget* parent) : QWidget(parent), window_(w)
    {
        // A top-level dialog takes the focus itself when it is activated,
        // instead of the toolkit handing it to the first field: a dialog
        // whose WM_INITDIALOG gives no control the focus starts with none.
        if (!parent)
            setFocusPolicy(Qt::ClickFocus);
    }

protected:
    void paintEvent(QPaintEvent* event) override { paint_frame(window_, this, event); }

private:
    Window* window_;
};

// Fonts of the platform that fontconfig does not know, and what stands in
// for them. Japanese faces fall back to any installed Japanese font.
struct FontSubstitute {
    const char* requested;
    const char* family;
};
const FontSubstitute kSubstitutes[] = {
    {"ＭＳ Ｐゴシック", "IPAPGothic"}, {"MS PGothic", "IPAPGothic"},   {"ＭＳ ゴシック", "IPAGothic"},
    {"MS Gothic", "IPAGothic"},        {"MS UI Gothic", "IPAPGothic"},
};
const char* const kJapaneseFallbacks[] = {"IPAPGothic", "IPAGothic", "Noto Sans CJK JP", "Noto Sans JP",
                                          "VL PGothic", "VL Gothic", "TakaoPGothic",     "TakaoGothic"};

QString resolve_family(const QString& requested)
{
    QStringList available = QFontDatabase::families();
    auto installed = [&](const QString& f) { return available.contains(f, Qt::CaseInsensitive); };
    const FontSubstitute* sub = nullptr;
    for (const FontSubstitute& s : kSubstitutes)
        if (requested.compare(QString::fromUtf8(s.requested), Qt::CaseInsensitive) == 0)
            sub = &s;
    if (!sub)
        return requested.isEmpty() ? QApplication::font().family() : requested;
    QStringList wanted{QString::fromUtf8(sub->family)};
    for (const char* f : kJapaneseFallbacks)
        wanted << QString::fromUtf8(f);
    wanted << QFontDatabase::families(QFontDatabase::Japanese);
    for (const QString& f : wanted)
        if (installed(f))
            return f;
    return requested;
}

QFont template_font(const DialogTemplate* t)
{
    bool set_font = (t->style & DS_SETFONT) && t->font_name;
    QString family = resolve_family(set_font ? QString::fromUtf8(t->font_name) : QString());
    int points = set_font && t->point_size ? t->point_size : 9;
    QFont font(family);
    // Point sizes are taken at the platform's 96 pixels per inch.
    font.setPixelSize(std::max(1, mul_div(points, 96, 72)));
    return font;
}

// The platform's dialog base units: the average width of the letters and
// the height of the font, in pixels.
void base_units(const QFont& font, int* x, int* y)
{
    QFontMetrics metrics(font);
    int letters = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    *x = (letters / 26 + 1) / 2;
    *y = metrics.height();
}

const char* class_of(const DialogItemTemplate& item)
{
    if (item.class_name)
        return item.class_name;
    switch (item.class_atom) {
    case DIALOG_CLASS_BUTTON:
        return "Button";
    case DIALOG_CLASS_EDIT:
        return "Edit";
    case DIALOG_CLASS_STATIC:
        return "Static";
    }
    return nullptr;
}

bool returns_directly(UINT msg)
{
    // The messages whose dialog-procedure result is the message's result.
    return msg == WM_INITDIALOG || (msg >= 0x0132 && msg <= 0x0138) || msg == 0x0039 || msg == 0x002E ||
        msg == 0x002F || msg == 0x0037;
}

LRESULT dialog_default(Window* d, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_INITDIALOG:
        return FALSE;
    case WM_CLOSE:
        PostMessageA(d, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(d, IDCANCEL)));
        return 0;
    case WM_NEXTDLGCTL: {
        HWND target = lParam ? reinterpret_cast<HWND>(wParam) : GetNextDlgTabItem(d, GetFocus(), wParam != 0);
        if (Window* t = live_window(target))
            set_keyboard_focus(t);
        return 0;
    }
    case WM_GETDLGCODE:
        return 0;
    }
    return DefWindowProcA(d, msg, wParam, lParam);
}

} // namespace

QWidget* make_dialog(Window* w, QWidget* parent) { return new DialogWidget(w, parent); }

} // namespace win32

using namespace win32;

LRESULT DefDlgProcA(HWND hDlg, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    Window* d = live_window(hDlg);
    if (!d || !d->is_dialog)
        return 0;
    if (d->dlg_proc) {
        // The procedure may destroy the dialog and run a loop that frees
        // its widget; its result is read from the object after.
        WindowHold hold(d);
        INT_PTR handled = d->dlg_proc(hDlg, Msg, wParam, lParam);
        if (handled)
            return returns_directly(Msg) ? handled : d->msg_result;
        if (!live_window(hDlg))
            return 0;
    }
    return dialog_default(d, Msg, wParam, lParam);
}

HWND CreateDialogIndirectParamA(HINSTANCE hInstance, const DialogTemplate* lpTemplate, HWND hWndParent,
                                DLGPROC lpDialogFunc, LPARAM dwInitParam)
{
    if (!lpTemplate || (lpTemplate->item_count && !lpTemplate->items))
        return nullptr;
    ensure_application();
    Window* parent = live_window(hWndParent);
    if (hWndParent && !parent)
        return nullptr;
    bool child = (lpTemplate->style & WS_CHILD) != 0;
    if (child && !parent)
        return nullptr;

    QFont font = template_font(lpTemplate);
    int bx, by;
    base_units(font, &bx, &by);
    int x = mul_div(lpTemplate->x, bx, 4);
    int y = mul_div(lpTemplate->y, by, 8);
    if (!child && parent && parent->widget) {
        // An owned dialog is placed relative to its owner's client area.
        QPoint origin = parent->widget->mapToGlobal(QPoint(0, 0));
        x += origin.x();
        y += origin.y();
    }
    Window* d =
        create_window(lpTemplate->ex_style, "#32770", QString::fromUtf8(lpTemplate->caption ? lpTemplate->caption : ""),
                      lpTemplate->style & ~WS_VISIBLE, x, y, mul_div(lpTemplate->cx, bx, 4),
                      mul_div(lpTemplate->cy, by, 8), parent, 0, hInstance, nullptr, &font, lpDialogFunc);
    if (!d)
        return nullptr;
    d->base_x = bx;
    d->base_y = by;

    for (WORD i = 0; i < lpTemplate->item_count; ++i) {
        const DialogItemTemplate& item = lpTemplate->items[i];
        Window* c =
            create_window(item.ex_style, class_of(item), QString::fromUtf8(item.text ? item.text : ""),
                          item.style | WS_CHILD, mul_div(item.x, bx, 4), mul_div(item.y, by, 8),
                          mul_div(item.cx, bx, 4), mul_div(item.cy, by, 8), d, item.id, hInstance, nullptr, &font);
        if (!c) {
            DestroyWindow(d);
            return nullptr;
        }
    }

    HWND first = GetNextDlgTabItem(d, nullptr, FALSE);
    LRESULT focus = SendMessageA(d, WM_INITDIALOG, reinterpret_cast<WPARAM>(first), dwInitParam);
    if (!live_window(d))
        return nullptr;
    if (focus && first && live_window(first)) {
        SetFocus(first);
        if (SendMessageA(first, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL)
            SendMessageA(first, EM_SETSEL, 0, -1);
    }
    if (lpTemplate->style & WS_VISIBLE)
        ShowWindow(d, child ? SW_SHOWNA : SW_SHOWNORMAL);
    else
        update_minimum_size(d);
    return live_window(d);
}

HWND CreateDialogParamA(HINSTANCE hInstance, LPCSTR lpTemplateName, HWND hWndParent, DLGPROC lpDialogFunc,
                        LPARAM dwInitParam)
{
    HRSRC found = FindResourceA(hInstance, lpTemplateName, RT_DIALOG);
    if (!found)
        return nullptr;
    const auto* tpl = static_cast<const DialogTemplate*>(LockResource(LoadResource(hInstance, found)));
    return CreateDialogIndirectParamA(hInstance, tpl, hWndParent, lpDialogFunc, dwInitParam);
}

INT_PTR DialogBoxIndirectParamA(HINSTANCE hInstance, const DialogTemplate* lpTemplate, HWND hWndParent,
                                DLGPROC lpDialogFunc, LPARAM dwInitParam)
{
    // Nobody is left to answer once the session has ended.
    if (session_ended())
        return IDCANCEL;
    HWND dialog = CreateDialogIndirectParamA(hInstance, lpTemplate, hWndParent, lpDialogFunc, dwInitParam);
    if (!dialog)
        return -1;
    if (!IsWindowVisible(dialog))
        ShowWindow(dialog, SW_SHOWNORMAL);
    const bool owner_enabled = hWndParent && IsWindowEnabled(hWndParent);
    if (owner_enabled)
        EnableWindow(hWndParent, FALSE);
    INT_PTR result = IDCANCEL;
    for (;;) {
        Window* d = live_window(dialog);
        if (!d) // destroyed without EndDialog
            break;
        if (d->modal_ended) {
            result = d->modal_result;
            break;
        }
        if (session_ended())
            break;
        MSG message;
        if (!GetMessageA(&message, nullptr, 0, 0)) {
            PostQuitMessage(static_cast<int>(message.wParam)); // for the loop outside
            break;
        }
        if (!IsDialogMessageA(dialog, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    if (owner_enabled)
        EnableWindow(hWndParent, TRUE);
    if (live_window(dialog))
        DestroyWindow(dialog);
    return result;
}

BOOL EndDialog(HWND hDlg, INT_PTR nResult)
{
    Window* d = live_window(hDlg);
    if (!d || !d->is_dialog)
        return FALSE;
    d->modal_ended = true;
    d->modal_result = nResult;
    // Wakes the dialog's loop, which may be waiting for a message.
    PostMessageA(hDlg, WM_NULL, 0, 0);
    return TRUE;
}

BOOL MapDialogRect(HWND hDlg, LPRECT lpRect)
{
    Window* d = live_window(hDlg);
    if (!d || !d->is_dialog || !lpRect)
        return FALSE;
    lpRect->left = mul_div(lpRect->left, d->base_x, 4);
    lpRect->right = mul_div(lpRect->right, d->base_x, 4);
    lpRect->top = mul_div(lpRect->top, d->base_y, 8);
    lpRect->bottom = mul_div(lpRect->bottom, d->base_y, 8);
    return TRUE;
}

HWND GetNextDlgTabItem(HWND hDlg, HWND hCtl, BOOL bPrevious)
{
    Window* d = live_window(hDlg);
    if (!d)
        return nullptr;
    std::vector<Window*> stops;
    for (Window* c : d->children)
        if (c->alive && (c->style & WS_TABSTOP) && c->widget && !c->widget->isHidden() && c->widget->isEnabled())
            stops.push_back(c);
    if (stops.empty())
        return nullptr;
    auto at = std::find(stops.begin(), stops.end(), live_window(hCtl));
    if (at == stops.end())
        return bPrevious ? stops.back() : stops.front();
    size_t i = static_cast<size_t>(at - stops.begin());
    size_t n = stops.size();
    return stops[bPrevious ? (i + n - 1) % n : (i + 1) % n];
}
