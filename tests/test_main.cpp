#include "Forms.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    Application->Initialize();
    Application->MessageBox = [](const std::string& message) { RecordedMessages().push_back(message); };
    const int failed = RUN_ALL_TESTS();
    Application->Finalize();
    return failed;
}
