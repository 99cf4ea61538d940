// SPDX-License-Identifier: GPL-3.0-or-later
// Saves two different sets of settings in turn, as fast as it can, until it is
// killed. The crash test kills it after a chosen number of saves and reads what
// is left.
#include "SettingsPair.h"
#include "meter.h"

#include <unistd.h>

namespace {

bool tell(char c)
{
    return write(STDOUT_FILENO, &c, 1) == 1;
}

} // namespace

int main()
{
    // '!' tells the test that saving starts now, not at the end of the dynamic
    // linker's work; 'a' and 'b' that a save of that set has returned.
    if (!tell('!'))
        return 2;
    for (;;) {
        SaveSettings(SettingsA());
        if (!tell('a'))
            return 2;
        SaveSettings(SettingsB());
        if (!tell('b'))
            return 2;
    }
}
