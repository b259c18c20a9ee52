#include "UFile_Work.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPointer>
#include <QSemaphore>

#include <exception>

// Under Wine, threads of the Windows build made and ended for each piece of work left the thread library's key
// lock (taken while an ending thread's thread-local data is freed) with a reader that never left, and the
// program's exit then waited on that lock for ever: hence one thread, kept.
QThreadPool &File_Work_Pool()
{
    static QPointer<QThreadPool> pool;
    if (!pool) {
        pool = new QThreadPool(QCoreApplication::instance());
        pool->setMaxThreadCount(1);
        pool->setExpiryTimeout(-1);
    }
    return *pool;
}

void Run_On_File_Thread(const std::function<void()> &work)
{
    std::exception_ptr failure;
    QSemaphore ended;
    QEventLoop loop;
    // The quit is queued to the loop: work that ends before the loop runs still ends it.
    File_Work_Pool().start([&work, &failure, &loop, &ended] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        ended.release();
    });
    loop.exec();
    ended.acquire();
    if (failure)
        std::rethrow_exception(failure);
}
