#include "platform/win32/replacing_file.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <atomic>
#include <random>

namespace {

// Not an errno value: the target exists and is neither a folder nor a
// regular file, and may not be replaced.
constexpr int kNotRegular = -1;

std::string folder_of(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The file a path names for writing: where a chain of symbolic links ends,
// so that a linked file is updated rather than the link replaced by a copy,
// also when the link names a file not made yet.
std::string written_path(const char* path)
{
    std::string target = path;
    for (int links = 0; links < 40; ++links) {
        struct stat facts;
        if (::lstat(target.c_str(), &facts) != 0 || !S_ISLNK(facts.st_mode))
            return target;
        char named[PATH_MAX];
        const ssize_t length = ::readlink(target.c_str(), named, sizeof named);
        if (length <= 0 || static_cast<size_t>(length) >= sizeof named)
            return target;
        const std::string link(named, static_cast<size_t>(length));
        target = link[0] == '/' ? link : folder_of(target) + "/" + link;
    }
    return target; // a loop: opening it fails with the system's reason
}

// A new file ".NAME.XXXXXX" beside the target, with the target's permission
// bits when it exists (else the usual ones under the umask).
int create_temporary(const std::string& target, mode_t mode, std::string* name)
{
    const size_t slash = target.rfind('/');
    const std::string prefix = (slash == std::string::npos ? std::string() : target.substr(0, slash + 1)) + "." +
        target.substr(slash == std::string::npos ? 0 : slash + 1) + ".";
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device seed;
    std::minstd_rand random(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        *name = prefix;
        for (int i = 0; i < 6; ++i)
            *name += kLetters[random() % (sizeof kLetters - 1)];
        const int fd = ::open(name->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// The temporary file a fatal signal removes: its name is copied here
// beforehand, as the handler may only unlink and raise.
char g_doomed[PATH_MAX];
volatile sig_atomic_t g_has_doomed = 0;

void remove_and_end(int signal)
{
    if (g_has_doomed)
        ::unlink(g_doomed);
    // The handler was reset on entry: the signal now ends the process.
    ::raise(signal);
}

constexpr int kFatalSignals[] = {SIGTERM, SIGINT, SIGHUP, SIGBUS};

void doom(const std::string& temporary)
{
    if (temporary.size() >= sizeof g_doomed)
        return;
    g_has_doomed = 0;
    std::memcpy(g_doomed, temporary.c_str(), temporary.size() + 1);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    g_has_doomed = 1;
}

void forget_doomed(const std::string& temporary)
{
    if (g_has_doomed && temporary == g_doomed)
        g_has_doomed = 0;
}

void sync_folder(const std::string& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

ReplacingFile::~ReplacingFile() { discard(); }

void ReplacingFile::discard()
{
    if (stream_)
        std::fclose(stream_);
    stream_ = nullptr;
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
        forget_doomed(temporary_);
    }
    temporary_.clear();
}

void ReplacingFile::remove_if_killed()
{
    remove_if_killed_ = true;
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    for (int signal : kFatalSignals) {
        struct sigaction now;
        // A signal the process was started ignoring (a job in the
        // background) stays ignored.
        if (::sigaction(signal, nullptr, &now) != 0 || now.sa_handler == SIG_IGN)
            continue;
        struct sigaction action = {};
        action.sa_handler = remove_and_end;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND | SA_NODEFER;
        ::sigaction(signal, &action, nullptr);
    }
}

bool ReplacingFile::open(const char* path, OtherTargets others)
{
    // Past a file size limit a write then fails with EFBIG, which commit
    // reports, instead of the signal killing the process with the
    // temporary file left behind.
    std::signal(SIGXFSZ, SIG_IGN);
    discard();
    error_ = 0;
    if (!path || !*path) {
        error_ = ENOENT;
        return false;
    }
    target_ = written_path(path);
    struct stat existing;
    const bool exists = ::stat(target_.c_str(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode)) {
        error_ = EISDIR;
        return false;
    }
    if (exists && !S_ISREG(existing.st_mode)) {
        if (others == OtherTargets::refuse) {
            error_ = kNotRegular;
            return false;
        }
        stream_ = std::fopen(target_.c_str(), "wb");
        error_ = stream_ ? 0 : errno;
        return stream_ != nullptr;
    }
    const mode_t mode = exists ? (existing.st_mode & 07777) : 0666;
    // A signal between making the file and noting its name waits until the
    // name is noted.
    sigset_t fatal, before;
    sigemptyset(&fatal);
    for (int signal : kFatalSignals)
        sigaddset(&fatal, signal);
    if (remove_if_killed_)
        ::pthread_sigmask(SIG_BLOCK, &fatal, &before);
    const int fd = create_temporary(target_, mode, &temporary_);
    if (fd >= 0 && remove_if_killed_)
        doom(temporary_);
    if (remove_if_killed_)
        ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
    if (fd < 0) {
        error_ = errno;
        temporary_.clear();
        return false;
    }
    // open's mode is cut by the umask; an existing file keeps its own bits.
    if (exists)
        ::fchmod(fd, mode);
    stream_ = ::fdopen(fd, "wb");
    if (!stream_) {
        error_ = errno;
        ::close(fd);
        discard();
        return false;
    }
    return true;
}

bool ReplacingFile::commit()
{
    if (!stream_) {
        error_ = error_ ? error_ : EBADF;
        return false;
    }
    errno = 0;
    bool ok = std::fflush(stream_) == 0 && !std::ferror(stream_);
    if (ok && !temporary_.empty())
        ok = ::fsync(::fileno(stream_)) == 0;
    int error = ok ? 0 : (errno ? errno : EIO);
    std::FILE* stream = stream_;
    stream_ = nullptr;
    if (std::fclose(stream) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && !temporary_.empty()) {
        if (::rename(temporary_.c_str(), target_.c_str()) == 0) {
            forget_doomed(temporary_);
            temporary_.clear();
            sync_folder(folder_of(target_));
        } else {
            ok = false;
            error = errno;
        }
    }
    if (!ok) {
        error_ = error;
        discard();
    }
    return ok;
}

const char* ReplacingFile::reason() const
{
    if (error_ == kNotRegular)
        return "Not a regular file";
    return std::strerror(error_ ? error_ : EIO);
}
