#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/win32/reg_file_format.h"
#include "platform/win32/registry_test_hooks.h"
#include "platform/win32/winreg.h"

// Writes made through one open key wait here and reach the file together
// when the key is flushed or closed, so a save of many values is one file
// replacement: whoever reads the file sees all of them or none.
struct RegChange {
    std::string name;
    bool remove;
    DWORD type;
    std::vector<BYTE> data;
};

struct StagedWrites {
    RegFileKey key;        // the file's values with the changes applied
    size_t formatted_size; // what format_reg_file(key) would take
    std::vector<RegChange> changes;
};

struct HKEY__ {
    bool machine;
    std::vector<std::string> components; // from the hive's root: "Software", ...
    REGSAM access;
    std::unique_ptr<StagedWrites> staged;
};

namespace {

// Handles are checked against this set, so a closed or made-up handle is
// refused instead of being followed.
std::set<HKEY>& live_keys()
{
    static auto* keys = new std::set<HKEY>;
    return *keys;
}

bool is_live(HKEY key) { return key && live_keys().count(key) != 0; }

std::string user_root()
{
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/')
        return xdg;
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/')
        return std::string(home) + "/.config";
    passwd pw;
    passwd* found = nullptr;
    char buf[4096];
    if (getpwuid_r(getuid(), &pw, buf, sizeof buf, &found) == 0 && found && pw.pw_dir && pw.pw_dir[0] == '/')
        return std::string(pw.pw_dir) + "/.config";
    return {};
}

std::vector<std::string> machine_roots()
{
    std::vector<std::string> roots;
    const char* dirs = std::getenv("XDG_CONFIG_DIRS");
    if (dirs && dirs[0]) {
        std::string all(dirs);
        size_t pos = 0;
        while (pos <= all.size()) {
            size_t end = all.find(':', pos);
            if (end == std::string::npos)
                end = all.size();
            std::string dir = all.substr(pos, end - pos);
            if (!dir.empty() && dir[0] == '/')
                roots.push_back(dir);
            pos = end + 1;
        }
    }
    if (roots.empty())
        roots.push_back("/etc/xdg");
    return roots;
}

bool valid_component(const std::string& c)
{
    if (c.empty() || c.size() > 255 || c == "." || c == "..")
        return false;
    // A slash would reach outside the key's folder.
    return c.find('/') == std::string::npos;
}

// The key named by a base handle and a subkey below it.
LSTATUS resolve(HKEY base, LPCSTR subkey, bool* machine, std::vector<std::string>* components)
{
    components->clear();
    if (base == HKEY_CURRENT_USER) {
        *machine = false;
    } else if (base == HKEY_LOCAL_MACHINE) {
        *machine = true;
    } else if (is_live(base)) {
        *machine = base->machine;
        *components = base->components;
    } else {
        return ERROR_INVALID_HANDLE;
    }
    if (!subkey || !subkey[0])
        return ERROR_SUCCESS;
    std::string s(subkey);
    size_t pos = 0;
    while (pos <= s.size()) {
        size_t end = s.find('\\', pos);
        if (end == std::string::npos)
            end = s.size();
        std::string c = s.substr(pos, end - pos);
        if (!valid_component(c))
            return ERROR_BAD_PATHNAME;
        components->push_back(c);
        pos = end + 1;
    }
    return ERROR_SUCCESS;
}

bool has_file(const std::vector<std::string>& components)
{
    return components.size() >= 2 && reg_names_equal(components[0], "Software");
}

// The folder of a key below the hive's root folder ("Software" is the root).
std::string key_folder(const std::string& root, const std::vector<std::string>& components)
{
    std::string path = root;
    for (size_t i = 1; i < components.size(); ++i)
        path += "/" + components[i];
    return path;
}

std::string key_file(const std::string& root, const std::vector<std::string>& components)
{
    return key_folder(root, components) + ".reg";
}

std::string section_name(bool machine, const std::vector<std::string>& components)
{
    std::string name = machine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
    for (const std::string& c : components)
        name += "\\" + c;
    return name;
}

bool is_folder(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

enum class FileState { missing, damaged, good };

FileState read_key_file(const std::string& path, const std::string& section, RegFileKey* key)
{
    // Not blocking: a pipe at the path would otherwise wait for a writer for
    // ever; it reads as damaged, as anything but a regular file does.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return errno == ENOENT || errno == ENOTDIR ? FileState::missing : FileState::damaged;
    struct stat st;
    std::vector<char> bytes;
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= 0 &&
        static_cast<unsigned long long>(st.st_size) <= kMaxRegFileBytes;
    if (ok) {
        // Read up to one byte more than allowed, so a file that grew since
        // fstat is still caught by the size limit.
        bytes.resize(static_cast<size_t>(st.st_size) + 1);
        size_t got = 0;
        while (got < bytes.size()) {
            ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                ok = false;
                break;
            }
            if (n == 0)
                break;
            got += static_cast<size_t>(n);
        }
        bytes.resize(got);
    }
    ::close(fd);
    if (!ok || !parse_reg_file(bytes, key) || !reg_names_equal(key->path, section))
        return FileState::damaged;
    return FileState::good;
}

// Where the key's values are read from: the user's file, or the first
// machine folder that holds a good file for it.
bool readable_file(bool machine, const std::vector<std::string>& components, RegFileKey* key)
{
    if (!has_file(components))
        return false;
    std::string section = section_name(machine, components);
    if (!machine) {
        std::string root = user_root();
        return !root.empty() && read_key_file(key_file(root, components), section, key) == FileState::good;
    }
    for (const std::string& root : machine_roots())
        if (read_key_file(key_file(root, components), section, key) == FileState::good)
            return true;
    return false;
}

bool key_exists(bool machine, const std::vector<std::string>& components)
{
    if (components.empty())
        return true;
    if (!reg_names_equal(components[0], "Software"))
        return false;
    if (components.size() == 1)
        return true;
    RegFileKey key;
    if (readable_file(machine, components, &key))
        return true;
    if (!machine) {
        std::string root = user_root();
        return !root.empty() && is_folder(key_folder(root, components));
    }
    for (const std::string& root : machine_roots())
        if (is_folder(key_folder(root, components)))
            return true;
    return false;
}

LSTATUS status_of_errno(int e)
{
    switch (e) {
    case ENOSPC:
    case EDQUOT:
        return ERROR_DISK_FULL;
    case EACCES:
    case EPERM:
    case EROFS:
        return ERROR_ACCESS_DENIED;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    default:
        return ERROR_WRITE_FAULT;
    }
}

LSTATUS make_folders(const std::string& folder)
{
    if (is_folder(folder))
        return ERROR_SUCCESS;
    size_t slash = folder.rfind('/');
    if (slash != std::string::npos && slash > 0) {
        LSTATUS parent = make_folders(folder.substr(0, slash));
        if (parent != ERROR_SUCCESS)
            return parent;
    }
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        return status_of_errno(errno);
    return ERROR_SUCCESS;
}

// Serialises the writers of one folder, also across processes. The lock
// goes with the process, so a killed writer never leaves it held.
class FolderLock {
public:
    explicit FolderLock(const std::string& folder) : fd_(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
        if (fd_ >= 0)
            while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {}
    }
    ~FolderLock()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int fd_;
};

// Temporary names beside a key file: ".NAME.XXXXXX", as mkstemp makes them.
std::string temporary_pattern(const std::string& folder, const std::string& file_name)
{
    return folder + "/." + file_name + ".XXXXXX";
}

// A writer killed between mkstemp and rename leaves its temporary file
// behind; under the folder lock no other writer is using one.
void remove_stale_temporaries(const std::string& folder, const std::string& file_name)
{
    const std::string prefix = "." + file_name + ".";
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() == prefix.size() + 6 && name.compare(0, prefix.size(), prefix) == 0)
            ::unlinkat(::dirfd(dir), name.c_str(), 0);
    }
    ::closedir(dir);
}

int write_all(int fd, const char* bytes, size_t size)
{
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::write(fd, bytes + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : ENOSPC;
        done += static_cast<size_t>(n);
    }
    return 0;
}

// Writes `bytes` to a new temporary file beside `path`, synced; its name in `name`.
int write_temporary(const std::string& folder, const std::string& file_name, const std::string& bytes,
                    std::vector<char>* name)
{
    const std::string pattern = temporary_pattern(folder, file_name);
    name->assign(pattern.begin(), pattern.end());
    name->push_back('\0');
    int fd = ::mkstemp(name->data());
    if (fd < 0)
        return errno;
    int error = write_all(fd, bytes.data(), bytes.size());
    if (!error && ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && !error)
        error = errno;
    if (error)
        ::unlink(name->data());
    return error;
}

// Puts a copy of the damaged file at PATH.bad before the file is replaced:
// a hard link when the file system has them, else a copy of its bytes.
int keep_damaged_copy(const std::string& folder, const std::string& file_name, const std::string& path)
{
    const std::string kept = path + ".bad";
    std::vector<char> name;
    const std::string pattern = temporary_pattern(folder, file_name);
    name.assign(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data());
    if (fd < 0)
        return errno;
    ::close(fd);
    ::unlink(name.data());
    if (::link(path.c_str(), name.data()) != 0) {
        std::string bytes;
        int in = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (in < 0)
            return errno;
        char buf[65536];
        for (;;) {
            ssize_t n = ::read(in, buf, sizeof buf);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                int error = errno;
                ::close(in);
                return error;
            }
            if (n == 0)
                break;
            bytes.append(buf, static_cast<size_t>(n));
        }
        ::close(in);
        int error = write_temporary(folder, file_name, bytes, &name);
        if (error)
            return error;
    }
    if (::rename(name.data(), kept.c_str()) != 0) {
        int error = errno;
        ::unlink(name.data());
        return error;
    }
    return 0;
}

// A key file kept as a symbolic link (as dotfile managers set it up) is
// replaced in the folder of the file it names, so the link stays and the
// linked file gets the values.
std::string followed_link(const std::string& path)
{
    struct stat link;
    char target[PATH_MAX];
    if (::lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode) || !::realpath(path.c_str(), target))
        return path;
    return target;
}

// Reads the key's file, lets `change` edit its values and replaces the file
// with the result, all under the folder's lock. The new file is complete and
// synced before it is renamed into place, so a crash, a kill or a full disk
// leaves the old file or the new one, never none and never a mix. A damaged
// old file is kept as PATH.bad; a result the reader would refuse as too large
// is not written.
template <typename Change>
LSTATUS rewrite_key_file(const std::string& named_path, const std::string& section, Change change)
{
    const std::string path = followed_link(named_path);
    size_t slash = path.rfind('/');
    std::string folder = path.substr(0, slash);
    std::string file_name = path.substr(slash + 1);
    LSTATUS made = make_folders(folder);
    if (made != ERROR_SUCCESS)
        return made;
    FolderLock lock(folder);
    remove_stale_temporaries(folder, file_name);

    RegFileKey key;
    FileState state = read_key_file(path, section, &key);
    if (state != FileState::good)
        key.values.clear();
    key.path = section;
    LSTATUS status = change(key);
    if (status != ERROR_SUCCESS)
        return status;
    std::string bytes = format_reg_file(key);
    if (bytes.size() > kMaxRegFileBytes)
        return ERROR_NOT_ENOUGH_QUOTA;

    std::vector<char> name;
    int error = write_temporary(folder, file_name, bytes, &name);
    if (error)
        return status_of_errno(error);
    if (state == FileState::damaged)
        error = keep_damaged_copy(folder, file_name, path);
    if (!error && ::rename(name.data(), path.c_str()) != 0)
        error = errno;
    if (error) {
        ::unlink(name.data());
        return status_of_errno(error);
    }
    // The rename itself is made durable by syncing the folder.
    int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return ERROR_SUCCESS;
}

HKEY new_handle(bool machine, std::vector<std::string> components, REGSAM access)
{
    HKEY key = new HKEY__{machine, std::move(components), access, nullptr};
    live_keys().insert(key);
    return key;
}

bool bad_value_name(LPCSTR name) { return name && (std::strchr(name, '\n') || std::strchr(name, '\r')); }

} // namespace

LSTATUS RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM samDesired, PHKEY phkResult)
{
    if (!phkResult)
        return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    if (LSTATUS injected = registry_injected_failure(RegistryCall::OpenKey))
        return injected;
    bool machine;
    std::vector<std::string> components;
    LSTATUS status = resolve(hKey, lpSubKey, &machine, &components);
    if (status == ERROR_BAD_PATHNAME)
        return ERROR_FILE_NOT_FOUND;
    if (status != ERROR_SUCCESS)
        return status;
    if (!key_exists(machine, components))
        return ERROR_FILE_NOT_FOUND;
    *phkResult = new_handle(machine, std::move(components), samDesired);
    return ERROR_SUCCESS;
}

LSTATUS RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, LPSTR, DWORD, REGSAM samDesired, const SECURITY_ATTRIBUTES*,
                        PHKEY phkResult, LPDWORD lpdwDisposition)
{
    if (!phkResult)
        return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    if (LSTATUS injected = registry_injected_failure(RegistryCall::CreateKey))
        return injected;
    bool machine;
    std::vector<std::string> components;
    LSTATUS status = resolve(hKey, lpSubKey, &machine, &components);
    if (status != ERROR_SUCCESS)
        return status;
    // The machine's hive is read-only here, and only keys below Software exist.
    if (machine || components.empty() || !reg_names_equal(components[0], "Software"))
        return ERROR_ACCESS_DENIED;

    DWORD disposition = REG_OPENED_EXISTING_KEY;
    if (has_file(components)) {
        std::string root = user_root();
        if (root.empty())
            return ERROR_ACCESS_DENIED;
        std::string path = key_file(root, components);
        std::string section = section_name(false, components);
        RegFileKey existing;
        FileState state = read_key_file(path, section, &existing);
        if (state != FileState::good && !is_folder(key_folder(root, components))) {
            // An empty key; an unreadable old file is kept aside as PATH.bad.
            status = rewrite_key_file(path, section, [](RegFileKey&) { return LSTATUS(ERROR_SUCCESS); });
            if (status != ERROR_SUCCESS)
                return status;
            disposition = REG_CREATED_NEW_KEY;
        }
    }
    if (lpdwDisposition)
        *lpdwDisposition = disposition;
    *phkResult = new_handle(false, std::move(components), samDesired);
    return ERROR_SUCCESS;
}

LSTATUS RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                         LPDWORD lpcbData)
{
    if (LSTATUS injected = registry_injected_failure(RegistryCall::QueryValue))
        return injected;
    bool machine;
    std::vector<std::string> components;
    LSTATUS status = resolve(hKey, nullptr, &machine, &components);
    if (status != ERROR_SUCCESS)
        return status;
    if (lpReserved || (lpData && !lpcbData))
        return ERROR_INVALID_PARAMETER;
    if (is_live(hKey) && !(hKey->access & KEY_QUERY_VALUE))
        return ERROR_ACCESS_DENIED;

    // A key with writes not yet in the file answers with them.
    RegFileKey read;
    const RegFileKey* key = &read;
    if (is_live(hKey) && hKey->staged)
        key = &hKey->staged->key;
    else if (!readable_file(machine, components, &read))
        return ERROR_FILE_NOT_FOUND;
    std::string name = lpValueName ? lpValueName : "";
    for (const RegFileValue& v : key->values) {
        if (!reg_names_equal(v.name, name))
            continue;
        DWORD size = static_cast<DWORD>(v.data.size());
        if (lpType)
            *lpType = v.type;
        if (!lpcbData)
            return ERROR_SUCCESS;
        if (lpData && *lpcbData < size) {
            *lpcbData = size;
            return ERROR_MORE_DATA;
        }
        if (lpData && size)
            std::memcpy(lpData, v.data.data(), size);
        *lpcbData = size;
        return ERROR_SUCCESS;
    }
    return ERROR_FILE_NOT_FOUND;
}

namespace {

// The file and section of a key that may be written through this handle.
LSTATUS writable_key_file(HKEY hKey, std::string* path, std::string* section)
{
    if (!is_live(hKey)) {
        if (hKey == HKEY_LOCAL_MACHINE || hKey == HKEY_CURRENT_USER)
            return ERROR_ACCESS_DENIED;
        return ERROR_INVALID_HANDLE;
    }
    if (hKey->machine || !has_file(hKey->components))
        return ERROR_ACCESS_DENIED;
    if (!(hKey->access & KEY_SET_VALUE))
        return ERROR_ACCESS_DENIED;
    std::string root = user_root();
    if (root.empty())
        return ERROR_ACCESS_DENIED;
    *path = key_file(root, hKey->components);
    *section = section_name(false, hKey->components);
    return ERROR_SUCCESS;
}

RegFileValue* find_value(RegFileKey& key, const std::string& name)
{
    for (RegFileValue& v : key.values)
        if (reg_names_equal(v.name, name))
            return &v;
    return nullptr;
}

void apply_change(RegFileKey& key, const RegChange& change)
{
    RegFileValue* value = find_value(key, change.name);
    if (change.remove) {
        if (value)
            key.values.erase(key.values.begin() + (value - key.values.data()));
    } else if (value) {
        value->type = change.type;
        value->data = change.data;
    } else {
        key.values.push_back(RegFileValue{change.name, change.type, change.data});
    }
}

// Takes one change into the handle's staged writes. The file stays as it
// is until the key is flushed; a change that would make the file larger
// than the reader accepts is refused here, so that no write ever produces a
// file the next read would call damaged.
LSTATUS stage_change(HKEY hKey, RegChange change)
{
    std::string path, section;
    LSTATUS status = writable_key_file(hKey, &path, &section);
    if (status != ERROR_SUCCESS)
        return status;
    if (!hKey->staged) {
        auto staged = std::make_unique<StagedWrites>();
        if (read_key_file(path, section, &staged->key) != FileState::good)
            staged->key.values.clear();
        staged->key.path = section;
        staged->formatted_size = format_reg_file(staged->key).size();
        hKey->staged = std::move(staged);
    }
    StagedWrites& staged = *hKey->staged;
    RegFileValue* old = find_value(staged.key, change.name);
    if (change.remove && !old)
        return ERROR_FILE_NOT_FOUND;
    size_t size = staged.formatted_size - (old ? formatted_value_size(*old) : 0);
    if (!change.remove)
        size += formatted_value_size(RegFileValue{change.name, change.type, change.data});
    if (size > kMaxRegFileBytes)
        return ERROR_NOT_ENOUGH_QUOTA;
    apply_change(staged.key, change);
    staged.formatted_size = size;
    staged.changes.push_back(std::move(change));
    return ERROR_SUCCESS;
}

} // namespace

LSTATUS RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData, DWORD cbData)
{
    if (cbData && !lpData)
        return ERROR_NOACCESS;
    if (bad_value_name(lpValueName))
        return ERROR_INVALID_PARAMETER;
    if (LSTATUS injected = registry_injected_failure(RegistryCall::SetValue))
        return injected;
    return stage_change(
        hKey, RegChange{lpValueName ? lpValueName : "", false, dwType, std::vector<BYTE>(lpData, lpData + cbData)});
}

LSTATUS RegDeleteValueA(HKEY hKey, LPCSTR lpValueName)
{
    return stage_change(hKey, RegChange{lpValueName ? lpValueName : "", true, REG_NONE, {}});
}

LSTATUS RegFlushKey(HKEY hKey)
{
    if (LSTATUS injected = registry_injected_failure(RegistryCall::FlushKey))
        return injected;
    if (hKey == HKEY_CURRENT_USER || hKey == HKEY_LOCAL_MACHINE || hKey == HKEY_CLASSES_ROOT || hKey == HKEY_USERS)
        return ERROR_SUCCESS;
    if (!is_live(hKey))
        return ERROR_INVALID_HANDLE;
    if (!hKey->staged || hKey->staged->changes.empty())
        return ERROR_SUCCESS;
    std::string path, section;
    LSTATUS status = writable_key_file(hKey, &path, &section);
    if (status != ERROR_SUCCESS)
        return status;
    // The changes go onto the file as it is now, not as it was when they
    // were made, so that another writer's values in between are kept.
    status = rewrite_key_file(path, section, [&](RegFileKey& key) {
        for (const RegChange& change : hKey->staged->changes)
            apply_change(key, change);
        return LSTATUS(ERROR_SUCCESS);
    });
    if (status == ERROR_SUCCESS)
        hKey->staged.reset();
    return status;
}

LSTATUS RegCloseKey(HKEY hKey)
{
    if (hKey == HKEY_CURRENT_USER || hKey == HKEY_LOCAL_MACHINE || hKey == HKEY_CLASSES_ROOT || hKey == HKEY_USERS)
        return ERROR_SUCCESS;
    if (!is_live(hKey))
        return ERROR_INVALID_HANDLE;
    LSTATUS status = RegFlushKey(hKey);
    live_keys().erase(hKey);
    delete hKey;
    return status;
}

LSTATUS RegGetKeyFileNameA(HKEY root, LPCSTR subkey, LPSTR path, DWORD size)
{
    bool machine;
    std::vector<std::string> components;
    LSTATUS status = resolve(root, subkey, &machine, &components);
    if (status != ERROR_SUCCESS)
        return status;
    if (!has_file(components))
        return ERROR_BAD_PATHNAME;
    std::string file;
    if (!machine) {
        std::string home = user_root();
        if (home.empty())
            return ERROR_BAD_PATHNAME;
        file = key_file(home, components);
    } else {
        std::vector<std::string> roots = machine_roots();
        file = key_file(roots.front(), components);
        RegFileKey key;
        for (const std::string& r : roots) {
            if (read_key_file(key_file(r, components), section_name(true, components), &key) == FileState::good) {
                file = key_file(r, components);
                break;
            }
        }
    }
    if (!path || size <= file.size())
        return ERROR_MORE_DATA;
    std::memcpy(path, file.c_str(), file.size() + 1);
    return ERROR_SUCCESS;
}
