#pragma once

#include <QWidget>

#include <functional>

// Base of a window that a window description (a Qt Designer .ui file) makes. The loader
// creates it by class name, sets its outlets (each writable QObject-pointer property whose
// name is the object name of a control in the description), applies the description's
// signal/slot connections, and then calls awakeFromNib once.
class ZAVWindow : public QWidget {
    Q_OBJECT
public:
    explicit ZAVWindow(QWidget *parent = nullptr);

    // Called once, on the main thread, when the window has been loaded and bound.
    virtual void awakeFromNib();
};

using ZAVWindowFactory = std::function<ZAVWindow *(QWidget *parent)>;

// Makes the class named `className` known to the loader. Done once per window class by a
// static ZAVWindowClassRegistration in its .cpp.
void ZAVRegisterWindowClass(const QString &className, ZAVWindowFactory factory);

struct ZAVWindowClassRegistration {
    ZAVWindowClassRegistration(const char *className, ZAVWindowFactory factory)
    {
        ZAVRegisterWindowClass(QString::fromLatin1(className), std::move(factory));
    }
};

// Loads the window description at `path` (a file or a ":/" resource), binds its outlets and
// connections and calls awakeFromNib. nullptr when it cannot be read or its top-level widget
// is not a registered ZAVWindow class. Main thread.
ZAVWindow *ZAVLoadWindowDescription(const QString &path, QWidget *parent = nullptr);

// The application's main routine: makes the application, loads the main window description
// (":/zav/main.ui"), shows the window and runs the event loop. Returns the loop's exit code.
int ZAVApplicationMain(int argc, char **argv);
