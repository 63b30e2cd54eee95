// zav-launch-desktop: what GIO runs in front of a program it launches from a desktop entry
// (named by $GIO_LAUNCH_DESKTOP), for the installer started from a bundle:
//   zav-launch-desktop PROGRAM [ARG...]
// It gives the program the environment the user started the bundle with, notes the program's
// pid for the desktop as GIO's own helper does, and replaces itself with PROGRAM (searched along
// $PATH when it has no '/'). Status 127 when PROGRAM cannot be run.
//
// The bundle's launcher changes a few variables for the installer (the fonts, GIO's helper and
// modules, Qt's plugin paths and platforms) and lists their names, separated by spaces, in
// $ZAV_BUNDLE_VARS; a value the user had is kept in ZAV_SAVED_<name>. Each listed variable is put
// back (or removed when the user had none), and the bookkeeping removed, so the product inherits
// none of the bundle.
//
// Linked statically, so that it runs on any system whatever its C library, and so that it is
// wholly loaded once started: the bundle's folder is removed as soon as the installer ends.

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fputs("usage: zav-launch-desktop PROGRAM [ARG...]\n", stderr);
        return 127;
    }
    if (const char *list = std::getenv("ZAV_BUNDLE_VARS")) {
        const std::string names = list;
        std::size_t start = 0;
        while (start < names.size()) {
            std::size_t end = names.find(' ', start);
            if (end == std::string::npos)
                end = names.size();
            const std::string name = names.substr(start, end - start);
            start = end + 1;
            if (name.empty() || name.find('=') != std::string::npos)
                continue;
            const std::string saved = "ZAV_SAVED_" + name;
            if (const char *value = std::getenv(saved.c_str()))
                setenv(name.c_str(), value, 1);
            else
                unsetenv(name.c_str());
            unsetenv(saved.c_str());
        }
        unsetenv("ZAV_BUNDLE_VARS");
    }
    setenv("GIO_LAUNCHED_DESKTOP_FILE_PID", std::to_string(getpid()).c_str(), 1);
    execvp(argv[1], argv + 1);
    std::fprintf(stderr, "zav-launch-desktop: %s: %s\n", argv[1], std::strerror(errno));
    return 127;
}
