#include "ZAVInstallerWindow.h"

#include "appcontrol/ZAVAppUtils.h"
#include "feed/ZAVConstants.h"
#include "feed/ZAVFeedLoader.h"
#include "platform/ZAVAccessibility.h"
#include "platform/ZAVAlert.h"
#include "platform/ZAVApplication.h"
#include "platform/ZAVAvailability.h"
#include "platform/ZAVDispatch.h"
#include "platform/ZAVFormat.h"
#include "platform/ZAVLog.h"
#include "platform/ZAVProgressIndicator.h"
#include "platform/ZAVTerminationCleanup.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QKeyEvent>

namespace {

// The detail line changes at most this often; the rate's moving average takes a sample as
// often.
constexpr qint64 kDetailIntervalMs = 250;
// The time left is shown once the transfer has run this long.
constexpr qint64 kTimeLeftAfterMs = 2000;
// Weight of the newest sample in the rate's moving average.
constexpr double kRateWeight = 0.3;

} // namespace

static const ZAVWindowClassRegistration registration("ZAVInstallerWindow", [](QWidget *parent) {
    return new ZAVInstallerWindow(parent);
});

ZAVInstallerWindow::ZAVInstallerWindow(QWidget *parent, ZAVInstallerOptions options)
    : ZAVWindow(parent), m_options(std::move(options))
{
}

void ZAVInstallerWindow::registerWindowClass(const ZAVInstallerOptions &options)
{
    ZAV_ASSERT_MAIN_THREAD();
    ZAVRegisterWindowClass(QStringLiteral("ZAVInstallerWindow"), [options](QWidget *parent) {
        return new ZAVInstallerWindow(parent, options);
    });
}

ZAVInstallerWindow::~ZAVInstallerWindow() = default;

void ZAVInstallerWindow::awakeFromNib()
{
    ZAV_ASSERT_MAIN_THREAD();
    ZAVWindow::awakeFromNib();
    doCompatabilityCheck();
    setStatus(QCoreApplication::translate("ZAVInstallerWindow", "Loading..."));
    const QUrl feedURL = ZAVConstants::getFeedURL();
    ZAVFeedLoader::loadFeedFromURL(feedURL, ZAVConstants::getFeedTrust(), feedCompletionHandler(),
                                   m_options.feed);
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
        QCoreApplication::translate("ZAVInstallerWindow", "Unsupported OS version"),
        QCoreApplication::translate("ZAVInstallerWindow", "Ok"), QString(), QString(),
        QCoreApplication::translate("ZAVInstallerWindow",
                                    "Sorry but your version of Linux is not supported, please "
                                    "upgrade to a newer version."));
    ZAVApplication::sharedApplication().setExitStatus(1); // nothing can be installed
    alert->runModal();
    ZAVAppUtils::quitApp();
}

void ZAVInstallerWindow::feedLoadedWithData(const std::shared_ptr<const ZAVFeedData> &data)
{
    ZAV_ASSERT_MAIN_THREAD();
    ZAVLogFormat(u"product: %@", productNameFromData(*data));
    // The window is named after what it installs (and so is the frame a screen reader finds).
    if (const std::optional<QString> &product = data->product(); product && !product->isEmpty())
        setWindowTitle(tr("%1 Installer").arg(*product));
    m_downloadingStatus = ZAVTranslate("ZAVInstallerWindow", "Downloading %@")
                              .format({displayedProductName(*data)})
                              .translated();
    setStatus(m_downloadingStatus);
    m_stage = Stage::Downloading;
    ZAVApplication::sharedApplication().activateIgnoringOtherApps(true);
    setInstallManager(ZAVInstallationManager::initWithFeedData(data, m_options.installation));
    QPointer<ZAVInstallerWindow> window(this);
    installManager()->setWaitingBlock([window](bool waiting) {
        if (window)
            window->setStatus(
                waiting ? QCoreApplication::translate(
                              "ZAVInstallerWindow", "Waiting for another installation to finish...")
                        : window->m_downloadingStatus);
    });
    installManager()->setTransferBlock(transferHandler());
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
        window->m_stage = Stage::Installing;
        window->setDetail(QString());
        window->animateProgress(1);
        const QString installing = ZAVTranslate("ZAVInstallerWindow", "Installing %@")
                                       .format({data->product()})
                                       .translated();
        window->setStatus(installing);
        // While a copy that was asked to quit is saving, the line says so; the bar goes on.
        window->installManager()->setQuitWaitingBlock([window, data, installing](bool waiting) {
            if (!window || window->m_closeRequested)
                return;
            window->setStatus(waiting
                                  ? ZAVTranslate("ZAVInstallerWindow", "Waiting for %@ to quit...")
                                        .format({data->product()})
                                        .translated()
                                  : installing);
        });
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
        window->m_stage = Stage::Done;
        if (window->m_closeRequested || ZAVPendingTermination()) {
            // The user closed the window (or a signal asked the run to end) while the package
            // installer ran: its result is the run's, with nothing more to show or start.
            ZAVLog(error ? QStringLiteral("Install failed; closing as asked")
                         : QStringLiteral("Install complete; closing as asked"));
            if (error)
                ZAVApplication::sharedApplication().setExitStatus(1);
            ZAVApplication::sharedApplication().terminate("ZAVInstallerWindow");
            return;
        }
        if (error) {
            window->showError(error);
            return;
        }
        if (data->autoLaunch()) {
            window->setStatus(ZAVTranslate("ZAVInstallerWindow", "Launching %@")
                                  .format({data->product()})
                                  .translated());
            ZAVAppUtils::startAppWithBundleID(data->bundleId());
        } else {
            window->setStatus(ZAVTranslate("ZAVInstallerWindow", "Successfully installed %@")
                                  .format({data->product()})
                                  .translated());
            announce(window->statusText(), QAccessible::Alert);
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

QString ZAVInstallerWindow::displayedProductName(const ZAVFeedData &data) const
{
    if (data.displayVersion())
        return ZAVTranslate("ZAVInstallerWindow", "%@ - %@")
            .format({data.product(), data.version()})
            .translated();
    return productNameFromData(data);
}

void ZAVInstallerWindow::showError(const ZAVOptionalError &error)
{
    ZAV_ASSERT_MAIN_THREAD();
    m_stage = Stage::Done;
    // However the run ends from here (the alert's button, closing the window), it has failed.
    ZAVApplication::sharedApplication().setExitStatus(1);
    ZAVAlert alert;
    alert.setMessageText(
        QCoreApplication::translate("ZAVInstallerWindow", "Could not complete installation"));
    // A product that cannot run on this computer will not run later either: zav-pkg's sentence
    // says what is missing, and that is all the alert says.
    const bool cannotRunHere = error && error->domain == u"zav-pkg" && error->code == 6;
    alert.setInformativeText(
        cannotRunHere
            ? error->userDescription()
            : ZAVTranslate("ZAVInstallerWindow", "%@ Please try again later.")
                  .format({error ? std::optional<QString>(error->userDescription()) : std::nullopt})
                  .translated());
    alert.addButtonWithTitle(
        QCoreApplication::translate("ZAVInstallerWindow", "Quit Installation"));
    alert.setAlertStyle(ZAVWarningAlertStyle);
    setAccessibleDescription(alert.informativeText());
    announce(this, QAccessible::Alert);
    // Closing the alert through the window manager leaves nothing to do but quit, too.
    const long answer = alert.runModal();
    if (answer == ZAVAlertFirstButtonReturn || answer == ZAVAlertClosedReturn)
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

ZAVTransferBlock ZAVInstallerWindow::transferHandler()
{
    QPointer<ZAVInstallerWindow> window(this);
    return [window](const ZAVTransferState &state) {
        if (window && window->m_stage == Stage::Downloading)
            window->showTransfer(state);
    };
}

void ZAVInstallerWindow::showTransfer(const ZAVTransferState &state)
{
    if (state.retryAttempt > 0) {
        m_retrying = true;
        setStatus(ZAVTranslate("ZAVInstallerWindow",
                               "Connection lost. Retrying in %1 s (attempt %2 of %3)...")
                      .arg(ZAVUserText::number(state.retryDelaySeconds),
                           ZAVUserText::number(state.retryAttempt),
                           ZAVUserText::number(state.retryAttempts))
                      .translated());
        return;
    }
    if (m_retrying) {
        m_retrying = false;
        setStatus(m_downloadingStatus);
    }

    if (!m_transferClock.isValid()) {
        m_transferClock.start();
        m_sampleBytes = state.bytesWritten;
        m_sampleMs = 0;
    }
    const qint64 now = m_transferClock.elapsed();
    if (now - m_sampleMs >= kDetailIntervalMs) {
        // A restart from the first byte counts as no progress, not as a negative rate.
        const double sample = double(std::max<qint64>(state.bytesWritten - m_sampleBytes, 0)) *
                              1000.0 / double(now - m_sampleMs);
        m_rate = m_rate > 0 ? (1 - kRateWeight) * m_rate + kRateWeight * sample : sample;
        m_sampleBytes = state.bytesWritten;
        m_sampleMs = now;
    }

    const bool last = state.totalBytes >= 0 && state.bytesWritten >= state.totalBytes;
    if (m_detailClock.isValid() && m_detailClock.elapsed() < kDetailIntervalMs && !last)
        return;
    m_detailClock.start();
    QString text = ZAVByteCountText(state.bytesWritten).translated();
    if (state.totalBytes >= 0) {
        text = ZAVTranslate("ZAVInstallerWindow", "%1 of %2")
                   .arg(ZAVByteCountText(state.bytesWritten), ZAVByteCountText(state.totalBytes))
                   .translated();
        if (now >= kTimeLeftAfterMs && m_rate > 0 && !last)
            text +=
                ZAVTranslate("ZAVInstallerWindow", ", about %1 left")
                    .arg(ZAVTimeLeftText(double(state.totalBytes - state.bytesWritten) / m_rate))
                    .translated();
    }
    setDetail(text);
}

void ZAVInstallerWindow::closeEvent(QCloseEvent *event)
{
    ZAV_ASSERT_MAIN_THREAD();
    // The window goes when the run ends, never on its own.
    event->ignore();
    switch (m_stage) {
    case Stage::Loading:
    case Stage::Downloading:
        ZAVLog(QStringLiteral("Closed before the download ended; nothing was installed"));
        if (m_installManager)
            m_installManager->cancelDownload();
        ZAVApplication::sharedApplication().setExitStatus(1);
        ZAVApplication::sharedApplication().terminate("ZAVInstallerWindow");
        return;
    case Stage::Installing:
        if (!m_closeRequested) {
            m_closeRequested = true;
            setStatus(
                QCoreApplication::translate("ZAVInstallerWindow", "Finishing the installation..."));
        }
        return;
    case Stage::Done:
        ZAVAppUtils::quitApp();
        return;
    }
}

void ZAVInstallerWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    ZAVWindow::keyPressEvent(event);
}

void ZAVInstallerWindow::setStatus(const QString &text)
{
    QLabel *label = statusText();
    if (!label)
        return;
    ZAVSetLineText(label, text);
    // What the line says is its description too, whose change is announced.
    label->setAccessibleDescription(text);
}

void ZAVInstallerWindow::setDetail(const QString &text)
{
    ZAVSetLineText(detailText(), text);
}

void ZAVInstallerWindow::announce(QObject *control, QAccessible::Event kind)
{
    if (!control)
        return;
    QAccessibleEvent event(control, kind);
    QAccessible::updateAccessibility(&event);
}
