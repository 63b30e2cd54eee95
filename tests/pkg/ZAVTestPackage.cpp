#include "tests/pkg/ZAVTestPackage.h"

#include <archive.h>
#include <archive_entry.h>

#include <memory>

namespace {

struct WriterDeleter {
    void operator()(archive *a) const { archive_write_free(a); }
};
struct EntryDeleter {
    void operator()(archive_entry *e) const { archive_entry_free(e); }
};

} // namespace

ZAVTestPackage ZAVTestPackage::application(const QString &id, const QString &version)
{
    ZAVTestPackage package;
    package.file(id.toUtf8() + ".desktop", desktopEntry(version));
    package.directory("bin");
    package.file("bin/app", "#!/bin/sh\necho " + version.toUtf8() + "\n", 0755);
    package.file("icon.svg", "<svg xmlns=\"http://www.w3.org/2000/svg\"><!-- " + version.toUtf8() +
                                 " --></svg>\n");
    return package;
}

QByteArray ZAVTestPackage::desktopEntry(const QString &version, const QByteArray &exec,
                                        const QByteArray &extraLines)
{
    QByteArray text = "[Desktop Entry]\nType=Application\nName=Demo Viewer\n";
    if (!exec.isNull())
        text += "Exec=" + exec + "\n";
    text += "Icon=icon\nX-Package-Version=" + version.toUtf8() + "\n" + extraLines;
    return text;
}

ZAVTestPackage &ZAVTestPackage::file(const QByteArray &path, const QByteArray &contents, int mode)
{
    m_entries.append({path, AE_IFREG, mode, contents, {}, false});
    return *this;
}

ZAVTestPackage &ZAVTestPackage::directory(const QByteArray &path, int mode)
{
    m_entries.append({path, AE_IFDIR, mode, {}, {}, false});
    return *this;
}

ZAVTestPackage &ZAVTestPackage::symlink(const QByteArray &path, const QByteArray &target)
{
    m_entries.append({path, AE_IFLNK, 0777, {}, target, false});
    return *this;
}

ZAVTestPackage &ZAVTestPackage::hardlink(const QByteArray &path, const QByteArray &target)
{
    m_entries.append({path, AE_IFREG, 0644, {}, target, true});
    return *this;
}

ZAVTestPackage &ZAVTestPackage::special(const QByteArray &path, int type)
{
    m_entries.append({path, type, 0644, {}, {}, false});
    return *this;
}

ZAVTestPackage &ZAVTestPackage::remove(const QByteArray &path)
{
    m_entries.removeIf([&](const Entry &entry) { return entry.path == path; });
    return *this;
}

bool ZAVTestPackage::write(const QString &path, Compression compression, QString *error) const
{
    std::unique_ptr<archive, WriterDeleter> writer(archive_write_new());
    archive_write_set_format_pax_restricted(writer.get());
    switch (compression) {
    case Compression::None:
        break;
    case Compression::Gzip:
        archive_write_add_filter_gzip(writer.get());
        break;
    case Compression::Bzip2:
        archive_write_add_filter_bzip2(writer.get());
        break;
    case Compression::Xz:
        archive_write_add_filter_xz(writer.get());
        break;
    case Compression::Zstd:
        archive_write_add_filter_zstd(writer.get());
        break;
    }
    const auto failed = [&] {
        if (error)
            *error = QString::fromUtf8(archive_error_string(writer.get()));
        return false;
    };
    if (archive_write_open_filename(writer.get(), path.toLocal8Bit().constData()) != ARCHIVE_OK)
        return failed();
    for (const Entry &entry : m_entries) {
        std::unique_ptr<archive_entry, EntryDeleter> header(archive_entry_new());
        archive_entry_set_pathname(header.get(), entry.path.constData());
        archive_entry_set_filetype(header.get(), static_cast<unsigned>(entry.type));
        archive_entry_set_perm(header.get(), static_cast<mode_t>(entry.mode));
        archive_entry_set_mtime(header.get(), 1700000000, 0);
        archive_entry_set_uid(header.get(), 1000);
        archive_entry_set_gid(header.get(), 1000);
        if (entry.hard) {
            archive_entry_set_hardlink(header.get(), entry.link.constData());
            archive_entry_set_size(header.get(), 0);
        } else if (entry.type == AE_IFLNK) {
            archive_entry_set_symlink(header.get(), entry.link.constData());
        } else if (entry.type == AE_IFREG) {
            archive_entry_set_size(header.get(), entry.contents.size());
        } else if (entry.type == AE_IFCHR || entry.type == AE_IFBLK) {
            archive_entry_set_rdevmajor(header.get(), 1);
            archive_entry_set_rdevminor(header.get(), 3);
        }
        if (archive_write_header(writer.get(), header.get()) < ARCHIVE_WARN)
            return failed();
        if (entry.type == AE_IFREG && !entry.hard && !entry.contents.isEmpty() &&
            archive_write_data(writer.get(), entry.contents.constData(),
                               static_cast<size_t>(entry.contents.size())) < 0)
            return failed();
    }
    if (archive_write_close(writer.get()) != ARCHIVE_OK)
        return failed();
    return true;
}
