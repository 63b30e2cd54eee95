#pragma once

#include "feed/ZAVFeedData.h"
#include "feed/ZAVFeedLoader.h"
#include "platform/ZAVError.h"
#include "platform/ZAVWindow.h"

#include <QAccessible>
#include <QElapsedTimer>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>

#include <memory>

#include "install/ZAVInstallationManager.h"

// What a window hands to the services it starts: the feed loader's options and the
// installation manager's. The defaults are the product's.
struct ZAVInstallerOptions {
    ZAVFeedLoaderOptions feed;
    ZAVInstallationOptions installation;
};

// The installer's one window. Made by the window description loader, never by other code;
// awakeFromNib starts the run, and every later stage is started by a completion handler that a
// service delivers on the main thread. Main thread only.
//
// The window holds its installation manager strongly and its four controls weakly: a control
// that is gone reads as nullptr, and every request to it is skipped.
//
// Closing the window (its close button, or Escape) while the feed loads or the package
// downloads stops the transfer, removes what it wrote and quits with status 1. While the
// package installer runs, the close waits for it ("Finishing the installation...") and then
// quits with status 0 on success, 1 on failure; the package installer is never stopped
// half-way. Once the run has a result, closing quits with status 0.
//
// Accessibility: every control has an accessible name (from the window description); the
// status line and the detail line are named by what they say while they say something, so each
// change is announced as a change of name (and the status line's as one of its description
// too), and the success and the error as alerts. Once the feed is in, the window is titled
// "<product> Installer".
class ZAVInstallerWindow : public ZAVWindow {
    Q_OBJECT
    Q_PROPERTY(QProgressBar *progressView READ progressView WRITE setProgressView)
    Q_PROPERTY(QLabel *statusText READ statusText WRITE setStatusText)
    Q_PROPERTY(QPushButton *quitButton READ quitButton WRITE setQuitButton)
    Q_PROPERTY(QLabel *detailText READ detailText WRITE setDetailText)

public:
    explicit ZAVInstallerWindow(QWidget *parent = nullptr, ZAVInstallerOptions options = {});
    ~ZAVInstallerWindow() override;

    // Main thread. Makes the window description loader build windows of this class with
    // `options` from now on (the product's defaults when none are given). Tests call it in
    // their init and cleanup, so that one test's options never reach the next one's window.
    static void registerWindowClass(const ZAVInstallerOptions &options = {});
    // What this window hands to the feed loader (at awakeFromNib) and the installation manager
    // (at feedLoadedWithData). Main thread.
    const ZAVInstallerOptions &options() const { return m_options; }
    void setOptions(const ZAVInstallerOptions &options) { m_options = options; }

    // Checks the platform, shows "Loading..." and asks for the feed.
    void awakeFromNib() override;
    // The handler the feed loader calls: the record goes on to feedLoadedWithData (an error
    // beside it is not looked at); without a record, "Error was %@" and the error alert.
    ZAVFeedCompletion feedCompletionHandler();
    // The download stage's handlers: each percentage moves the bar; the download's end starts
    // the install stage ("Installing %@", the bar busy) or shows the error alert. While the
    // install waits for a running copy that was asked to quit, the status line reads "Waiting
    // for <product> to quit...".
    ZAVProgressBlock progressHandler();
    ZAVDownloadCompletion downloadCompletionHandler(std::shared_ptr<const ZAVFeedData> data);
    // The detail line and the retry wait: "12.4 MB of 85.0 MB, about 5 s left" (the time
    // left from a moving average of the rate, shown after two seconds of transfer), "12.4 MB"
    // without a length, at most four updates a second; while a lost connection waits, the
    // status line reads "Connection lost. Retrying in 4 s (attempt 2 of 5)..." until bytes
    // flow again.
    ZAVTransferBlock transferHandler();
    // The install stage's end: attention, then launch the product or show the success state,
    // or the error alert.
    ZAVInstallCompletion installCompletionHandler(std::shared_ptr<const ZAVFeedData> data);
    // Without URL sessions: the compatibility alert, then termination is requested (status 1).
    void doCompatabilityCheck();
    // The feed record has arrived: log and show the product, come to the front, make the
    // installation manager for the record and start the download. While it waits for another
    // run's installation, the status line says "Waiting for another installation to finish...".
    void feedLoadedWithData(const std::shared_ptr<const ZAVFeedData> &data);
    // Turns the progress bar into a busy indicator; `flag` starts (non-zero) or stops it.
    void animateProgress(qint8 flag);
    // The error alert; its one button quits the installer, and so does closing it through the
    // window manager. The run's exit status is 1 from here.
    void showError(const ZAVOptionalError &error);
    // The product's display name: "<product> - <version>" when displayVersion is set.
    QString productNameFromData(const ZAVFeedData &data) const;
    // The same name as the window shows it: "%@ - %@" in the user's language.
    QString displayedProductName(const ZAVFeedData &data) const;

    const std::shared_ptr<ZAVInstallationManager> &installManager() const
    {
        return m_installManager;
    }
    void setInstallManager(std::shared_ptr<ZAVInstallationManager> manager)
    {
        m_installManager = std::move(manager);
    }
    QProgressBar *progressView() const { return m_progressView; }
    void setProgressView(QProgressBar *view) { m_progressView = view; }
    QLabel *statusText() const { return m_statusText; }
    void setStatusText(QLabel *text) { m_statusText = text; }
    QPushButton *quitButton() const { return m_quitButton; }
    void setQuitButton(QPushButton *button) { m_quitButton = button; }
    QLabel *detailText() const { return m_detailText; }
    void setDetailText(QLabel *text) { m_detailText = text; }

public slots:
    // The quit button's action (bound by the window description). The sender is not used.
    void quitAction(QObject *sender = nullptr);

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    enum class Stage { Loading, Downloading, Installing, Done };

    void setStatus(const QString &text);
    void setDetail(const QString &text);
    void showTransfer(const ZAVTransferState &state);
    // Posts an accessibility event of `kind` for `control`.
    static void announce(QObject *control, QAccessible::Event kind);

    Stage m_stage = Stage::Loading;
    bool m_closeRequested = false;
    QString m_downloadingStatus;
    bool m_retrying = false;
    QElapsedTimer m_transferClock; // since the first byte
    QElapsedTimer m_detailClock;   // since the detail line last changed
    qint64 m_sampleBytes = 0;
    qint64 m_sampleMs = 0;
    double m_rate = 0; // bytes per second, moving average

    ZAVInstallerOptions m_options;
    std::shared_ptr<ZAVInstallationManager> m_installManager;
    QPointer<QProgressBar> m_progressView;
    QPointer<QLabel> m_statusText;
    QPointer<QPushButton> m_quitButton;
    QPointer<QLabel> m_detailText;
};
