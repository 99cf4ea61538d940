// Saves two different sets of settings in turn, as fast as it can, until it is
// killed. The crash test kills it at random moments and reads what is left.
#include "SettingsPair.h"
#include "meter.h"

#include <cstdio>
#include <unistd.h>

int main()
{
    // One byte tells the test that saving starts now, not at the end of the
    // dynamic linker's work.
    const char go = '!';
    if (write(STDOUT_FILENO, &go, 1) != 1)
        return 2;
    for (;;) {
        SaveSettings(SettingsA());
        SaveSettings(SettingsB());
    }
}
