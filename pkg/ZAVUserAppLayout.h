#pragma once

#include <QString>

#include <optional>
#include <string>

// Where an application installed for one user lives, shared by zav-pkg (which writes these
// places) and the application control (which recognises running copies by them):
//   <home>/.local/opt/<id>/                                  the application directory
//   <home>/.local/share/applications/<id>.desktop            the integrated desktop entry
//   <home>/.local/share/icons/hicolor/<size>/apps/<id>.<ext> the icon
//   <home>/.local/share/zav/receipts/<id>.json               the receipt
// An id that is not a valid application id never becomes a path. Any thread.
class ZAVUserAppLayout {
public:
    // Reverse-DNS application id as the freedesktop specifications define it: at least two
    // elements separated by '.', each of [A-Za-z0-9_-], not starting with a digit, at most 255
    // characters in all.
    static bool isValidApplicationId(const QString &id);

    // The layout for `id` under `home` (an absolute directory), or nullopt for an invalid id
    // or a home that is not an absolute path.
    static std::optional<ZAVUserAppLayout> forApplication(const QString &id, const QString &home);

    // The current user's home: $HOME when it is an absolute path, else the password database.
    static QString currentUserHome();
    // The same, as the bytes of the environment or the password database: a home whose name
    // is not UTF-8 keeps its bytes (the QString above replaces them).
    static std::string currentUserHomePath();

    const QString &applicationId() const { return m_id; }
    const QString &home() const { return m_home; }
    QString optDirectory() const;          // <home>/.local/opt
    QString applicationDirectory() const;  // <home>/.local/opt/<id>
    QString applicationsDirectory() const; // <home>/.local/share/applications
    QString desktopEntryPath() const;      // <home>/.local/share/applications/<id>.desktop
    QString desktopEntryFileName() const;  // <id>.desktop
    QString iconsDirectory() const;        // <home>/.local/share/icons/hicolor
    // <home>/.local/share/icons/hicolor/<scalable|256x256>/apps/<id>.<svg|png>, for the
    // extension "svg" or "png" in any case (written in lower case); empty for any other.
    QString iconPath(const QString &extension) const;
    QString receiptsDirectory() const;     // <home>/.local/share/zav/receipts
    QString receiptPath() const;           // <home>/.local/share/zav/receipts/<id>.json

private:
    QString inHome(QStringView relative) const;

    ZAVUserAppLayout(QString id, QString home) : m_id(std::move(id)), m_home(std::move(home)) {}

    QString m_id;
    QString m_home;
};
