#include <gtest/gtest.h>

// This file is built as a debug build would be, whatever the build type.
#undef NDEBUG
#include "diagnostics/debugassert.h"

#include "debugoutputcapture.h"

TEST(DebugAssert, InADebugBuildAFailedConditionIsReportedWithItsText)
{
    DebugOutputCapture capture;
    unsigned dwSrcWidth = 4;
    unsigned dwDstWidth = 6;
    DEBUG_ASSERT(dwSrcWidth == dwSrcWidth);
    EXPECT_FALSE(capture.Contains("Debug assertion failed"));
    DEBUG_ASSERT(dwSrcWidth == dwDstWidth);
    EXPECT_TRUE(capture.Contains("Debug assertion failed: \"dwSrcWidth == dwDstWidth\" ("));
    EXPECT_EQ(1u, capture.Count("Debug assertion failed"));
}
