// varnel-cli settings: shows the viewer's stored settings, or puts the
// defaults back.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/win32/winreg.h"
#include "settings/settings.h"
#include "tools/command_basics.h"
#include "tools/commands.h"
#include "tools/option_table.h"

namespace {

// True when the key holds exactly what saving `s` writes.
bool stored_as(const Settings& s)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, SETTINGS_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    bool same = true;
    for (const SettingRow& row : setting_rows()) {
        BYTE buf[sizeof s.data_path];
        DWORD type = 0, size = sizeof buf;
        if (RegQueryValueExA(key, row.name, nullptr, &type, buf, &size) != ERROR_SUCCESS || type != row.type ||
            size != row.size || std::memcmp(buf, setting_bytes(&s, row), size) != 0)
            same = false;
    }
    RegCloseKey(key);
    return same;
}

// A registry status in the system's words, where it names one; a write
// fault is any other failure, whose errno the registry does not keep.
std::string status_words(LSTATUS status)
{
    static const struct {
        LSTATUS status;
        int error;
    } kErrors[] = {
        {ERROR_DISK_FULL, ENOSPC},   {ERROR_ACCESS_DENIED, EACCES},  {ERROR_NOT_ENOUGH_MEMORY, ENOMEM},
        {ERROR_OUTOFMEMORY, ENOMEM}, {ERROR_FILE_NOT_FOUND, ENOENT}, {ERROR_NOT_ENOUGH_QUOTA, EFBIG},
    };
    for (const auto& e : kErrors)
        if (e.status == status)
            return std::strerror(e.error);
    return status == ERROR_WRITE_FAULT ? "the write failed" : "error " + std::to_string(status);
}

// settings' one option.
void declare_options(OptionTable& table, bool* reset)
{
    table.flag("--reset", reset, "put the viewer's default settings back first");
}

} // namespace

std::string settings_help()
{
    OptionTable table("settings", kSettingsUsage);
    bool reset = false;
    declare_options(table, &reset);
    return table.help();
}

int settings_command(int argc, char** argv)
{
    OptionTable table("settings", kSettingsUsage);
    bool reset = false;
    declare_options(table, &reset);
    if (const std::string problem = table.parse(argc, argv); !problem.empty())
        return usage_error(kSettingsUsage, problem);

    char file[4096];
    if (RegGetKeyFileNameA(HKEY_CURRENT_USER, SETTINGS_KEY, file, sizeof file) != ERROR_SUCCESS)
        std::strcpy(file, "(none)");

    if (reset) {
        Settings defaults = default_settings();
        const LSTATUS status = write_settings(&defaults);
        if (status != ERROR_SUCCESS || !stored_as(defaults)) {
            std::fprintf(stderr, "varnel-cli: cannot write the settings file %s: %s\n", file,
                         status != ERROR_SUCCESS ? status_words(status).c_str()
                                                 : "what was written does not read back");
            return 1;
        }
    }

    Settings s;
    load_settings(&s);
    CheckedOutput output(stdout);
    for (const SettingRow& row : setting_rows()) {
        const std::string value = row.type == REG_SZ ? std::string(setting_bytes(&s, row))
            : row.type == REG_BINARY                 ? exact_text(*setting_exact(&s, row))
                                                     : std::to_string(*setting_int(&s, row));
        output.print(std::string(row.name) + "=" + value + "\n");
    }
    output.print(std::string("file=") + file + "\n");
    if (const int error = output.finish()) {
        std::fprintf(stderr, "varnel-cli: writing the settings failed: %s\n", std::strerror(error));
        return 1;
    }
    return 0;
}
