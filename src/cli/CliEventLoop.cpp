#include "CliEventLoop.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

// The application object lives until the process ends (see ~CliEventLoop), and so
// must the argument count and list it keeps references to. Held here, so they stay
// reachable (which leak checkers take for in use) and never dangle.
int g_argc = 1;
char g_name[] = "lumetra-cli";
char* g_argv[] = {g_name, nullptr};
QCoreApplication* g_application = nullptr;

} // namespace

struct CliEventLoop::Impl
{
    QCoreApplication* app = nullptr;
    std::function<void(int)> handler;
    sigset_t stopSignals;
    int signalFd = -1;
    QSocketNotifier* notifier = nullptr;
};

CliEventLoop::CliEventLoop() : m_impl(new Impl)
{
    // Block the stop signals here, before any other thread starts, so every thread
    // inherits the mask and they stay pending until the loop reads them from its
    // signal descriptor: the handler runs on this thread, in the loop, and no other
    // thread has to hand anything over.
    sigemptyset(&m_impl->stopSignals);
    sigaddset(&m_impl->stopSignals, SIGINT);
    sigaddset(&m_impl->stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &m_impl->stopSignals, nullptr);
    g_application = new QCoreApplication(g_argc, g_argv);
    m_impl->app = g_application;

    m_impl->signalFd = signalfd(-1, &m_impl->stopSignals, SFD_NONBLOCK | SFD_CLOEXEC);
    if (m_impl->signalFd < 0) {
        return;
    }
    Impl* impl = m_impl;
    m_impl->notifier = new QSocketNotifier(m_impl->signalFd, QSocketNotifier::Read);
    QObject::connect(m_impl->notifier, &QSocketNotifier::activated, [impl] {
        signalfd_siginfo info;
        while (read(impl->signalFd, &info, sizeof(info)) == static_cast<ssize_t>(sizeof(info))) {
            if (impl->handler) {
                impl->handler(static_cast<int>(info.ssi_signo));
            } else {
                QCoreApplication::exit(0);
            }
        }
    });
}

CliEventLoop::~CliEventLoop()
{
    delete m_impl->notifier;
    if (m_impl->signalFd >= 0) {
        close(m_impl->signalFd);
    }
    // The application object stays: objects made while the loop ran may still refer
    // to it until the process ends.
    m_impl->app = nullptr;
    delete m_impl;
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
