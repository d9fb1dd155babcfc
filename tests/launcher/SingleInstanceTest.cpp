// The single-instance mutex belongs to the process, not to the object that
// took it: a start during a slow exit must still find it taken.
#include "app/SingleInstance.h"

#include <gtest/gtest.h>

#include <string>

TEST(SingleInstance, TheMutexStaysTakenAfterItsOwnerIsGoneUntilTheProcessEnds)
{
    const std::wstring name = L"Local\\Korvane_single_instance_test_" + std::to_wstring(::GetCurrentProcessId());
    {
        CSingleInstance first;
        ASSERT_EQ(first.Acquire(name), CSingleInstance::Result::Acquired);
    }
    CSingleInstance second;
    EXPECT_EQ(second.Acquire(name), CSingleInstance::Result::AlreadyRunning);
}
