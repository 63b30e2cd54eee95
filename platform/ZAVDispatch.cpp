#include "ZAVDispatch.h"

#include <QCoreApplication>
#include <QThread>
#include <QThreadPool>

#include <cstdio>
#include <cstdlib>

namespace {

QThreadPool &backgroundPool()
{
    static QThreadPool *pool = [] {
        auto *p = new QThreadPool;
        p->setThreadPriority(QThread::LowestPriority);
        p->setMaxThreadCount(qMax(2, QThread::idealThreadCount()));
        return p;
    }();
    return *pool;
}

} // namespace

void ZAVDispatchMainAsync(std::function<void()> work)
{
    QCoreApplication *app = QCoreApplication::instance();
    Q_ASSERT(app);
    QMetaObject::invokeMethod(app, std::move(work), Qt::QueuedConnection);
}

void ZAVDispatchBackgroundAsync(std::function<void()> work)
{
    backgroundPool().start(std::move(work));
}

void ZAVDispatchWaitForBackground()
{
    backgroundPool().waitForDone();
}

bool ZAVIsMainThread()
{
    const QCoreApplication *app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void ZAVAssertMainThread(const char *file, int line)
{
    if (!ZAVIsMainThread()) {
        std::fprintf(stderr, "%s:%d: main-thread operation called on another thread\n", file, line);
        std::abort();
    }
}
