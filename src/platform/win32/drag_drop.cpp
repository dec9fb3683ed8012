// Files dropped on windows that accept them: Qt's drag and drop events
// become WM_DROPFILES with the names in an HDROP.
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QUrl>

#include <cstring>

#include "platform/win32/shellapi.h"
#include "platform/win32/window_internal.h"

struct HDROP__ {
    std::vector<std::string> files;
    POINT point; // client coordinates of the receiver
    bool in_client;
};

namespace win32 {
namespace {

// The local files a drag carries, as the file system's bytes.
std::vector<std::string> dropped_files(const QMimeData* data)
{
    std::vector<std::string> files;
    if (!data || !data->hasUrls())
        return files;
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile())
            continue;
        QByteArray name = QFile::encodeName(url.toLocalFile());
        files.emplace_back(name.constData(), static_cast<size_t>(name.size()));
    }
    return files;
}

} // namespace

bool take_file_drop(QObject* object, QEvent* event)
{
    Window* w = object->isWidgetType() ? window_of_widget(object) : nullptr;
    if (!w || w->widget != object || !(w->ex_style & WS_EX_ACCEPTFILES))
        return false;
    auto* drop = static_cast<QDropEvent*>(event);
    std::vector<std::string> files = dropped_files(drop->mimeData());
    if (files.empty())
        return false;
    drop->setDropAction(Qt::CopyAction);
    drop->accept();
    if (event->type() == QEvent::Drop) {
        QPoint at = drop->position().toPoint();
        bool inside = w->widget->rect().contains(at);
        PostMessageA(w, WM_DROPFILES, reinterpret_cast<WPARAM>(new HDROP__{std::move(files), {at.x(), at.y()}, inside}),
                     0);
    }
    return true;
}

} // namespace win32

using namespace win32;

void DragAcceptFiles(HWND hWnd, BOOL fAccept)
{
    Window* w = live_window(hWnd);
    if (!w)
        return;
    if (fAccept)
        w->ex_style |= WS_EX_ACCEPTFILES;
    else
        w->ex_style &= ~WS_EX_ACCEPTFILES;
    if (w->widget)
        w->widget->setAcceptDrops(fAccept != FALSE);
}

UINT DragQueryFileA(HDROP hDrop, UINT iFile, LPSTR lpszFile, UINT cch)
{
    if (!hDrop)
        return 0;
    if (iFile == 0xFFFFFFFFu)
        return static_cast<UINT>(hDrop->files.size());
    if (iFile >= hDrop->files.size())
        return 0;
    const std::string& name = hDrop->files[iFile];
    if (!lpszFile)
        return static_cast<UINT>(name.size());
    if (cch == 0)
        return 0;
    size_t n = std::min<size_t>(name.size(), cch - 1);
    std::memcpy(lpszFile, name.data(), n);
    lpszFile[n] = '\0';
    return static_cast<UINT>(n);
}

BOOL DragQueryPoint(HDROP hDrop, POINT* ppt)
{
    if (!hDrop || !ppt)
        return FALSE;
    *ppt = hDrop->point;
    return hDrop->in_client ? TRUE : FALSE;
}

void DragFinish(HDROP hDrop) { delete hDrop; }
