// SPDX-License-Identifier: GPL-3.0-or-later
#include "Process.h"

#include <cstdio>
#include <cstdlib>

namespace {
std::function<void(int)>& handler()
{
    static std::function<void(int)> h;
    return h;
}
} // namespace

void SetEndProcessHandler(std::function<void(int)> Handler)
{
    handler() = std::move(Handler);
}

void EndProcess(int Status)
{
    if (handler()) {
        handler()(Status);
        return;
    }
    // At once: no return to the event loop and no window closing. What the
    // program wrote to sockets was flushed when it was sent.
    std::fflush(nullptr);
    std::_Exit(Status);
}
