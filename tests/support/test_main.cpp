// The entry of every Wine test executable. Its standard output is a pipe,
// which the runtime would buffer in full: a runner that ends early would
// take with it the lines that show how far it came.
#include <gtest/gtest.h>

#include <stdio.h>

int main(int argc, char** argv)
{
    setvbuf(stdout, nullptr, _IONBF, 0);
    printf("Running main() from %s\n", __FILE__);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
