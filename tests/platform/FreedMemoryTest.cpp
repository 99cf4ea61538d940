// SPDX-License-Identifier: GPL-3.0-or-later
#include "FreedMemory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

// The process's own memory in KiB, as the system counts it.
long rssAnonKiB()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("RssAnon:", 0) == 0)
            return std::stol(line.substr(8));
    return -1;
}

} // namespace

// Runs of blocks freed between blocks still in use: the heap cannot shrink
// from its end, so their pages stay the program's own until given back.
TEST(FreedMemoryTest, PagesFreedAmongLiveBlocksGoBackToTheSystem)
{
#if !defined(__GLIBC__) || defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "only the GNU C library's own heap can give pages back";
#else
    constexpr int Runs = 32, BlocksPerRun = 16;
    constexpr std::size_t Block = 4000; // well under the size malloc maps on its own
    std::vector<char*> freed, kept;
    for (int r = 0; r < Runs; ++r) {
        for (int b = 0; b < BlocksPerRun; ++b) {
            freed.push_back(static_cast<char*>(std::malloc(Block)));
            std::memset(freed.back(), 1, Block);
        }
        kept.push_back(static_cast<char*>(std::malloc(16)));
    }
    for (char* p : freed)
        std::free(p);
    const long before = rssAnonKiB();
    ReturnFreedMemory();
    const long after = rssAnonKiB();
    for (char* p : kept)
        std::free(p);
    ASSERT_GT(before, 0);
    // Each run is one free stretch of some 63 KiB holding at least 14 whole
    // pages: 32 * 14 * 4 KiB = 1792 KiB can go; ask for well over half.
    EXPECT_GE(before - after, 1024) << before << " -> " << after << " KiB";
#endif
}
