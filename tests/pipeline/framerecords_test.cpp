#include <gtest/gtest.h>

#include <mfapi.h>

#include "pipeline/framerecords.h"

namespace
{
ULONG RefCount(IUnknown* pUnknown)
{
    pUnknown->AddRef();
    return pUnknown->Release();
}

class FrameUnitTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(S_OK, MFStartup(MF_VERSION, MFSTARTUP_FULL));
        ASSERT_EQ(S_OK, MFCreateSample(&m_pSample));
    }
    void TearDown() override
    {
        if (m_pSample != NULL)
            m_pSample->Release();
        MFShutdown();
    }
    IMFSample* m_pSample = NULL;
};
}  // namespace

TEST_F(FrameUnitTest, EachCopyHoldsItsOwnReferenceToTheSample)
{
    ULONG nBase = RefCount(m_pSample);
    {
        FRAME_UNIT first(COLOR_FORMAT_YUY2, 640, 480, m_pSample);
        EXPECT_EQ(nBase + 1, RefCount(m_pSample));
        {
            FRAME_UNIT copy(first);
            EXPECT_EQ(nBase + 2, RefCount(m_pSample));
            EXPECT_EQ(COLOR_FORMAT_YUY2, copy.format);
            EXPECT_EQ(640u, copy.width);
            EXPECT_EQ(480u, copy.height);
        }
        EXPECT_EQ(nBase + 1, RefCount(m_pSample));
    }
    EXPECT_EQ(nBase, RefCount(m_pSample));
}

TEST_F(FrameUnitTest, AssignmentReleasesTheReferenceHeldBefore)
{
    IMFSample* pOther = NULL;
    ASSERT_EQ(S_OK, MFCreateSample(&pOther));
    ULONG nBase = RefCount(m_pSample);
    ULONG nOtherBase = RefCount(pOther);
    {
        FRAME_UNIT target(COLOR_FORMAT_MJPG, 1280, 720, pOther);
        FRAME_UNIT source(COLOR_FORMAT_NV12, 320, 240, m_pSample);
        target = source;
        EXPECT_EQ(nOtherBase, RefCount(pOther));
        EXPECT_EQ(nBase + 2, RefCount(m_pSample));
        EXPECT_EQ(COLOR_FORMAT_NV12, target.format);
        EXPECT_EQ(320u, target.width);
    }
    EXPECT_EQ(nBase, RefCount(m_pSample));
    pOther->Release();
}

TEST(FrameUnit, MayHoldNoSample)
{
    FRAME_UNIT empty(COLOR_FORMAT_YUY2, 2, 2, NULL);
    FRAME_UNIT copy(empty);
    EXPECT_EQ(nullptr, copy.sample.Get());
}

TEST(FrameSizes, FollowTheDriversRules)
{
    UINT32 cbSize = 0;
    ASSERT_TRUE(GetYuy2FrameSize(640, 480, &cbSize));
    EXPECT_EQ(614400u, cbSize);
    ASSERT_TRUE(GetYuy2FrameSize(1280, 720, &cbSize));
    EXPECT_EQ(1843200u, cbSize);
    ASSERT_TRUE(GetNv12FrameSize(1280, 720, &cbSize));
    EXPECT_EQ(1382400u, cbSize);
    // W x H x 1.5 truncates.
    ASSERT_TRUE(GetNv12FrameSize(3, 3, &cbSize));
    EXPECT_EQ(13u, cbSize);
}

TEST(FrameSizes, RefuseCountsThatOverflow32Bits)
{
    UINT32 cbSize = 7;
    EXPECT_FALSE(GetYuy2FrameSize(65536, 32768, &cbSize));
    EXPECT_FALSE(GetYuy2FrameSize(0xFFFFFFFFu, 2, &cbSize));
    EXPECT_FALSE(GetNv12FrameSize(65536, 65536, &cbSize));
    EXPECT_FALSE(GetNv12FrameSize(65536, 43691, &cbSize));  // fits as pixels, not x 1.5
    EXPECT_TRUE(GetNv12FrameSize(65536, 32768, &cbSize));   // 2^31 pixels x 1.5 still fits
    EXPECT_EQ(3221225472u, cbSize);
    cbSize = 7;
    EXPECT_EQ(7u, cbSize);
    EXPECT_TRUE(GetYuy2FrameSize(65535, 32768, &cbSize));
}
