#pragma once

#include <optional>
#include <string>
#include <string_view>

// Where an application installed for one user lives, shared by zav-pkg (which writes these
// places), the vendor's tool (which checks packages against them) and the application control
// (which recognises running copies by them):
//   <home>/.local/opt/<id>/                                  the application directory
//   <home>/.local/share/applications/<id>.desktop            the integrated desktop entry
//   <home>/.local/share/icons/hicolor/<size>/apps/<id>.<ext> the icon
//   <home>/.local/share/zav/receipts/<id>.json               the receipt
// The data folders are the per-user data home the desktops read (<home>/.local/share, the
// default of $XDG_DATA_HOME); launchers look for <id>.desktop in its "applications" folder
// and for icons in its hicolor theme, by the id the entry's file is named after. Paths are
// bytes: a home whose name is not UTF-8 keeps them. An id that is not a valid application id
// never becomes a path. Any thread.
class ZAVUserAppLayout {
public:
    // An application id in reverse-DNS form: at least two elements separated by '.', each a
    // non-empty run of ASCII letters, digits, '_' and '-' that does not start with a digit,
    // at most 255 bytes in all (so "org.example.App", not "org.1x", ".org.x" or "org").
    static bool isValidApplicationId(std::string_view id);

    // The layout for `id` under `home` (an absolute path, cleaned of ".", ".." and repeated
    // or trailing '/'), or nullopt for an invalid id or a home that is not absolute.
    static std::optional<ZAVUserAppLayout> forApplication(const std::string &id,
                                                          const std::string &home);

    // The current user's home as bytes, unchanged: $HOME when it is an absolute path, else the
    // home the password database gives; empty when neither has one.
    static std::string currentUserHome();

    const std::string &applicationId() const { return m_id; }
    const std::string &home() const { return m_home; }
    std::string optDirectory() const;          // <home>/.local/opt
    std::string applicationDirectory() const;  // <home>/.local/opt/<id>
    std::string applicationsDirectory() const; // <home>/.local/share/applications
    std::string desktopEntryPath() const;      // <home>/.local/share/applications/<id>.desktop
    std::string desktopEntryFileName() const;  // <id>.desktop
    std::string iconsDirectory() const;        // <home>/.local/share/icons/hicolor
    // <home>/.local/share/icons/hicolor/<scalable|256x256>/apps/<id>.<svg|png>, for the
    // extension "svg" or "png" in any case (written in lower case); empty for any other.
    std::string iconPath(std::string_view extension) const;
    std::string receiptsDirectory() const; // <home>/.local/share/zav/receipts
    std::string receiptPath() const;       // <home>/.local/share/zav/receipts/<id>.json

private:
    ZAVUserAppLayout(std::string id, std::string home)
        : m_id(std::move(id)), m_home(std::move(home))
    {
    }
    std::string inHome(std::string_view relative) const;

    std::string m_id;
    std::string m_home;
};
