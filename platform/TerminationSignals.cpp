// SPDX-License-Identifier: GPL-3.0-or-later
#include "TerminationSignals.h"

#include <QSocketNotifier>

#ifndef Q_OS_WIN
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#ifndef Q_OS_WIN
namespace {

// The write end of the pipe; a signal handler may only do async-signal-safe
// things, so it writes the signal number and nothing else.
int wakeFd = -1;
int readFd = -1;

constexpr int Caught[] = {SIGTERM, SIGINT, SIGHUP};

void onSignal(int Signal)
{
    const unsigned char number = static_cast<unsigned char>(Signal);
    [[maybe_unused]] const ssize_t n = ::write(wakeFd, &number, 1);
}

bool catchSignals()
{
    if (readFd >= 0)
        return true;
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
        return false;
    ::fcntl(fds[0], F_SETFL, O_NONBLOCK);
    ::fcntl(fds[1], F_SETFL, O_NONBLOCK);
    wakeFd = fds[0];
    readFd = fds[1];
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int s : Caught)
        ::sigaction(s, &action, nullptr);
    TTerminationSignals::IgnoreBrokenPipe();
    return true;
}

} // namespace
#endif

void TTerminationSignals::CatchEarly()
{
#ifndef Q_OS_WIN
    catchSignals();
#endif
}

void TTerminationSignals::IgnoreBrokenPipe()
{
#ifndef Q_OS_WIN
    // A reader that has gone is seen as EPIPE where the line is written.
    ::signal(SIGPIPE, SIG_IGN);
#endif
}

TTerminationSignals::TTerminationSignals(std::function<void()> End, std::function<void()> Reopen, QObject* parent)
    : QObject(parent), end(std::move(End)), reopen(std::move(Reopen))
{
#ifndef Q_OS_WIN
    if (!catchSignals())
        return;
    // Level-triggered: signals caught before the event loop ran are still
    // waiting in the pipe and come at its first turn.
    notifier = new QSocketNotifier(readFd, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        unsigned char number = 0;
        while (::read(readFd, &number, 1) == 1) {
            const std::function<void()>& handler = number == SIGHUP ? reopen : end;
            if (handler)
                handler();
        }
    });
#endif
}

TTerminationSignals::~TTerminationSignals()
{
#ifndef Q_OS_WIN
    if (!notifier)
        return;
    for (const int s : Caught)
        ::signal(s, SIG_DFL);
    ::close(wakeFd);
    ::close(readFd);
    wakeFd = readFd = -1;
#endif
}
