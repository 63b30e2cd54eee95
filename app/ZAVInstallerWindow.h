#pragma once

#include "feed/ZAVFeedData.h"
#include "feed/ZAVFeedLoader.h"
#include "platform/ZAVError.h"
#include "platform/ZAVWindow.h"

#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>

#include <memory>

#include "install/ZAVInstallationManager.h"

// The installer's one window. Made by the window description loader, never by other code;
// awakeFromNib starts the run, and every later stage is started by a completion handler that a
// service delivers on the main thread. Main thread only.
//
// The window holds its installation manager strongly and its three controls weakly: a control
// that is gone reads as nullptr, and every request to it is skipped.
class ZAVInstallerWindow : public ZAVWindow {
    Q_OBJECT
    Q_PROPERTY(QProgressBar *progressView READ progressView WRITE setProgressView)
    Q_PROPERTY(QLabel *statusText READ statusText WRITE setStatusText)
    Q_PROPERTY(QPushButton *quitButton READ quitButton WRITE setQuitButton)

public:
    explicit ZAVInstallerWindow(QWidget *parent = nullptr);
    ~ZAVInstallerWindow() override;

    // Checks the platform, shows "Loading..." and asks for the feed.
    void awakeFromNib() override;
    // The handler the feed loader calls: the record goes on to feedLoadedWithData (an error
    // beside it is not looked at); without a record, "Error was %@" and the error alert.
    ZAVFeedCompletion feedCompletionHandler();
    // The download stage's handlers: each percentage moves the bar; the download's end starts
    // the install stage or shows the error alert.
    ZAVProgressBlock progressHandler();
    ZAVDownloadCompletion downloadCompletionHandler(std::shared_ptr<const ZAVFeedData> data);
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
    // The error alert; its one button quits the installer. The run's exit status is 1 from here.
    void showError(const ZAVOptionalError &error);
    // The product's display name: "<product> - <version>" when displayVersion is set.
    QString productNameFromData(const ZAVFeedData &data) const;

    const std::shared_ptr<ZAVInstallationManager> &installManager() const { return m_installManager; }
    void setInstallManager(std::shared_ptr<ZAVInstallationManager> manager)
    {
        m_installManager = std::move(manager);
    }
    QProgressBar *progressView() const { return m_progressView; }
    void setProgressView(QProgressBar *view) { m_progressView = view; }
    QLabel *statusText() const { return m_statusText; }
    void setStatusText(QLabel *text) { m_statusText = text; }
    // Declared atomic where the window came from; here, as everything else, main thread only.
    QPushButton *quitButton() const { return m_quitButton; }
    void setQuitButton(QPushButton *button) { m_quitButton = button; }

public slots:
    // The quit button's action (bound by the window description). The sender is not used.
    void quitAction(QObject *sender = nullptr);

private:
    void setStatus(const QString &text);

    std::shared_ptr<ZAVInstallationManager> m_installManager;
    QPointer<QProgressBar> m_progressView;
    QPointer<QLabel> m_statusText;
    QPointer<QPushButton> m_quitButton;
};
