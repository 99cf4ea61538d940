// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Giving memory the program has let go of back to the system.

// Returns the whole free pages inside the C library's heap to the system,
// after a large amount of memory was freed among blocks still in use, where
// the heap cannot shrink from its end. Those pages stay counted as the
// program's own until then. Does nothing where the C library has no way.
void ReturnFreedMemory();
