#include "ZAVApplication.h"

#include "ZAVDispatch.h"
#include "ZAVLog.h"
#include "ZAVTerminationCleanup.h"

#include <QApplication>

#include <syslog.h>
#include <unistd.h>

ZAVApplication &ZAVApplication::sharedApplication()
{
    static ZAVApplication application;
    return application;
}

void ZAVApplication::terminate(const char *sender)
{
    ZAV_ASSERT_MAIN_THREAD();
    if (m_terminateHandler) {
        m_terminateHandler(sender);
        return;
    }
    // Every run ends here, with the window and the work objects still alive: there is nothing
    // to save and nothing to tear down, so the process leaves at once, log flushed.
    ZAVLogFlush();
    closelog();
    // A signal that came while the package installer ran ends the run now that it is over.
    ZAVFinishPendingTermination();
    _exit(m_exitStatus);
}

void ZAVApplication::activateIgnoringOtherApps(bool)
{
    ZAV_ASSERT_MAIN_THREAD();
    ++m_activations;
    if (QWidget *window = m_mainWindow) {
        window->raise();
        window->activateWindow();
    }
}

long ZAVApplication::requestUserAttention(int requestType)
{
    ZAV_ASSERT_MAIN_THREAD();
    ++m_attentionRequests;
    m_lastAttentionType = requestType;
    if (QWidget *window = m_mainWindow)
        QApplication::alert(window, 0);
    return m_attentionRequests;
}

void ZAVApplication::setTerminateHandler(std::function<void(const char *)> handler)
{
    m_terminateHandler = std::move(handler);
}
