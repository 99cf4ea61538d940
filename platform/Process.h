// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Ending the process at once, without returning to the event loop.
#include <functional>

void EndProcess(int Status);

// Tests only: with a handler set, EndProcess calls it instead of ending the process.
void SetEndProcessHandler(std::function<void(int)> Handler);
