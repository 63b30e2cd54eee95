#include "ZAVDisplay.h"

#include <QList>

#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

namespace {

bool waylandAnswers()
{
    if (!qEnvironmentVariableIsEmpty("WAYLAND_SOCKET"))
        return true; // a connection handed over by the compositor that started us
    QByteArray path = qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
                          ? QByteArrayLiteral("wayland-0")
                          : qgetenv("WAYLAND_DISPLAY");
    if (!path.startsWith('/')) {
        const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
        if (runtime.isEmpty())
            return false;
        path = runtime + '/' + path;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (size_t(path.size()) >= sizeof(address.sun_path))
        return false;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool answered =
        connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof(address)) == 0;
    close(fd);
    return answered;
}

bool xAnswers()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        return false;
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    const bool answered = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    return answered;
}

} // namespace

QByteArray ZAVUsableDisplayPlatforms()
{
    const QByteArray named = qgetenv("QT_QPA_PLATFORM");
    // Each display is asked once, however often the list names it.
    int wayland = -1;
    int x = -1;
    QList<QByteArray> kept;
    for (const QByteArray &entry :
         (named.isEmpty() ? QByteArrayLiteral("wayland;xcb") : named).split(';')) {
        const QByteArray name = entry.split(':').constFirst().trimmed();
        if (name.startsWith("wayland")) {
            if (wayland < 0)
                wayland = waylandAnswers();
            if (!wayland)
                continue;
        } else if (name == "xcb") {
            if (x < 0)
                x = xAnswers();
            if (!x)
                continue;
        } else if (name.isEmpty()) {
            continue;
        }
        kept.append(entry);
    }
    return kept.join(';');
}
