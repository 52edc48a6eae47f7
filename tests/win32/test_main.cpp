// The main function of the Windows test programs. After the tests it ends the process at once
// instead of returning: where Wine runs 32-bit programs through qemu, the orderly exit of a
// program that has run threads of its own crashes now and then, after every test has passed.
#include <gtest/gtest.h>
#include <windows.h>

#include <stdio.h>

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    int result = RUN_ALL_TESTS();
    fflush(stdout);
    fflush(stderr);
    TerminateProcess(GetCurrentProcess(), (UINT)result);
    return result;
}
