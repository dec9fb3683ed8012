// KERNEL32's file handles and read-only mappings on open, fstat and mmap.
// Handles point at records kept in a set, so that a closed or made-up handle
// is refused instead of being followed. On failure errno stays as the system
// call left it, besides the last error.
#include "platform/win32/mapping_guard.h"
#include "platform/win32/winbase.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>

namespace {

enum class ObjectKind { file, mapping };

struct KernelObject {
    ObjectKind kind;
    int fd;
    uint64_t size; // mappings: bytes a view may reach
};

struct Objects {
    std::mutex lock;
    std::set<KernelObject*> open;
    std::map<const void*, std::pair<size_t, int>> views; // address -> length, guard slot
};

Objects& objects()
{
    static auto* all = new Objects;
    return *all;
}

thread_local DWORD t_last_error = ERROR_SUCCESS;

// Windows' allocation granularity: view offsets are multiples of it.
constexpr uint64_t kViewGranularity = 65536;

DWORD error_of_errno(int e)
{
    switch (e) {
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
        return ERROR_ACCESS_DENIED;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case EMFILE:
    case ENFILE:
        return ERROR_TOO_MANY_OPEN_FILES;
    case ENAMETOOLONG:
        return ERROR_FILENAME_EXCED_RANGE;
    case EINVAL:
        return ERROR_INVALID_PARAMETER;
    default:
        return ERROR_READ_FAULT;
    }
}

// Records the failure of the last system call; errno is kept.
void fail_with_errno() { t_last_error = error_of_errno(errno); }

HANDLE add_object(ObjectKind kind, int fd, uint64_t size)
{
    auto* object = new KernelObject{kind, fd, size};
    Objects& all = objects();
    std::lock_guard<std::mutex> guard(all.lock);
    all.open.insert(object);
    return object;
}

// The open object behind a handle, of the wanted kind; null (and
// ERROR_INVALID_HANDLE) otherwise. The caller holds the lock.
KernelObject* find_object(Objects& all, HANDLE handle, ObjectKind kind)
{
    auto* object = static_cast<KernelObject*>(handle);
    if (handle == INVALID_HANDLE_VALUE || !all.open.count(object) || object->kind != kind) {
        t_last_error = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    return object;
}

} // namespace

HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD /*dwShareMode*/,
                   LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/, DWORD dwCreationDisposition,
                   DWORD /*dwFlagsAndAttributes*/, HANDLE hTemplateFile)
{
    // The access-pattern flags only steer Windows' cache; the kernel's own
    // read-ahead serves the mapping here.
    if (!lpFileName || dwDesiredAccess != GENERIC_READ || dwCreationDisposition != OPEN_EXISTING || hTemplateFile) {
        t_last_error = ERROR_INVALID_PARAMETER;
        return INVALID_HANDLE_VALUE;
    }
    if (!lpFileName[0]) {
        errno = ENOENT;
        fail_with_errno();
        return INVALID_HANDLE_VALUE;
    }
    // Non-blocking, so that a named pipe given as a file cannot stall the
    // caller waiting for a writer.
    const int fd = ::open(lpFileName, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        fail_with_errno();
        return INVALID_HANDLE_VALUE;
    }
    struct stat st;
    const int error = ::fstat(fd, &st) != 0 ? errno : S_ISDIR(st.st_mode) ? EISDIR : 0;
    if (error) {
        ::close(fd);
        errno = error;
        fail_with_errno();
        return INVALID_HANDLE_VALUE;
    }
    return add_object(ObjectKind::file, fd, 0);
}

DWORD GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh)
{
    Objects& all = objects();
    std::lock_guard<std::mutex> guard(all.lock);
    KernelObject* file = find_object(all, hFile, ObjectKind::file);
    struct stat st;
    if (!file)
        return INVALID_FILE_SIZE;
    if (::fstat(file->fd, &st) != 0) {
        fail_with_errno();
        return INVALID_FILE_SIZE;
    }
    // Pipes and devices have no size of their own: they count as empty.
    const uint64_t size = S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
    if (lpFileSizeHigh)
        *lpFileSizeHigh = static_cast<DWORD>(size >> 32);
    else if (size >> 32) {
        t_last_error = ERROR_INVALID_PARAMETER; // the size does not fit the result
        return INVALID_FILE_SIZE;
    }
    t_last_error = ERROR_SUCCESS;
    return static_cast<DWORD>(size);
}

HANDLE CreateFileMappingA(HANDLE hFile, LPSECURITY_ATTRIBUTES /*lpFileMappingAttributes*/, DWORD flProtect,
                          DWORD dwMaximumSizeHigh, DWORD dwMaximumSizeLow, LPCSTR lpName)
{
    if (flProtect != PAGE_READONLY || lpName) {
        t_last_error = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    Objects& all = objects();
    std::unique_lock<std::mutex> guard(all.lock);
    KernelObject* file = find_object(all, hFile, ObjectKind::file);
    if (!file)
        return nullptr;
    struct stat st;
    if (::fstat(file->fd, &st) != 0) {
        fail_with_errno();
        return nullptr;
    }
    const uint64_t file_size = S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
    const uint64_t wanted = (uint64_t(dwMaximumSizeHigh) << 32) | dwMaximumSizeLow;
    const uint64_t size = wanted ? wanted : file_size;
    if (size == 0) {
        t_last_error = ERROR_FILE_INVALID;
        return nullptr;
    }
    // A read-only mapping cannot grow the file.
    if (size > file_size) {
        t_last_error = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    const int fd = ::fcntl(file->fd, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) {
        fail_with_errno();
        return nullptr;
    }
    guard.unlock();
    return add_object(ObjectKind::mapping, fd, size);
}

LPVOID MapViewOfFile(HANDLE hFileMappingObject, DWORD dwDesiredAccess, DWORD dwFileOffsetHigh, DWORD dwFileOffsetLow,
                     SIZE_T dwNumberOfBytesToMap)
{
    if (dwDesiredAccess != FILE_MAP_READ) {
        t_last_error = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    Objects& all = objects();
    std::lock_guard<std::mutex> guard(all.lock);
    KernelObject* mapping = find_object(all, hFileMappingObject, ObjectKind::mapping);
    if (!mapping)
        return nullptr;
    const uint64_t offset = (uint64_t(dwFileOffsetHigh) << 32) | dwFileOffsetLow;
    if (offset % kViewGranularity) {
        t_last_error = ERROR_MAPPED_ALIGNMENT;
        return nullptr;
    }
    if (offset >= mapping->size || dwNumberOfBytesToMap > mapping->size - offset) {
        t_last_error = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    const uint64_t length = dwNumberOfBytesToMap ? dwNumberOfBytesToMap : mapping->size - offset;
    if (length > SIZE_MAX) {
        t_last_error = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    void* view =
        ::mmap(nullptr, static_cast<size_t>(length), PROT_READ, MAP_PRIVATE, mapping->fd, static_cast<off_t>(offset));
    if (view == MAP_FAILED) {
        fail_with_errno();
        return nullptr;
    }
    // A file cut while mapped reads as zeros past its new end, not a crash.
    all.views[view] = {static_cast<size_t>(length), guard_mapped_view(view, static_cast<size_t>(length))};
    return view;
}

BOOL UnmapViewOfFile(LPCVOID lpBaseAddress)
{
    Objects& all = objects();
    std::lock_guard<std::mutex> guard(all.lock);
    auto view = all.views.find(lpBaseAddress);
    if (view == all.views.end()) {
        t_last_error = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    unguard_mapped_view(view->second.second);
    ::munmap(const_cast<void*>(view->first), view->second.first);
    all.views.erase(view);
    return TRUE;
}

BOOL MappedViewChanged(LPCVOID lpBaseAddress)
{
    Objects& all = objects();
    std::lock_guard<std::mutex> guard(all.lock);
    auto view = all.views.find(lpBaseAddress);
    return view != all.views.end() && mapped_view_changed(view->second.second);
}

BOOL CloseHandle(HANDLE hObject)
{
    Objects& all = objects();
    std::lock_guard<std::mutex> guard(all.lock);
    auto* object = static_cast<KernelObject*>(hObject);
    if (hObject == INVALID_HANDLE_VALUE || !all.open.count(object)) {
        t_last_error = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    all.open.erase(object);
    ::close(object->fd);
    delete object;
    return TRUE;
}

DWORD GetLastError(void) { return t_last_error; }

void SetLastError(DWORD dwErrCode) { t_last_error = dwErrCode; }
