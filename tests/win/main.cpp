// The entry of every Windows test executable: gtest's own, with the check for window objects held
// too long switched on.
#include <gtest/gtest.h>

#include "wnd.h"

int main(int argc, char** argv)
{
    // What FromHandle, GetDlgItem, GetParent and the like lend out is freed when a message loop
    // goes idle. Code that keeps it past that then acts on no window, and its test fails every
    // time, instead of acting on whichever window the freed memory serves next.
    CWnd::KeepFreedTemporaries(true);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
