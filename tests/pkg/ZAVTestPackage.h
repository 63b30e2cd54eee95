#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Writes packages for the zav-pkg tests with libarchive's writer: good ones, and hostile ones
// that no well-behaved tar would produce (names with "..", absolute names, links leaving the
// directory, device files). Entries are written in the order they were added. Any thread.
class ZAVTestPackage {
public:
    enum class Compression { None, Gzip, Bzip2, Xz, Zstd };

    // A well-formed application: <id>.desktop (Exec=bin/app, Icon=icon, the version in
    // X-Package-Version), bin/app (a shell script, mode 0755) and icon.svg.
    static ZAVTestPackage application(const QString &id, const QString &version);
    static QByteArray desktopEntry(const QString &version, const QByteArray &exec = "bin/app",
                                   const QByteArray &extraLines = QByteArray());

    ZAVTestPackage &file(const QByteArray &path, const QByteArray &contents, int mode = 0644);
    ZAVTestPackage &directory(const QByteArray &path, int mode = 0755);
    ZAVTestPackage &symlink(const QByteArray &path, const QByteArray &target);
    ZAVTestPackage &hardlink(const QByteArray &path, const QByteArray &target);
    // A character device, block device or FIFO: type is AE_IFCHR, AE_IFBLK or AE_IFIFO.
    ZAVTestPackage &special(const QByteArray &path, int type);
    // Drops every entry named `path`.
    ZAVTestPackage &remove(const QByteArray &path);

    // Writes the archive to `path`; false (and *error) when libarchive refuses.
    bool write(const QString &path, Compression compression = Compression::Gzip,
               QString *error = nullptr) const;

private:
    struct Entry {
        QByteArray path;
        int type = 0;
        int mode = 0;
        QByteArray contents;
        QByteArray link;
        bool hard = false;
    };
    QList<Entry> m_entries;
};
