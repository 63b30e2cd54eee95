#include "ZAVAppUtils.h"

#include "platform/ZAVAlert.h"
#include "platform/ZAVApplication.h"
#include "platform/ZAVDispatch.h"
#include "platform/ZAVFormat.h"
#include "platform/ZAVRunningApplication.h"
#include "platform/ZAVWorkspace.h"

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

namespace {

// Where the kernel has no pidfds, how often a copy that was asked to quit is looked at.
constexpr int kQuitPollMs = 50;

// One wait for a copy to quit: lives on the main thread's event loop until it has called its
// handler, then deletes itself.
class QuitWatch : public QObject {
public:
    QuitWatch(const ZAVRunningApplication &application, std::chrono::milliseconds limit,
              std::function<void(bool)> done)
        : m_application(application), m_done(std::move(done))
    {
        if (const int fd = m_application.processDescriptor(); fd >= 0) {
            m_notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
            connect(m_notifier, &QSocketNotifier::activated, this, [this] { check(); });
        } else {
            connect(&m_poll, &QTimer::timeout, this, [this] { check(); });
            m_poll.start(kQuitPollMs);
        }
        m_deadline.setSingleShot(true);
        connect(&m_deadline, &QTimer::timeout, this,
                [this] { finish(m_application.isTerminated()); });
        m_deadline.start(limit);
        // A copy gone already is told on the next turn of the loop, never on the caller's stack.
        QTimer::singleShot(0, this, [this] { check(); });
    }

private:
    void check()
    {
        if (m_application.isTerminated())
            finish(true);
    }
    void finish(bool quit)
    {
        if (!m_done)
            return;
        std::function<void(bool)> done = std::move(m_done);
        m_done = nullptr;
        // Nothing of this wait fires again; the object goes once the loop is back.
        if (m_notifier)
            m_notifier->setEnabled(false);
        m_poll.stop();
        m_deadline.stop();
        deleteLater();
        done(quit);
    }

    const ZAVRunningApplication m_application;
    std::function<void(bool)> m_done;
    QSocketNotifier *m_notifier = nullptr; // a child; only where the kernel has pidfds
    QTimer m_poll;                         // only where it has none
    QTimer m_deadline;
};

} // namespace
#include <QCoreApplication>

void ZAVAppUtils::quitApp()
{
    ZAVApplication::sharedApplication().terminate("ZAVAppUtils");
}

void ZAVAppUtils::startAppWithBundleID(const std::optional<QString> &bundleID)
{
    ZAV_ASSERT_MAIN_THREAD();
    // Whether anything was started makes no difference: the installer's work is done.
    ZAVWorkspace::sharedWorkspace().launchAppWithBundleIdentifier(bundleID);
    quitApp();
}

std::optional<ZAVRunningApplication>
ZAVAppUtils::checkandCloseApplicationWithBundleID(const std::optional<QString> &bundleID,
                                                  const std::optional<QString> &appName)
{
    ZAV_ASSERT_MAIN_THREAD();
    const std::vector<ZAVRunningApplication> running =
        ZAVRunningApplication::runningApplicationsWithBundleIdentifier(bundleID);
    if (!running.empty() && closeRunningApplication(running.front(), appName))
        return running.front();
    return std::nullopt;
}

bool ZAVAppUtils::closeRunningApplication(const ZAVRunningApplication &runningApplication,
                                          const std::optional<QString> &productName)
{
    ZAV_ASSERT_MAIN_THREAD();
    ZAVAlert alert;
    alert.setMessageText(
        QCoreApplication::translate("ZAVAppUtils", "Quit and continue installation"));
    alert.setInformativeText(
        ZAVTranslate(
            "ZAVAppUtils",
            "%@ is currently running. Please close the application to continue installation.")
            .format({productName})
            .translated());
    alert.addButtonWithTitle(QCoreApplication::translate("ZAVAppUtils", "Quit & Install"));
    alert.setAlertStyle(ZAVInformationalAlertStyle);
    return alert.runModal() == ZAVAlertFirstButtonReturn && runningApplication.terminate();
}

void ZAVAppUtils::waitForApplicationToQuit(const ZAVRunningApplication &runningApplication,
                                           std::chrono::milliseconds limit,
                                           std::function<void(bool quit)> done)
{
    ZAV_ASSERT_MAIN_THREAD();
    new QuitWatch(runningApplication, limit, std::move(done));
}
