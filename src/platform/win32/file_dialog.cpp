// GetOpenFileNameA on Qt's file dialog, and its scripted answers for tests.
#include <QDir>
#include <QFile>
#include <QFileDialog>

#include <cstring>
#include <deque>
#include <optional>

#include "platform/win32/commdlg.h"
#include "platform/win32/win32_test_hooks.h"
#include "platform/win32/window_internal.h"

namespace {

DWORD g_last_error = 0;
std::deque<std::optional<std::string>> g_choices;

std::vector<OpenFileCall>& calls()
{
    static auto* list = new std::vector<OpenFileCall>;
    return *list;
}

// The description/pattern pairs of a double-null-terminated filter list.
std::vector<std::pair<std::string, std::string>> filter_pairs(LPCSTR filter)
{
    std::vector<std::pair<std::string, std::string>> pairs;
    if (!filter)
        return pairs;
    const char* p = filter;
    while (*p) {
        std::string description = p;
        p += description.size() + 1;
        if (!*p)
            break;
        std::string pattern = p;
        p += pattern.size() + 1;
        pairs.emplace_back(description, pattern);
    }
    return pairs;
}

// "*.*" means every file on the platform; Qt's "*.*" wants a dot.
QString qt_filter(const std::pair<std::string, std::string>& pair)
{
    QStringList patterns;
    for (const QString& p : win32::from_ansi(pair.second.c_str()).split(';', Qt::SkipEmptyParts))
        patterns << (p.trimmed() == "*.*" ? QStringLiteral("*") : p.trimmed());
    return win32::from_ansi(pair.first.c_str()) + " (" + patterns.join(' ') + ")";
}

BOOL fail(DWORD error)
{
    g_last_error = error;
    return FALSE;
}

BOOL deliver(LPOPENFILENAMEA ofn, const std::string& path)
{
    if (path.size() + 1 > ofn->nMaxFile) {
        if (ofn->nMaxFile >= 2) {
            WORD needed = static_cast<WORD>(std::min<size_t>(path.size() + 1, 0xffff));
            std::memcpy(ofn->lpstrFile, &needed, 2);
        }
        return fail(FNERR_BUFFERTOOSMALL);
    }
    std::memcpy(ofn->lpstrFile, path.c_str(), path.size() + 1);
    size_t name_at = path.find_last_of('/');
    name_at = name_at == std::string::npos ? 0 : name_at + 1;
    size_t dot = path.find_last_of('.');
    ofn->nFileOffset = static_cast<WORD>(std::min<size_t>(name_at, 0xffff));
    ofn->nFileExtension = static_cast<WORD>(dot != std::string::npos && dot >= name_at ? std::min<size_t>(dot + 1, 0xffff) : 0);
    if (ofn->lpstrFileTitle && ofn->nMaxFileTitle > 0) {
        std::string name = path.substr(name_at);
        size_t n = std::min<size_t>(name.size(), ofn->nMaxFileTitle - 1);
        std::memcpy(ofn->lpstrFileTitle, name.data(), n);
        ofn->lpstrFileTitle[n] = '\0';
    }
    g_last_error = 0;
    return TRUE;
}

} // namespace

void win32_script_open_file(const char* path)
{
    g_choices.push_back(path ? std::optional<std::string>(path) : std::nullopt);
}

const std::vector<OpenFileCall>& win32_open_file_calls()
{
    return calls();
}

void win32_clear_dialog_calls()
{
    calls().clear();
    const_cast<std::vector<MessageBoxCall>&>(win32_message_box_calls()).clear();
}

DWORD CommDlgExtendedError(void)
{
    return g_last_error;
}

BOOL GetOpenFileNameA(LPOPENFILENAMEA ofn)
{
    if (!ofn)
        return fail(CDERR_INITIALIZATION);
    if (ofn->lStructSize != sizeof(OPENFILENAMEA) && ofn->lStructSize != OPENFILENAME_SIZE_VERSION_400A &&
        ofn->lStructSize != 76)
        return fail(CDERR_STRUCTSIZE);
    if (!ofn->lpstrFile || ofn->nMaxFile == 0)
        return fail(FNERR_INVALIDFILENAME);
    Window* owner = win32::live_window(ofn->hwndOwner);
    auto filters = filter_pairs(ofn->lpstrFilter);
    std::string initial = ofn->lpstrInitialDir ? ofn->lpstrInitialDir : "";

    if (win32::dialogs_answered_from_script()) {
        calls().push_back({ofn->hwndOwner, ofn->lpstrTitle ? ofn->lpstrTitle : "", initial, filters, ofn->Flags,
                           ofn->nFilterIndex, ofn->nMaxFile});
        std::optional<std::string> choice;
        if (!g_choices.empty()) {
            choice = g_choices.front();
            g_choices.pop_front();
        }
        if (!choice)
            return fail(0);
        return deliver(ofn, *choice);
    }

    win32::ensure_application();
    QWidget* parent = owner && owner->widget ? owner->widget->window() : nullptr;
    QString folder = initial.empty() ? QDir::currentPath() : win32::from_ansi(initial.c_str());
    QFileDialog dialog(parent, win32::from_ansi(ofn->lpstrTitle ? ofn->lpstrTitle : "Open"), folder);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode((ofn->Flags & OFN_FILEMUSTEXIST) ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    QStringList names;
    for (const auto& pair : filters)
        names << qt_filter(pair);
    if (!names.isEmpty()) {
        dialog.setNameFilters(names);
        DWORD index = ofn->nFilterIndex ? ofn->nFilterIndex - 1 : 0;
        dialog.selectNameFilter(names.value(static_cast<qsizetype>(index), names.front()));
    }
    if (ofn->lpstrFile[0])
        dialog.selectFile(win32::from_ansi(ofn->lpstrFile));
    dialog.setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return fail(0);
    QByteArray path = QFile::encodeName(QDir::toNativeSeparators(dialog.selectedFiles().front()));
    return deliver(ofn, std::string(path.constData(), static_cast<size_t>(path.size())));
}
