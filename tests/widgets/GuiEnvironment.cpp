// SPDX-License-Identifier: GPL-3.0-or-later
// The widgets and pixmaps under test need the application object before the
// first test runs.
#include "QtTestApp.h"

#include <gtest/gtest.h>

namespace {

class GuiEnvironment : public ::testing::Environment {
public:
    void SetUp() override { EnsureApplication(); }
};

[[maybe_unused]] ::testing::Environment* const Registered =
    ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

} // namespace
