// Window texts: the program's ANSI code page on one side, the widgets'
// Unicode on the other.
#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QStringDecoder>
#include <QStringEncoder>

#include "platform/win32/window_internal.h"

namespace win32 {

QString from_ansi(const char* text)
{
    if (!text)
        return QString();
    if (GetACP() == 932) {
        QStringDecoder decoder("Shift_JIS");
        if (decoder.isValid())
            return decoder.decode(QByteArrayView(text));
        return QString::fromLatin1(text);
    }
    return QString::fromUtf8(text);
}

std::string to_ansi(const QString& text)
{
    if (GetACP() == 932) {
        QStringEncoder encoder("Shift_JIS");
        QByteArray bytes = encoder.isValid() ? QByteArray(encoder.encode(text)) : text.toLatin1();
        return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
    }
    QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

void set_text(Window* w, const QString& text)
{
    if (!w->widget)
        return;
    QWidget* widget = w->widget;
    if (auto* edit = qobject_cast<QLineEdit*>(widget))
        edit->setText(text);
    else if (auto* button = qobject_cast<QAbstractButton*>(widget))
        button->setText(text);
    else if (auto* group = qobject_cast<QGroupBox*>(widget))
        group->setTitle(text);
    else if (auto* label = qobject_cast<QLabel*>(widget))
        label->setText(text);
    else if (widget->isWindow())
        widget->setWindowTitle(text);
}

QString widget_text(Window* w)
{
    if (auto* edit = w->widget ? qobject_cast<QLineEdit*>(w->widget.data()) : nullptr)
        return edit->text();
    return from_ansi(w->text.c_str());
}

} // namespace win32

using namespace win32;

BOOL SetWindowTextA(HWND hWnd, LPCSTR lpString)
{
    if (!live_window(hWnd))
        return FALSE;
    return SendMessageA(hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(lpString ? lpString : "")) ? TRUE : FALSE;
}

int GetWindowTextA(HWND hWnd, LPSTR lpString, int nMaxCount)
{
    if (!lpString || nMaxCount <= 0)
        return 0;
    lpString[0] = '\0';
    return static_cast<int>(
        SendMessageA(hWnd, WM_GETTEXT, static_cast<WPARAM>(nMaxCount), reinterpret_cast<LPARAM>(lpString)));
}

int GetWindowTextLengthA(HWND hWnd) { return static_cast<int>(SendMessageA(hWnd, WM_GETTEXTLENGTH, 0, 0)); }

BOOL SetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPCSTR lpString)
{
    return SetWindowTextA(GetDlgItem(hDlg, nIDDlgItem), lpString);
}

UINT GetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPSTR lpString, int cchMax)
{
    HWND item = GetDlgItem(hDlg, nIDDlgItem);
    if (!item) {
        if (lpString && cchMax > 0)
            lpString[0] = '\0';
        return 0;
    }
    return static_cast<UINT>(GetWindowTextA(item, lpString, cchMax));
}
