// The progress of a long load: after half a second a small dialog with a
// bar of the file read and a Cancel button. The reader asks it between
// megabytes; it then lets the window system run, so that the bar moves and
// the button works, while the main window takes no input.
#pragma once

#include "field/sources/data_file.h"
#include "platform/win32/windows.h"

class LoadProgress {
public:
    explicit LoadProgress(HWND owner);
    ~LoadProgress();
    LoadProgress(const LoadProgress&) = delete;
    LoadProgress& operator=(const LoadProgress&) = delete;

    // For open_data_file, which keeps it up to date.
    DataFileMeter* meter() { return &meter_; }
    // For the reader's watch: false once the user cancelled.
    static bool go_on(void* progress);
    bool cancelled() const { return cancelled_; }

private:
    static INT_PTR CALLBACK dialog_proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    void show();
    void pump();

    HWND owner_;
    HWND dialog_ = nullptr;
    DWORD start_;
    bool cancelled_ = false;
    DataFileMeter meter_;
};
