// The mail tests: gtest cases, or one traced child scenario when started with --mail-child=.
#include "tests/mail/MailTestSupport.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    const std::string scenario = testing_support::SwitchValue(argc, argv, "mail-child");
    if (!scenario.empty())
        return mail_testing::RunChildScenario(scenario);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
