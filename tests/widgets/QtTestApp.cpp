// One QApplication for the whole test program, created before the first test
// and destroyed after the last, as widgets and pixmaps need it.
#include <QApplication>

#include <gtest/gtest.h>

namespace {

class QtApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        static int Argc = 1;
        static char Name[] = "widgets-test";
        static char* Argv[] = {Name, nullptr};
        App = new QApplication(Argc, Argv);
    }
    void TearDown() override
    {
        delete App;
        App = nullptr;
    }

private:
    QApplication* App = nullptr;
};

[[maybe_unused]] ::testing::Environment* const Registered =
    ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

} // namespace
