#include "ZAVAccessibility.h"

#include "ZAVApplication.h"
#include "ZAVWindow.h"

#include <QAccessibleApplication>
#include <QAccessibleWidget>
#include <QApplication>
#include <QLabel>
#include <QProgressBar>

namespace {

// The name a line's description gave it, kept on the line once its text names it.
constexpr char kLineName[] = "zavLineName";

class Application : public QAccessibleApplication {
public:
    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Description)
            return {};
        if (kind != QAccessible::Name)
            return QAccessibleApplication::text(kind);
        const QWidget *window = ZAVApplication::sharedApplication().mainWindow();
        return window && !window->windowTitle().isEmpty() ? window->windowTitle()
                                                          : QAccessibleApplication::text(kind);
    }
};

class Frame : public QAccessibleWidget {
public:
    explicit Frame(QWidget *window) : QAccessibleWidget(window, QAccessible::Window) {}
};

class ProgressBar : public QAccessibleWidget {
public:
    explicit ProgressBar(QProgressBar *bar) : QAccessibleWidget(bar, QAccessible::ProgressBar) {}

    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Description && widget()->accessibleDescription().isEmpty())
            return static_cast<const QProgressBar *>(widget())->text(); // "45%", none when busy
        return QAccessibleWidget::text(kind);
    }
    QStringList actionNames() const override { return {}; }
};

QAccessibleInterface *accessibleInterface(const QString &, QObject *object)
{
    if (object == qApp)
        return new Application;
    if (auto *window = qobject_cast<ZAVWindow *>(object); window && window->isWindow())
        return new Frame(window);
    if (auto *bar = qobject_cast<QProgressBar *>(object))
        return new ProgressBar(bar);
    return nullptr;
}

} // namespace

void ZAVInstallAccessibility()
{
    QAccessible::installFactory(accessibleInterface);
}

void ZAVSetLineText(QLabel *line, const QString &text)
{
    if (!line)
        return;
    line->setText(text);
    if (!line->property(kLineName).isValid())
        line->setProperty(kLineName, line->accessibleName());
    // Qt announces the new name (a name change) to whoever listens.
    line->setAccessibleName(text.isEmpty() ? line->property(kLineName).toString() : text);
}
