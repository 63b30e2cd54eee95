#include "ZAVInstallerWindow.h"

#include "appcontrol/ZAVAppUtils.h"
#include "feed/ZAVConstants.h"
#include "feed/ZAVFeedLoader.h"
#include "platform/ZAVAlert.h"
#include "platform/ZAVApplication.h"
#include "platform/ZAVAvailability.h"
#include "platform/ZAVDispatch.h"
#include "platform/ZAVFormat.h"
#include "platform/ZAVLog.h"
#include "platform/ZAVProgressIndicator.h"

static const ZAVWindowClassRegistration registration(
    "ZAVInstallerWindow", [](QWidget *parent) { return new ZAVInstallerWindow(parent); });

ZAVInstallerWindow::ZAVInstallerWindow(QWidget *parent) : ZAVWindow(parent) {}

ZAVInstallerWindow::~ZAVInstallerWindow() = default;

void ZAVInstallerWindow::awakeFromNib()
{
    ZAV_ASSERT_MAIN_THREAD();
    ZAVWindow::awakeFromNib();
    doCompatabilityCheck();
    setStatus(QStringLiteral("Loading..."));
    const QUrl feedURL = ZAVConstants::getFeedURL();
    ZAVFeedLoader::loadFeedFromURL(feedURL, ZAVConstants::getFeedTrust(), feedCompletionHandler());
}

ZAVFeedCompletion ZAVInstallerWindow::feedCompletionHandler()
{
    // The window lives for the whole run; the guard only matters to tests that drop it.
    QPointer<ZAVInstallerWindow> window(this);
    return [window](std::shared_ptr<const ZAVFeedData> data, const ZAVOptionalError &error) {
        if (!window)
            return;
        if (data) {
            window->feedLoadedWithData(data);
        } else {
            ZAVLogFormat(u"Error was %@", error);
            window->showError(error);
        }
    };
}

void ZAVInstallerWindow::doCompatabilityCheck()
{
    if (ZAVClassFromString(QStringLiteral("ZAVURLSession")))
        return;
    auto alert = ZAVAlert::alertWithMessageText(
        QStringLiteral("Unsupported OS version"), QStringLiteral("Ok"), QString(), QString(),
        QStringLiteral("Sorry but your version of OSX is not supported, please upgrade to a newer "
                       "version."));
    alert->runModal();
    ZAVAppUtils::quitApp();
}

void ZAVInstallerWindow::feedLoadedWithData(const std::shared_ptr<const ZAVFeedData> &data)
{
    ZAV_ASSERT_MAIN_THREAD();
    ZAVLogFormat(u"product: %@", productNameFromData(*data));
    setStatus(ZAVStringWithFormat(u"Downloading %@", productNameFromData(*data)));
    ZAVApplication::sharedApplication().activateIgnoringOtherApps(true);
    setInstallManager(ZAVInstallationManager::initWithFeedData(data));
    installManager()->startDownloadWithCompletion(downloadCompletionHandler(data),
                                                  progressHandler());
}

ZAVProgressBlock ZAVInstallerWindow::progressHandler()
{
    QPointer<ZAVInstallerWindow> window(this);
    return [window](double percent) {
        ZAVLogFormat(u"Progress is %.2f", percent);
        if (!window)
            return;
        // The value goes to the bar as received; the bar shows what fits its range.
        ZAVProgressSetDoubleValue(window->progressView(), percent);
        if (QProgressBar *bar = window->progressView())
            bar->update();
    };
}

ZAVDownloadCompletion
ZAVInstallerWindow::downloadCompletionHandler(std::shared_ptr<const ZAVFeedData> data)
{
    QPointer<ZAVInstallerWindow> window(this);
    return [window, data](const std::optional<QString> &, const ZAVOptionalError &error) {
        ZAVLog(QStringLiteral("Downlaoded"));
        if (!window)
            return;
        if (error) {
            window->showError(error);
            return;
        }
        window->animateProgress(1);
        window->setStatus(ZAVStringWithFormat(u"Installing %@", data->product()));
        window->installManager()->startInstallWithCompletion(
            window->installCompletionHandler(data));
    };
}

ZAVInstallCompletion
ZAVInstallerWindow::installCompletionHandler(std::shared_ptr<const ZAVFeedData> data)
{
    QPointer<ZAVInstallerWindow> window(this);
    return [window, data](const ZAVOptionalError &error) {
        ZAVApplication::sharedApplication().requestUserAttention(0);
        if (!window)
            return;
        if (error) {
            window->showError(error);
            return;
        }
        if (data->autoLaunch()) {
            window->setStatus(ZAVStringWithFormat(u"Launching %@", data->product()));
            ZAVAppUtils::startAppWithBundleID(data->bundleId());
        } else {
            window->setStatus(ZAVStringWithFormat(u"Successfully installed %@", data->product()));
            if (QProgressBar *bar = window->progressView())
                bar->setHidden(true);
            if (QPushButton *button = window->quitButton()) {
                button->setHidden(false);
                button->setFocus(); // Return or space quits, too
            }
        }
        ZAVLog(QStringLiteral("Install complete"));
    };
}

QString ZAVInstallerWindow::productNameFromData(const ZAVFeedData &data) const
{
    if (data.displayVersion())
        return ZAVStringWithFormat(u"%@ - %@", data.product(), data.version());
    return ZAVStringWithFormat(u"%@", data.product());
}

void ZAVInstallerWindow::showError(const ZAVOptionalError &error)
{
    ZAV_ASSERT_MAIN_THREAD();
    ZAVAlert alert;
    alert.setMessageText(QStringLiteral("Could not complete installation"));
    alert.setInformativeText(ZAVStringWithFormat(
        u"%@ Please try again later.",
        error ? std::optional<QString>(error->localizedDescription) : std::nullopt));
    alert.addButtonWithTitle(QStringLiteral("Quit Installation"));
    alert.setAlertStyle(ZAVWarningAlertStyle);
    if (alert.runModal() == ZAVAlertFirstButtonReturn)
        ZAVAppUtils::quitApp();
}

void ZAVInstallerWindow::quitAction(QObject *)
{
    ZAVAppUtils::quitApp();
}

void ZAVInstallerWindow::animateProgress(qint8 flag)
{
    ZAV_ASSERT_MAIN_THREAD();
    // An empty range is Qt's indeterminate bar, animated by the style on the main thread's
    // event loop, which never blocks while the bar shows (alerts run a nested loop). A busy bar
    // cannot be paused in Qt: a cleared flag leaves it indeterminate.
    if (QProgressBar *bar = progressView())
        bar->setRange(0, 0);
    if (QProgressBar *bar = progressView(); bar && flag)
        bar->update();
}

void ZAVInstallerWindow::setStatus(const QString &text)
{
    if (QLabel *label = statusText())
        label->setText(text);
}
