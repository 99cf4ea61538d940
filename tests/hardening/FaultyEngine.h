// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An engine that misbehaves on purpose. It listens on loopback, accepts one
// client and runs a behaviour on a thread of its own, so that it can cut,
// reset or flood the connection at any byte while the program under test (a
// child process, or a main window in this process) reads.
#include <QByteArray>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <thread>

class EnginePeer {
public:
    explicit EnginePeer(int fd, const std::atomic<bool>& stopping, std::atomic<int>& step, const std::atomic<int>& allowed);

    // The four start requests ('G', 'g', 'm', 'k'), 144 bytes; false when they
    // do not come within the time or are not those four kinds.
    bool ReadStartRequests(int ms = 10000);
    // Whole buffer, blocking; false once the program is gone or the engine stops.
    bool Send(const QByteArray& bytes);
    // One write per byte with a pause after each, Nagle off, so that every
    // byte leaves in a segment of its own.
    bool SendByteByByte(const QByteArray& bytes, std::chrono::microseconds pause);
    // Pseudo-random bytes from a fixed seed.
    bool SendRandom(uint64_t count, uint32_t seed);
    // An orderly close (FIN); the engine closes too when the behaviour returns.
    void Close();
    // A reset (RST): linger on with a zero time-out, then close.
    void Reset();
    // Reads and discards until the program closes or the engine stops.
    void StaySilent();

    // Tells the test that step n is reached, and waits until the test allows step n.
    void Reached(int n);
    bool WaitForGo(int n, int ms = 30000);

private:
    int fd;
    const std::atomic<bool>& stopping;
    std::atomic<int>& step;
    const std::atomic<int>& allowed;
};

class FaultyEngine {
public:
    using Behaviour = std::function<void(EnginePeer&)>;

    explicit FaultyEngine(Behaviour behaviour);
    ~FaultyEngine();
    FaultyEngine(const FaultyEngine&) = delete;
    FaultyEngine& operator=(const FaultyEngine&) = delete;

    int Port() const { return port; }
    // The last step the behaviour has reached, and the step the test allows next.
    int Step() const { return step.load(); }
    void Go(int n) { allowed.store(n); }

private:
    void run(Behaviour behaviour);

    int listenFd = -1;
    int port = 0;
    std::atomic<bool> stopping{false};
    std::atomic<int> step{0};
    std::atomic<int> allowed{0};
    std::thread thread;
};
