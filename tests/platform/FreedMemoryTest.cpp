// SPDX-License-Identifier: GPL-3.0-or-later
#include "FreedMemory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

// AddressSanitizer keeps its own heap. GCC says so with a macro, clang
// through __has_feature.
#if defined(__SANITIZE_ADDRESS__)
#define HEAP_OF_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define HEAP_OF_ADDRESS_SANITIZER 1
#endif
#endif

// Runs of 16 blocks of 4000 bytes freed between blocks still in use: the heap
// cannot shrink from its end, so their pages stay the program's own until
// given back. Each run frees some 63 KiB, at least 14 whole pages.
TEST(FreedMemoryTest, PagesFreedAmongLiveBlocksGoBackToTheSystem)
{
#if !defined(__GLIBC__) || defined(HEAP_OF_ADDRESS_SANITIZER)
    GTEST_SKIP() << "only the GNU C library's own heap can give pages back";
#else
    const auto rssAnonKiB = [] {
        std::ifstream status("/proc/self/status");
        for (std::string line; std::getline(status, line);)
            if (line.rfind("RssAnon:", 0) == 0)
                return std::stol(line.substr(8));
        return -1L;
    };
    std::vector<void*> freed, kept;
    for (int run = 0; run < 32; ++run) {
        for (int b = 0; b < 16; ++b)
            freed.push_back(std::memset(std::malloc(4000), 1, 4000));
        kept.push_back(std::malloc(16));
    }
    for (void* p : freed)
        std::free(p);
    const long before = rssAnonKiB();
    ReturnFreedMemory();
    const long after = rssAnonKiB();
    for (void* p : kept)
        std::free(p);
    // 32 runs * 14 pages * 4 KiB = 1792 KiB may go; well over half must.
    EXPECT_GE(before - after, 1024) << before << " -> " << after << " KiB";
#endif
}
