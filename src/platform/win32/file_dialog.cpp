// GetOpenFileNameA and GetSaveFileNameA on Qt's file dialog, and their
// scripted answers for tests.
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

// What one kind of dialog was asked and what the script answers it.
struct DialogScript {
    std::deque<std::optional<std::string>> choices;
    std::vector<FileDialogCall> calls;
};

DialogScript& open_script()
{
    static auto* script = new DialogScript;
    return *script;
}

DialogScript& save_script()
{
    static auto* script = new DialogScript;
    return *script;
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

// A name typed without an extension gets the dialog's default one.
std::string with_default_ext(std::string path, LPCSTR default_ext)
{
    if (!default_ext || !*default_ext)
        return path;
    size_t name_at = path.find_last_of('/');
    name_at = name_at == std::string::npos ? 0 : name_at + 1;
    if (name_at < path.size() && path.find('.', name_at) == std::string::npos)
        path += std::string(".") + default_ext;
    return path;
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
    ofn->nFileExtension =
        static_cast<WORD>(dot != std::string::npos && dot >= name_at ? std::min<size_t>(dot + 1, 0xffff) : 0);
    if (ofn->lpstrFileTitle && ofn->nMaxFileTitle > 0) {
        std::string name = path.substr(name_at);
        size_t n = std::min<size_t>(name.size(), ofn->nMaxFileTitle - 1);
        std::memcpy(ofn->lpstrFileTitle, name.data(), n);
        ofn->lpstrFileTitle[n] = '\0';
    }
    g_last_error = 0;
    return TRUE;
}

BOOL run_file_dialog(LPOPENFILENAMEA ofn, bool save)
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
    LPCSTR default_ext = save ? ofn->lpstrDefExt : nullptr;

    if (win32::dialogs_answered_from_script()) {
        DialogScript& script = save ? save_script() : open_script();
        script.calls.push_back({ofn->hwndOwner, ofn->lpstrTitle ? ofn->lpstrTitle : "", initial, filters, ofn->Flags,
                                ofn->nFilterIndex, ofn->nMaxFile, default_ext ? default_ext : ""});
        std::optional<std::string> choice;
        if (!script.choices.empty()) {
            choice = script.choices.front();
            script.choices.pop_front();
        }
        if (!choice)
            return fail(0);
        return deliver(ofn, with_default_ext(*choice, default_ext));
    }

    win32::ensure_application();
    QWidget* parent = owner && owner->widget ? owner->widget->window() : nullptr;
    QString folder = initial.empty() ? QDir::currentPath() : win32::from_ansi(initial.c_str());
    QString fallback_title = save ? QStringLiteral("Save As") : QStringLiteral("Open");
    QFileDialog dialog(parent, ofn->lpstrTitle ? win32::from_ansi(ofn->lpstrTitle) : fallback_title, folder);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(!save && (ofn->Flags & OFN_FILEMUSTEXIST) ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    if (save) {
        dialog.setOption(QFileDialog::DontConfirmOverwrite, !(ofn->Flags & OFN_OVERWRITEPROMPT));
        if (default_ext)
            dialog.setDefaultSuffix(win32::from_ansi(default_ext));
    }
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
    if (win32::session_ended() || dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return fail(0);
    QByteArray path = QFile::encodeName(QDir::toNativeSeparators(dialog.selectedFiles().front()));
    return deliver(ofn, std::string(path.constData(), static_cast<size_t>(path.size())));
}

} // namespace

void win32_script_open_file(const char* path)
{
    open_script().choices.push_back(path ? std::optional<std::string>(path) : std::nullopt);
}

void win32_script_save_file(const char* path)
{
    save_script().choices.push_back(path ? std::optional<std::string>(path) : std::nullopt);
}

const std::vector<FileDialogCall>& win32_open_file_calls() { return open_script().calls; }

const std::vector<FileDialogCall>& win32_save_file_calls() { return save_script().calls; }

void win32_clear_dialog_calls()
{
    open_script().calls.clear();
    save_script().calls.clear();
    const_cast<std::vector<MessageBoxCall>&>(win32_message_box_calls()).clear();
    const_cast<std::vector<PopupMenuCall>&>(win32_popup_menu_calls()).clear();
}

DWORD CommDlgExtendedError(void) { return g_last_error; }

BOOL GetOpenFileNameA(LPOPENFILENAMEA ofn) { return run_file_dialog(ofn, false); }

BOOL GetSaveFileNameA(LPOPENFILENAMEA ofn) { return run_file_dialog(ofn, true); }
