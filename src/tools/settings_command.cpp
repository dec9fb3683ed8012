// varnel-cli settings: shows the viewer's stored settings, or puts the
// defaults back.
#include <cstdio>
#include <cstring>

#include "platform/win32/winreg.h"
#include "shell/settings.h"
#include "tools/commands.h"

namespace {

struct Row {
    const char* name;
    const char* path;
    const int32_t* value;
};

// True when the key holds exactly what saving `s` writes.
bool stored_as(const Settings& s)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, SETTINGS_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    struct Expected {
        const char* name;
        DWORD type;
        const void* data;
        DWORD size;
    } expected[] = {
        {"data_path", REG_SZ, s.data_path, sizeof s.data_path},
        {"texture_path", REG_SZ, s.texture_path, sizeof s.texture_path},
        {"x_min", REG_DWORD, &s.x_min, 4},
        {"x_max", REG_DWORD, &s.x_max, 4},
        {"y_min", REG_DWORD, &s.y_min, 4},
        {"y_max", REG_DWORD, &s.y_max, 4},
        {"x_marker", REG_DWORD, &s.x_marker, 4},
        {"y_marker", REG_DWORD, &s.y_marker, 4},
        {"radius", REG_DWORD, &s.radius, 4},
        {"azimuth", REG_DWORD, &s.azimuth, 4},
        {"elevation", REG_DWORD, &s.elevation, 4},
    };
    bool same = true;
    for (const Expected& e : expected) {
        BYTE buf[sizeof s.data_path];
        DWORD type = 0, size = sizeof buf;
        if (RegQueryValueExA(key, e.name, nullptr, &type, buf, &size) != ERROR_SUCCESS || type != e.type ||
            size != e.size || std::memcmp(buf, e.data, size) != 0)
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
            std::fputs("usage: varnel-cli settings [--reset]\n", stderr);
            return 2;
        }
    }

    char file[4096];
    if (RegGetKeyFileNameA(HKEY_CURRENT_USER, SETTINGS_KEY, file, sizeof file) != ERROR_SUCCESS)
        std::strcpy(file, "(none)");

    if (reset) {
        // The defaults are what loading gives when nothing is stored.
        Settings defaults;
        std::memset(&defaults, 0, sizeof defaults);
        defaults.x_max = 4000;
        defaults.y_max = 4000;
        defaults.radius = 100;
        defaults.elevation = 90;
        save_settings(&defaults);
        if (!stored_as(defaults)) {
            std::fprintf(stderr, "varnel-cli: cannot write the settings file %s\n", file);
            return 1;
        }
    }

    Settings s;
    load_settings(&s);
    const Row rows[] = {
        {"data_path", s.data_path, nullptr}, {"texture_path", s.texture_path, nullptr},
        {"x_min", nullptr, &s.x_min},        {"x_max", nullptr, &s.x_max},
        {"y_min", nullptr, &s.y_min},        {"y_max", nullptr, &s.y_max},
        {"x_marker", nullptr, &s.x_marker},  {"y_marker", nullptr, &s.y_marker},
        {"radius", nullptr, &s.radius},      {"azimuth", nullptr, &s.azimuth},
        {"elevation", nullptr, &s.elevation},
    };
    for (const Row& r : rows) {
        if (r.path)
            std::printf("%s=%s\n", r.name, r.path);
        else
            std::printf("%s=%d\n", r.name, static_cast<int>(*r.value));
    }
    std::printf("file=%s\n", file);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
