#include "TwinLanternApp/app/QuitSignals.h"

#include <QSocketNotifier>

#include <sys/signalfd.h>

#include <csignal>

namespace twinlantern::app {

namespace {

sigset_t quitSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGHUP);
    return set;
}

} // namespace

void QuitSignals::block() {
    const sigset_t set = quitSet();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

QuitSignals::QuitSignals(std::function<void(int)> onQuit, QObject* parent)
    : QObject(parent), onQuit_(std::move(onQuit)) {
    const sigset_t set = quitSet();
    fd_.reset(::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC));
    if (!fd_) {
        return;
    }
    notifier_ = std::make_unique<QSocketNotifier>(fd_.get(), QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &QuitSignals::drain);
}

QuitSignals::~QuitSignals() = default;

void QuitSignals::drain() {
    signalfd_siginfo info{};
    while (::read(fd_.get(), &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        onQuit_(static_cast<int>(info.ssi_signo));
    }
}

} // namespace twinlantern::app
