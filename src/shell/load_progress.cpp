#include "shell/load_progress.h"

#include <algorithm>

#include "platform/win32/commctrl.h"
#include "resources/program_resources.h"

namespace {

constexpr DWORD kQuietMs = 500; // a load this short shows nothing
constexpr int kBarSteps = 1000;

} // namespace

LoadProgress::LoadProgress(HWND owner) : owner_(owner), start_(GetTickCount()) {}

LoadProgress::~LoadProgress()
{
    if (!dialog_)
        return;
    EnableWindow(owner_, TRUE);
    DestroyWindow(dialog_);
}

bool LoadProgress::go_on(void* progress)
{
    auto* self = static_cast<LoadProgress*>(progress);
    if (!self->dialog_ && GetTickCount() - self->start_ >= kQuietMs)
        self->show();
    if (self->dialog_) {
        const long long size = std::max(1LL, self->meter_.size);
        const long long done = std::clamp(self->meter_.done, 0LL, size);
        SendDlgItemMessageA(self->dialog_, IDC_LOAD_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(done * kBarSteps / size),
                            0);
        self->pump();
    }
    return !self->cancelled_;
}

void LoadProgress::show()
{
    dialog_ = CreateDialogIndirectParamA(GetModuleHandleA(nullptr), &kProgressTemplate, owner_, dialog_proc,
                                         reinterpret_cast<LPARAM>(this));
    if (!dialog_)
        return;
    SendDlgItemMessageA(dialog_, IDC_LOAD_PROGRESS, PBM_SETRANGE32, 0, kBarSteps);
    EnableWindow(owner_, FALSE);
}

// What waits in the queue, the dialog's keys (Escape) through it. A quit
// is put back for the main loop, and ends the load.
void LoadProgress::pump()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            cancelled_ = true;
            return;
        }
        if (IsDialogMessageA(dialog_, &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

INT_PTR CALLBACK LoadProgress::dialog_proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        return TRUE;
    }
    auto* self = reinterpret_cast<LoadProgress*>(GetWindowLongPtrA(dialog, DWLP_USER));
    if (self && message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
        self->cancelled_ = true;
        return TRUE;
    }
    return FALSE;
}
