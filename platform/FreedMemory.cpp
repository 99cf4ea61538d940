// SPDX-License-Identifier: GPL-3.0-or-later
#include "FreedMemory.h"

#include <cstdlib> // defines __GLIBC__ where it applies

#if defined(__GLIBC__)
#include <malloc.h>
#endif

void ReturnFreedMemory()
{
#if defined(__GLIBC__)
    // 0: keep no slack at the heap's end; the pages come back on demand.
    malloc_trim(0);
#endif
}
