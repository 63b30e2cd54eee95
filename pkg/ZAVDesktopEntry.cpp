// GLib only: its headers use names that Qt defines as macros.
#include "ZAVDesktopEntry.h"

#include <glib.h>

#include <cstring>
#include <memory>

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

std::unique_ptr<GKeyFile, KeyFileDeleter> loaded(const std::string &text, std::string *error)
{
    KeyFile file(g_key_file_new());
    GError *raw = nullptr;
    if (!g_key_file_load_from_data(file.get(), text.data(), text.size(),
                                   static_cast<GKeyFileFlags>(G_KEY_FILE_KEEP_COMMENTS |
                                                              G_KEY_FILE_KEEP_TRANSLATIONS),
                                   &raw)) {
        std::unique_ptr<GError, ErrorDeleter> failure(raw);
        if (error)
            *error = std::string("it is not a valid desktop entry: ") + failure->message;
        return nullptr;
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

} // namespace

std::optional<ZAVDesktopEntry> ZAVDesktopEntry::fromText(const std::string &text,
                                                         std::string *error)
{
    KeyFile file = loaded(text, error);
    if (!file)
        return std::nullopt;
    if (!g_key_file_has_group(file.get(), kMainGroup)) {
        *error = "it has no [Desktop Entry] group";
        return std::nullopt;
    }
    const std::optional<std::string> type = stringValue(file.get(), kMainGroup, "Type");
    if (type != "Application") {
        *error = "its Type is " + (type ? "\"" + *type + "\"" : std::string("missing")) +
                 ", not Application";
        return std::nullopt;
    }

    ZAVDesktopEntry entry;
    entry.m_text = text;
    std::vector<std::string> groups{kMainGroup};
    gchar **names = g_key_file_get_groups(file.get(), nullptr);
    for (gchar **name = names; name && *name; ++name) {
        if (std::strncmp(*name, kActionPrefix, std::strlen(kActionPrefix)) == 0)
            groups.emplace_back(*name);
    }
    g_strfreev(names);
    for (const std::string &group : groups) {
        const std::optional<std::string> exec = stringValue(file.get(), group.c_str(), "Exec");
        if (!exec) {
            if (group != kMainGroup)
                continue; // an action started over D-Bus
            *error = "it has no Exec key";
            return std::nullopt;
        }
        gint argc = 0;
        gchar **argv = nullptr;
        GError *raw = nullptr;
        if (!g_shell_parse_argv(exec->c_str(), &argc, &argv, &raw)) {
            std::unique_ptr<GError, ErrorDeleter> failure(raw);
            *error = "the Exec of [" + group + "] cannot be split into arguments: " +
                     failure->message;
            return std::nullopt;
        }
        Command command{group, {}};
        for (gint i = 0; i < argc; ++i)
            command.arguments.emplace_back(argv[i]);
        g_strfreev(argv);
        entry.m_commands.push_back(std::move(command));
    }
    entry.m_tryExec = stringValue(file.get(), kMainGroup, "TryExec");
    entry.m_icon = stringValue(file.get(), kMainGroup, "Icon");
    entry.m_version = stringValue(file.get(), kMainGroup, "X-Package-Version");
    return entry;
}

std::string ZAVDesktopEntry::integratedText(const std::vector<std::string> &programs,
                                            const std::optional<std::string> &tryExec,
                                            const std::optional<std::string> &icon) const
{
    KeyFile file = loaded(m_text, nullptr);
    if (!file)
        return std::string();
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
