#include <gtest/gtest.h>

#include "testbed/child.h"

namespace {

// Nothing closes a link at exit, so its reader may still open or close its
// device while the runtime runs the static destructors: the stand-in for
// the handheld's devices must keep working then.
TEST(StreamDevice, WorksAfterTheStaticDestructorsHaveRun)
{
    Child child(L"stream_device_exit_child.exe", L"", false);
    EXPECT_EQ(0, child.WaitForExit(30000));
}

}  // namespace
