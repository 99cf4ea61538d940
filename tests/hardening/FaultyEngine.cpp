// SPDX-License-Identifier: GPL-3.0-or-later
#include "FaultyEngine.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <random>
#include <string>

namespace {

// Every wait is cut into short polls so that a stopping engine is noticed.
constexpr int PollMs = 50;

using Clock = std::chrono::steady_clock;

bool waitFor(int fd, short events, const std::atomic<bool>& stopping, Clock::time_point until = Clock::time_point::max())
{
    if (fd < 0)
        return false;
    pollfd p{fd, events, 0};
    while (!stopping.load() && Clock::now() < until) {
        const int r = poll(&p, 1, PollMs);
        if (r > 0)
            return true;
        if (r < 0 && errno != EINTR)
            return false;
    }
    return false;
}

} // namespace

EnginePeer::EnginePeer(int fd, const std::atomic<bool>& stopping, std::atomic<int>& step, const std::atomic<int>& allowed)
    : fd(fd), stopping(stopping), step(step), allowed(allowed)
{
}

bool EnginePeer::ReadStartRequests(int ms)
{
    QByteArray got;
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    while (got.size() < 4 * 36) {
        if (!waitFor(fd, POLLIN, stopping, deadline))
            return false;
        char buf[512];
        const ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))
            return false;
        if (n > 0)
            got.append(buf, n);
    }
    return got.size() == 4 * 36 && got[4] == 'G' && got[36 + 4] == 'g' && got[72 + 4] == 'm' && got[108 + 4] == 'k';
}

bool EnginePeer::Send(const QByteArray& bytes)
{
    qsizetype at = 0;
    while (at < bytes.size()) {
        if (!waitFor(fd, POLLOUT, stopping))
            return false;
        const ssize_t n = send(fd, bytes.constData() + at, static_cast<size_t>(bytes.size() - at), MSG_NOSIGNAL);
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        if (n > 0)
            at += n;
    }
    return true;
}

bool EnginePeer::SendByteByByte(const QByteArray& bytes, std::chrono::microseconds pause)
{
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    for (char c : bytes) {
        if (!Send(QByteArray(1, c)))
            return false;
        std::this_thread::sleep_for(pause);
    }
    return true;
}

bool EnginePeer::SendRandom(uint64_t count, uint32_t seed)
{
    // One block of random bytes, sent again and again from an offset that
    // moves by an odd amount: cheap enough for gigabytes, and no short period.
    std::mt19937 random(seed);
    std::string block(1 << 20, '\0');
    for (char& c : block)
        c = static_cast<char>(random());
    const QByteArray twice = QByteArray::fromStdString(block + block);
    constexpr qsizetype Chunk = 256 * 1024;
    qsizetype offset = 0;
    while (count > 0) {
        const auto size = static_cast<qsizetype>(std::min<uint64_t>(count, Chunk));
        if (!Send(QByteArray::fromRawData(twice.constData() + offset, size)))
            return false;
        offset = (offset + size + 4099) % static_cast<qsizetype>(block.size());
        count -= static_cast<uint64_t>(size);
    }
    return true;
}

void EnginePeer::Close()
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

void EnginePeer::Reset()
{
    // With a zero linger time, close sends a reset instead of a FIN.
    const linger l{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    Close();
}

void EnginePeer::StaySilent()
{
    char buf[4096];
    while (waitFor(fd, POLLIN, stopping)) {
        const ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))
            return;
    }
}

void EnginePeer::Reached(int n)
{
    step.store(n);
}

bool EnginePeer::WaitForGo(int n, int ms)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    while (allowed.load() < n) {
        if (stopping.load() || Clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

FaultyEngine::FaultyEngine(Behaviour behaviour)
{
    listenFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (listenFd < 0 || bind(listenFd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(listenFd, 4) != 0
        || getsockname(listenFd, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        return;
    port = ntohs(a.sin_port);
    thread = std::thread([this, b = std::move(behaviour)] { run(b); });
}

FaultyEngine::~FaultyEngine()
{
    stopping.store(true);
    if (thread.joinable())
        thread.join();
    if (listenFd >= 0)
        ::close(listenFd);
}

void FaultyEngine::run(Behaviour behaviour)
{
    if (!waitFor(listenFd, POLLIN, stopping))
        return;
    const int fd = accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0)
        return;
    EnginePeer peer(fd, stopping, step, allowed);
    behaviour(peer);
    peer.Close();
}
