// varnel-cli settings: shows the viewer's stored settings, or puts the
// defaults back.
#include <cstdio>
#include <cstring>

#include "platform/win32/winreg.h"
#include "settings/settings.h"
#include "tools/command_basics.h"
#include "tools/commands.h"

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

} // namespace

int settings_command(int argc, char** argv)
{
    bool reset = false;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--reset") == 0) {
            reset = true;
        } else {
            return usage_error(kSettingsUsage, unknown_option(argv[i]));
        }
    }

    char file[4096];
    if (RegGetKeyFileNameA(HKEY_CURRENT_USER, SETTINGS_KEY, file, sizeof file) != ERROR_SUCCESS)
        std::strcpy(file, "(none)");

    if (reset) {
        Settings defaults = default_settings();
        save_settings(&defaults);
        if (!stored_as(defaults)) {
            std::fprintf(stderr, "varnel-cli: cannot write the settings file %s\n", file);
            return 1;
        }
    }

    Settings s;
    load_settings(&s);
    for (const SettingRow& row : setting_rows()) {
        if (row.type == REG_SZ)
            std::printf("%s=%s\n", row.name, setting_bytes(&s, row));
        else if (row.type == REG_BINARY)
            std::printf("%s=%s\n", row.name, exact_text(*setting_exact(&s, row)).c_str());
        else
            std::printf("%s=%d\n", row.name, static_cast<int>(*setting_int(&s, row)));
    }
    std::printf("file=%s\n", file);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
