#include "platform/Platform.h"

#include <gtest/gtest.h>

using larkspan::platform::AcquireInstanceLock;

namespace {

TEST(InstanceLock, SecondHolderIsRefusedUntilTheFirstReleases) {
    auto first = AcquireInstanceLock("LockHeldTwice");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(AcquireInstanceLock("LockHeldTwice"), nullptr);
    EXPECT_NE(AcquireInstanceLock("SomeOtherName"), nullptr) << "names are independent";

    first.reset();
    EXPECT_NE(AcquireInstanceLock("LockHeldTwice"), nullptr);
}

} // namespace
