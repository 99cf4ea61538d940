// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Ending the process at once, without returning to the event loop.
#include <functional>

void EndProcess(int Status);

// Tests only: with a handler set, EndProcess calls it instead of ending the process.
void SetEndProcessHandler(std::function<void(int)> Handler);

// A step EndProcess takes before the process ends, for as long as this object
// lives: what the instant end would leave behind (a lock file) is put away
// first. Steps run on the thread that ends the process, latest first.
class TEndStep {
public:
    explicit TEndStep(std::function<void()> Step);
    ~TEndStep();
    TEndStep(const TEndStep&) = delete;
    TEndStep& operator=(const TEndStep&) = delete;

private:
    std::function<void()> step;
};
