#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>

// The application object: the run's one window, and the requests the installer makes of the
// desktop. Main thread only.
class ZAVApplication {
public:
    static ZAVApplication &sharedApplication();

    // Ends the installer through normal termination: the log is flushed and the process exits
    // with exitStatus(), or as the signal would have when one was held back while the package
    // installer ran (ZAVTerminationCleanup.h). Does not return (unless a test has installed a
    // terminate handler). `sender` names who asked, for tests and the log of a debugger.
    void terminate(const char *sender);

    // The status the run ends with, by terminate() or when the event loop returns: 0 unless a
    // failure has been shown to the user (then 1), so that scripts see the failure.
    int exitStatus() const { return m_exitStatus; }
    void setExitStatus(int status) { m_exitStatus = status; }

    // Raises the window and asks the window manager to activate it.
    void activateIgnoringOtherApps(bool flag);

    // Asks the desktop to draw the user's attention to the window (an urgency hint).
    // 0 is the critical request, which lasts until the window is activated.
    long requestUserAttention(int requestType);

    void setMainWindow(QWidget *window) { m_mainWindow = window; }
    QWidget *mainWindow() const { return m_mainWindow; }

    // Tests: replace the process exit with `handler` (nullptr restores it); count requests.
    void setTerminateHandler(std::function<void(const char *sender)> handler);
    int activationCount() const { return m_activations; }
    int attentionRequestCount() const { return m_attentionRequests; }
    int lastAttentionRequestType() const { return m_lastAttentionType; }

private:
    QPointer<QWidget> m_mainWindow;
    std::function<void(const char *)> m_terminateHandler;
    int m_activations = 0;
    int m_attentionRequests = 0;
    int m_lastAttentionType = -1;
    int m_exitStatus = 0;
};
