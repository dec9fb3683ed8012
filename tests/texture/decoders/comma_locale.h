// A numeric locale whose decimal separator is a comma, for checking that text
// headers are read the same whatever the program's locale is. Uses an
// installed German or French locale, or compiles one into a temporary folder;
// name() is empty when neither works.
#pragma once

#include <clocale>
#include <cstdlib>
#include <string>

class CommaLocale {
public:
    CommaLocale()
    {
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"})
            if (try_locale(name))
                return;
        char dir[] = "/tmp/varnel-locale-XXXXXX";
        if (!mkdtemp(dir))
            return;
        dir_ = dir;
        const std::string command = "localedef -i de_DE -f UTF-8 " + dir_ + "/de_DE.UTF-8 >/dev/null 2>&1";
        if (std::system(command.c_str()) == 0) {
            setenv("LOCPATH", dir_.c_str(), 1);
            try_locale("de_DE.UTF-8");
        }
    }

    ~CommaLocale()
    {
        std::setlocale(LC_NUMERIC, "C");
        if (!dir_.empty()) {
            unsetenv("LOCPATH");
            std::system(("rm -rf " + dir_).c_str());
        }
    }

    // The locale's name, set as LC_NUMERIC; empty when none could be made.
    const std::string& name() const { return name_; }

private:
    bool try_locale(const char* name)
    {
        const char* set = std::setlocale(LC_NUMERIC, name);
        if (!set || std::localeconv()->decimal_point[0] != ',') {
            std::setlocale(LC_NUMERIC, "C");
            return false;
        }
        name_ = set;
        return true;
    }

    std::string name_;
    std::string dir_;
};
