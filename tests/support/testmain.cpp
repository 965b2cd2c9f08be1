#include <gtest/gtest.h>

#include <cstdio>

int main(int argc, char** argv)
{
    // CTest reads the output through a pipe, where the C runtime would hold
    // it back in full buffers: a test that hangs until its time-out would
    // then show nothing of where it stopped.
    setvbuf(stdout, NULL, _IONBF, 0);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
