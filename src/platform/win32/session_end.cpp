// The end of a session (logging out, a closed terminal, `kill`): SIGTERM and
// SIGHUP close the program's top-level windows through the message loop, as
// the close box does, so that what a window saves on the way out is saved.
// A box or dialog open then is closed as cancelled, and none opens after,
// so that nothing waits for an answer nobody is left to give.
#include <QApplication>
#include <QDialog>
#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

#include <csignal>

#include "platform/win32/window_internal.h"

namespace win32 {
namespace {

int g_wake_fds[2] = {-1, -1};
volatile sig_atomic_t g_ending = 0;
bool g_ended = false; // the windows were told to close

// Only what is safe in a signal handler: a byte into the pipe. A second
// signal while the first close is under way ends the process as it would
// have without the handler.
void on_session_end(int signal)
{
    if (g_ending) {
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    g_ending = 1;
    const char byte = 1;
    [[maybe_unused]] ssize_t written = ::write(g_wake_fds[1], &byte, 1);
}

void close_top_level_windows()
{
    char bytes[16];
    while (::read(g_wake_fds[0], bytes, sizeof bytes) > 0) {}
    g_ended = true;
    for (QWidget* top : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<QDialog*>(top); dialog && dialog->isVisible())
            dialog->reject();
    if (QWidget* menu = QApplication::activePopupWidget())
        menu->close();
    for (Window* w : std::vector<Window*>(all_windows()))
        if (w->alive && !w->parent && !(w->style & WS_CHILD))
            PostMessageA(w, WM_CLOSE, 0, 0);
}

} // namespace

bool session_ended() { return g_ended; }

void install_session_end_signals()
{
    static QSocketNotifier* notifier = nullptr;
    if (notifier || ::pipe2(g_wake_fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    notifier = new QSocketNotifier(g_wake_fds[0], QSocketNotifier::Read);
    QObject::connect(notifier, &QSocketNotifier::activated, [] { close_top_level_windows(); });
    struct sigaction action = {};
    action.sa_handler = on_session_end;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}

} // namespace win32
