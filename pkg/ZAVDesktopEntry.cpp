// GLib only: its headers use names that Qt defines as macros.
#include "ZAVDesktopEntry.h"

#include <gio/gdesktopappinfo.h>
#include <glib.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <set>

namespace {

constexpr const char *kMainGroup = "Desktop Entry";
constexpr const char *kActionPrefix = "Desktop Action ";

struct KeyFileDeleter {
    void operator()(GKeyFile *file) const { g_key_file_unref(file); }
};
using KeyFile = std::unique_ptr<GKeyFile, KeyFileDeleter>;

struct ErrorDeleter {
    void operator()(GError *error) const { g_error_free(error); }
};

// A refusal of the entry's text or of the installed entry: no path, the sentence as the reason.
ZAVFileError refusal(std::string reason)
{
    return {std::string(), EINVAL, std::move(reason)};
}

ZAVResult<KeyFile> loaded(const std::string &text)
{
    KeyFile file(g_key_file_new());
    GError *raw = nullptr;
    if (!g_key_file_load_from_data(
            file.get(), text.data(), text.size(),
            static_cast<GKeyFileFlags>(G_KEY_FILE_KEEP_COMMENTS | G_KEY_FILE_KEEP_TRANSLATIONS),
            &raw)) {
        std::unique_ptr<GError, ErrorDeleter> failure(raw);
        return refusal(std::string("it is not a valid desktop entry: ") + failure->message);
    }
    return file;
}

std::optional<std::string> stringValue(GKeyFile *file, const char *group, const char *key)
{
    gchar *value = g_key_file_get_string(file, group, key, nullptr);
    if (!value)
        return std::nullopt;
    std::string text = value;
    g_free(value);
    return text;
}

// Splits an Exec value into arguments as the launcher does after expanding field codes.
// Fails with GLib's words as the reason.
ZAVResult<std::vector<std::string>> splitArguments(const char *exec)
{
    gint argc = 0;
    gchar **argv = nullptr;
    GError *raw = nullptr;
    if (!g_shell_parse_argv(exec, &argc, &argv, &raw)) {
        std::unique_ptr<GError, ErrorDeleter> failure(raw);
        return refusal(failure->message);
    }
    std::vector<std::string> arguments(argv, argv + argc);
    g_strfreev(argv);
    return arguments;
}

// A key that the key-file reader would hide: one that comes twice in `group` (the reader keeps
// the last, but writes every one back), or a localized form of a program key, which another
// reader could run instead of the one checked. Empty when there is none.
std::string hiddenKey(GKeyFile *file, const char *group)
{
    gsize count = 0;
    gchar **keys = g_key_file_get_keys(file, group, &count, nullptr);
    std::set<std::string> seen;
    std::string problem;
    for (gsize i = 0; i < count && problem.empty(); ++i) {
        const std::string key = keys[i];
        std::string base = key.substr(0, key.find('['));
        while (!base.empty() && base.back() == ' ')
            base.pop_back();
        if (!seen.insert(key).second)
            problem = "the key " + key + " comes more than once in [" + group + "]";
        else if (base != key && (base == "Exec" || base == "TryExec"))
            // Appended, not "[" + std::string(group) + ...: at -O2 GCC 12 takes that for an
            // overlapping copy (-Wrestrict) and the Release build fails.
            problem = std::string("[")
                          .append(group)
                          .append("] has a localized ")
                          .append(base)
                          .append(" (")
                          .append(key)
                          .append("); give the program once, without a locale");
    }
    g_strfreev(keys);
    return problem;
}

} // namespace

ZAVResult<ZAVDesktopEntry> ZAVDesktopEntry::fromText(const std::string &text)
{
    ZAVResult<KeyFile> loadedFile = loaded(text);
    if (!loadedFile)
        return loadedFile.error();
    const KeyFile file = std::move(*loadedFile);
    if (!g_key_file_has_group(file.get(), kMainGroup)) {
        return refusal("it has no [Desktop Entry] group");
    }
    const std::optional<std::string> type = stringValue(file.get(), kMainGroup, "Type");
    if (type != "Application") {
        return refusal("its Type is " + (type ? "\"" + *type + "\"" : std::string("missing")) +
                       ", not Application");
    }

    ZAVDesktopEntry entry;
    entry.m_text = text;
    std::vector<std::string> groups{kMainGroup};
    gchar **names = g_key_file_get_groups(file.get(), nullptr);
    for (gchar **name = names; name && *name; ++name) {
        if (std::strncmp(*name, kActionPrefix, std::strlen(kActionPrefix)) == 0) {
            groups.emplace_back(*name);
            entry.m_actions.push_back(
                {*name + std::strlen(kActionPrefix),
                 stringValue(file.get(), *name, "Name").value_or(std::string())});
        }
    }
    g_strfreev(names);
    for (const std::string &group : groups) {
        if (std::string problem = hiddenKey(file.get(), group.c_str()); !problem.empty()) {
            return refusal(problem);
        }
    }
    for (const std::string &group : groups) {
        const std::optional<std::string> exec = stringValue(file.get(), group.c_str(), "Exec");
        if (!exec) {
            if (group != kMainGroup)
                continue; // an action started over D-Bus
            return refusal("it has no Exec key");
        }
        ZAVResult<std::vector<std::string>> arguments = splitArguments(exec->c_str());
        if (!arguments)
            return refusal("the Exec of [" + group +
                           "] cannot be split into arguments: " + arguments.error().reason);
        entry.m_commands.push_back(Command{group, std::move(*arguments)});
    }
    entry.m_tryExec = stringValue(file.get(), kMainGroup, "TryExec");
    entry.m_name = stringValue(file.get(), kMainGroup, "Name");
    entry.m_icon = stringValue(file.get(), kMainGroup, "Icon");
    entry.m_version = stringValue(file.get(), kMainGroup, "X-Package-Version");
    return entry;
}

std::string ZAVDesktopEntry::integratedText(const std::vector<std::string> &programs,
                                            const std::optional<std::string> &tryExec,
                                            const std::optional<std::string> &icon,
                                            const std::optional<AddedAction> &added) const
{
    ZAVResult<KeyFile> loadedFile = loaded(m_text);
    if (!loadedFile)
        return std::string();
    const KeyFile file = std::move(*loadedFile);
    for (size_t i = 0; i < m_commands.size() && i < programs.size(); ++i) {
        std::string exec = quotedArgument(programs[i], true);
        const std::vector<std::string> &arguments = m_commands[i].arguments;
        for (size_t j = 1; j < arguments.size(); ++j)
            exec += ' ' + quotedArgument(arguments[j], false);
        g_key_file_set_string(file.get(), m_commands[i].group.c_str(), "Exec", exec.c_str());
    }
    if (tryExec)
        g_key_file_set_string(file.get(), kMainGroup, "TryExec", tryExec->c_str());
    if (icon)
        g_key_file_set_string(file.get(), kMainGroup, "Icon", icon->c_str());
    if (added) {
        std::string actions;
        if (gchar *value = g_key_file_get_string(file.get(), kMainGroup, "Actions", nullptr)) {
            actions = value;
            g_free(value);
        }
        if (!actions.empty() && actions.back() != ';')
            actions += ';';
        actions += added->id + ';';
        g_key_file_set_string(file.get(), kMainGroup, "Actions", actions.c_str());
        const std::string group = kActionPrefix + added->id;
        g_key_file_set_string(file.get(), group.c_str(), "Name", added->name.c_str());
        std::string exec;
        for (const std::string &argument : added->arguments) {
            if (!exec.empty())
                exec += ' ';
            exec += quotedArgument(argument, true);
        }
        g_key_file_set_string(file.get(), group.c_str(), "Exec", exec.c_str());
    }
    gsize length = 0;
    gchar *data = g_key_file_to_data(file.get(), &length, nullptr);
    std::string text(data, length);
    g_free(data);
    return text;
}

std::string ZAVDesktopEntry::quotedArgument(const std::string &argument, bool literalPercent)
{
    static const char reserved[] = " \t\n\"'\\><~|&;$*?#()`";
    std::string text;
    for (const char c : argument) {
        if (literalPercent && c == '%')
            text += '%';
        text += c;
    }
    if (!text.empty() && text.find_first_of(reserved) == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    return quoted + '"';
}

ZAVStatus ZAVDesktopEntry::launchesAsIntegrated(const std::string &path,
                                                const std::vector<std::string> &programs,
                                                const std::optional<std::string> &tryExec) const
{
    GDesktopAppInfo *info = g_desktop_app_info_new_from_filename(path.c_str());
    if (!info) {
        return refusal("the desktop launcher cannot load it");
    }
    KeyFile file(g_key_file_new());
    const bool loaded =
        g_key_file_load_from_file(file.get(), path.c_str(), G_KEY_FILE_NONE, nullptr);
    std::optional<std::string> installedTryExec;
    if (gchar *value = g_desktop_app_info_get_string(info, "TryExec")) {
        installedTryExec = value;
        g_free(value);
    }
    std::vector<std::optional<std::string>> execs;
    if (const char *line = g_app_info_get_commandline(G_APP_INFO(info)))
        execs.emplace_back(line);
    else
        execs.emplace_back();
    g_object_unref(info);
    // The launcher reads an action's Exec from the key file when the action is started.
    for (size_t i = 1; i < m_commands.size(); ++i)
        execs.push_back(loaded ? stringValue(file.get(), m_commands[i].group.c_str(), "Exec")
                               : std::nullopt);

    if (installedTryExec != tryExec) {
        return refusal(
            "the desktop launcher reads its TryExec as " +
            (installedTryExec ? "\"" + *installedTryExec + "\"" : std::string("nothing")));
    }
    for (size_t i = 0; i < m_commands.size() && i < programs.size(); ++i) {
        const std::string where = "the Exec of [" + m_commands[i].group + "]";
        // Before field codes are expanded, the program reads with each '%' doubled.
        std::vector<std::string> meant(1);
        for (const char c : programs[i])
            meant.front() += c == '%' ? std::string("%%") : std::string(1, c);
        meant.insert(meant.end(), m_commands[i].arguments.begin() + 1,
                     m_commands[i].arguments.end());
        if (!execs[i])
            return refusal("the desktop launcher cannot read " + where);
        const ZAVResult<std::vector<std::string>> read = splitArguments(execs[i]->c_str());
        if (!read)
            return refusal("the desktop launcher cannot read " + where + ": " +
                           read.error().reason);
        if (*read != meant) {
            return refusal("the desktop launcher would run " + where + " as " + *execs[i] +
                           ", not the program installed");
        }
    }
    return {};
}
