#include "app/QuitSignals.h"

#include <QObject>

#ifdef Q_OS_UNIX
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace halvix {

#ifdef Q_OS_UNIX
namespace {

int quitPipe[2] = {-1, -1};

extern "C" void onQuitSignal(int) {
    const char byte = 1;
    // Only async-signal-safe work here; the event loop reads the pipe.
    [[maybe_unused]] const auto written = ::write(quitPipe[1], &byte, 1);
}

} // namespace

std::unique_ptr<QObject> quitOnSignals(std::function<void()> quit) {
    if (::pipe(quitPipe) != 0)
        return nullptr;
    for (int fd : quitPipe)
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    ::fcntl(quitPipe[1], F_SETFL, O_NONBLOCK);
    auto notifier = std::make_unique<QSocketNotifier>(quitPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, notifier.get(), [quit = std::move(quit)] {
        char byte = 0;
        [[maybe_unused]] const auto got = ::read(quitPipe[0], &byte, 1);
        quit();
    });
    struct sigaction action {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    return notifier;
}
#else
std::unique_ptr<QObject> quitOnSignals(std::function<void()>) {
    return nullptr;
}
#endif

} // namespace halvix
