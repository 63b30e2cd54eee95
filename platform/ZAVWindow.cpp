#include "ZAVWindow.h"

#include "ZAVAccessibility.h"
#include "ZAVApplication.h"
#include "ZAVDispatch.h"
#include "ZAVDisplay.h"
#include "ZAVLog.h"
#include "ZAVTerminationCleanup.h"
#include "ZAVTranslations.h"
#include "ZAVURLSession.h"

#include <QApplication>
#include <QFile>
#include <QHash>
#include <QMetaProperty>
#include <QSocketNotifier>
#include <QUiLoader>

#include "base/ZAVEscaped.h"

#include <cstdio>

ZAVWindow::ZAVWindow(QWidget *parent) : QWidget(parent) {}

void ZAVWindow::awakeFromNib() {}

namespace {

QHash<QString, ZAVWindowFactory> &windowClasses()
{
    static QHash<QString, ZAVWindowFactory> classes;
    return classes;
}

class WindowLoader : public QUiLoader {
public:
    using QUiLoader::QUiLoader;

    QWidget *createWidget(const QString &className, QWidget *parent, const QString &name) override
    {
        const auto factory = windowClasses().constFind(className);
        if (factory == windowClasses().constEnd())
            return QUiLoader::createWidget(className, parent, name);
        ZAVWindow *window = (*factory)(parent);
        window->setObjectName(name);
        return window;
    }
};

// Outlets: every writable property of QObject-pointer type whose name is the object name of a
// control of a fitting class gets that control.
void bindOutlets(ZAVWindow *window)
{
    const QMetaObject *meta = window->metaObject();
    for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
        const QMetaProperty property = meta->property(i);
        const QMetaType type = property.metaType();
        if (!property.isWritable() || !(type.flags() & QMetaType::PointerToQObject))
            continue;
        QObject *control = window->findChild<QObject *>(QString::fromLatin1(property.name()));
        if (!control || !type.metaObject() || !control->metaObject()->inherits(type.metaObject()))
            continue;
        void *pointer = control;
        property.write(window, QVariant(type, &pointer));
    }
}

} // namespace

void ZAVRegisterWindowClass(const QString &className, ZAVWindowFactory factory)
{
    windowClasses().insert(className, std::move(factory));
}

ZAVWindow *ZAVLoadWindowDescription(const QString &path, QWidget *parent)
{
    ZAV_ASSERT_MAIN_THREAD();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return nullptr;
    WindowLoader loader;
    QWidget *top = loader.load(&file, parent);
    auto *window = qobject_cast<ZAVWindow *>(top);
    if (!window) {
        delete top;
        return nullptr;
    }
    bindOutlets(window);
    window->awakeFromNib();
    return window;
}

int ZAVApplicationMain(int argc, char **argv)
{
    // Qt aborts when no platform it is given can start: a display that cannot be opened is
    // said in one line instead, and the run fails as any other.
    const QByteArray platforms = ZAVUsableDisplayPlatforms();
    if (platforms.isEmpty()) {
        const auto shown = [](const char *name) {
            return qEnvironmentVariableIsSet(name)
                       ? '"' + ZAVEscaped(qgetenv(name).toStdString()) + '"'
                       : std::string("unset");
        };
        std::fprintf(stderr,
                     "zav-installer: no display to open the window on: no Wayland compositor or X "
                     "server answers (WAYLAND_DISPLAY %s, DISPLAY %s, QT_QPA_PLATFORM %s)\n",
                     shown("WAYLAND_DISPLAY").c_str(), shown("DISPLAY").c_str(),
                     shown("QT_QPA_PLATFORM").c_str());
        return 1;
    }
    // The choice is the installer's alone: what it starts inherits the variable as it was.
    const bool platformWasSet = qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
    const QByteArray platformWas = qgetenv("QT_QPA_PLATFORM");
    qputenv("QT_QPA_PLATFORM", platforms);
    QApplication application(argc, argv);
    ZAVInstallAccessibility(); // after Qt's own, which would otherwise come first
    if (platformWasSet)
        qputenv("QT_QPA_PLATFORM", platformWas);
    else
        qunsetenv("QT_QPA_PLATFORM");
    // Before the window is loaded: its description's texts are translated as it is made.
    ZAVInstallTranslations();
    QObject::connect(&application, &QCoreApplication::aboutToQuit, [] {
        // Closing the window mid-run: stop transfers (their partial files go with them) and let
        // background work end before the objects it uses do.
        ZAVURLSession::shutdownAll();
        ZAVDispatchWaitForBackground();
    });

    ZAVWindow *window = ZAVLoadWindowDescription(QStringLiteral(":/zav/main.ui"));
    if (!window) {
        ZAVLog(QStringLiteral("The window description could not be loaded."));
        return 1;
    }
    ZAVApplication::sharedApplication().setMainWindow(window);
    // A signal held back while the package installer runs closes the window, which waits for
    // the installer to finish; the run then ends as the signal asked.
    std::unique_ptr<QSocketNotifier> signalled;
    if (const int notifier = ZAVTerminationNotifier(); notifier >= 0)
        signalled = std::make_unique<QSocketNotifier>(notifier, QSocketNotifier::Read);
    if (QSocketNotifier *watch = signalled.get())
        QObject::connect(watch, &QSocketNotifier::activated, window, [window, watch] {
            watch->setEnabled(false);
            ZAVLogFormat(u"Signal %@ arrived while installing; finishing the installation first",
                         QString::number(ZAVPendingTermination()));
            window->close();
        });
    window->show();
    const int status = application.exec();
    ZAVLogFlush();
    return status != 0 ? status : ZAVApplication::sharedApplication().exitStatus();
}
