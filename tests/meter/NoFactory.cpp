// SPDX-License-Identifier: GPL-3.0-or-later
// A loadable library under the history module's name without its factory.
extern "C" __attribute__((visibility("default"))) int chanload_not_the_factory()
{
    return 0;
}
