// SPDX-License-Identifier: GPL-3.0-or-later
#include "Process.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {
std::function<void(int)>& handler()
{
    static std::function<void(int)> h;
    return h;
}

std::vector<std::function<void()>*>& endSteps()
{
    static std::vector<std::function<void()>*> steps;
    return steps;
}
} // namespace

TEndStep::TEndStep(std::function<void()> Step) : step(std::move(Step))
{
    endSteps().push_back(&step);
}

TEndStep::~TEndStep()
{
    auto& steps = endSteps();
    steps.erase(std::remove(steps.begin(), steps.end(), &step), steps.end());
}

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
    // Taken off the list first: a step that ends the process again does not
    // run twice.
    std::vector<std::function<void()>*> steps;
    steps.swap(endSteps());
    for (auto step = steps.rbegin(); step != steps.rend(); ++step)
        (**step)();
    // At once: no return to the event loop and no window closing. What the
    // program wrote to sockets was flushed when it was sent.
    std::fflush(nullptr);
    std::_Exit(Status);
}
