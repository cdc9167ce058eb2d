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
    std::unique_ptr<QSocketNotifier> notifier;
};

CliEventLoop::CliEventLoop() : impl_(std::make_unique<Impl>())
{
    // Block the stop signals here, before any other thread starts, so every thread
    // inherits the mask and they stay pending until the loop reads them from its
    // signal descriptor: the handler runs on this thread, in the loop, and no other
    // thread has to hand anything over.
    sigemptyset(&impl_->stopSignals);
    sigaddset(&impl_->stopSignals, SIGINT);
    sigaddset(&impl_->stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &impl_->stopSignals, nullptr);
    // One application object per process: the program's own when it made one (its
    // translator and settings belong to it), else one made here.
    if (QCoreApplication::instance() == nullptr)
        g_application = new QCoreApplication(g_argc, g_argv);
    impl_->app = QCoreApplication::instance();

    impl_->signalFd = signalfd(-1, &impl_->stopSignals, SFD_NONBLOCK | SFD_CLOEXEC);
    if (impl_->signalFd < 0) {
        return;
    }
    Impl* impl = impl_.get();
    impl_->notifier = std::make_unique<QSocketNotifier>(impl_->signalFd, QSocketNotifier::Read);
    QObject::connect(impl_->notifier.get(), &QSocketNotifier::activated, [impl] {
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
    // The notifier goes before the descriptor it watches.
    impl_->notifier.reset();
    if (impl_->signalFd >= 0) {
        close(impl_->signalFd);
    }
    // The application object stays: objects made while the loop ran may still refer
    // to it until the process ends.
    impl_->app = nullptr;
}

void CliEventLoop::OnStopSignal(std::function<void(int)> handler)
{
    impl_->handler = std::move(handler);
}

int CliEventLoop::Run()
{
    return QCoreApplication::exec();
}

void CliEventLoop::Quit(int exitCode)
{
    QCoreApplication::exit(exitCode);
}
