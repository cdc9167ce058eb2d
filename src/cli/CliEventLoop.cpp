#include "CliEventLoop.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <csignal>
#include <pthread.h>
#include <thread>

struct CliEventLoop::Impl
{
    int argc = 1;
    char name[16] = "lumetra-cli";
    char* argv[2] = {name, nullptr};
    QCoreApplication* app = nullptr;
    std::function<void(int)> handler;
    std::thread waiter;
    sigset_t stopSignals;
};

CliEventLoop::CliEventLoop() : m_impl(new Impl)
{
    // Block the stop signals here, before any other thread starts, so every thread
    // inherits the mask and only the waiter below receives them.
    sigemptyset(&m_impl->stopSignals);
    sigaddset(&m_impl->stopSignals, SIGINT);
    sigaddset(&m_impl->stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &m_impl->stopSignals, nullptr);
    m_impl->app = new QCoreApplication(m_impl->argc, m_impl->argv);

    Impl* impl = m_impl;
    m_impl->waiter = std::thread([impl] {
        int signal = 0;
        if (sigwait(&impl->stopSignals, &signal) != 0)
            return;
        QMetaObject::invokeMethod(
            impl->app,
            [impl, signal] {
                if (impl->handler)
                    impl->handler(signal);
                else
                    QCoreApplication::exit(0);
            },
            Qt::QueuedConnection);
    });
    m_impl->waiter.detach();
}

CliEventLoop::~CliEventLoop()
{
    // The waiter thread may still sit in sigwait; it is detached and ends with the
    // process, so the application object is left in place for it.
}

void CliEventLoop::OnStopSignal(std::function<void(int)> handler)
{
    m_impl->handler = std::move(handler);
}

int CliEventLoop::Run()
{
    return QCoreApplication::exec();
}

void CliEventLoop::Quit(int exitCode)
{
    QCoreApplication::exit(exitCode);
}
