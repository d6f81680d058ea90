// How the outcomes of one run add up to its exit code.
#include <gtest/gtest.h>

#include <cwchar>

#include "driver/ExitCode.h"

namespace {

TEST(ExitCode, TheWorseOfTwoWinsInEitherOrder)
{
    const int kWorstFirst[] = {2, 1603, 1618, 1641, 3010, 1, 0};
    const size_t n = sizeof(kWorstFirst) / sizeof(kWorstFirst[0]);
    for (size_t i = 0; i < n; ++i) {
        for (size_t j = 0; j < n; ++j)
            EXPECT_EQ(WorseExitCode(kWorstFirst[i], kWorstFirst[j]), kWorstFirst[i < j ? i : j])
                << kWorstFirst[i] << " and " << kWorstFirst[j];
        EXPECT_GT(wcslen(ExitCodeMeaning(kWorstFirst[i])), 10u);
    }
    // A code the tool does not know is never hidden behind a known one.
    EXPECT_EQ(WorseExitCode(2, 42), 42);
    EXPECT_EQ(WorseExitCode(42, 0), 42);
}

}  // namespace
