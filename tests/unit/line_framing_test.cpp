#include "link/line_framing.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

Lines Take(LineCursor cursor)
{
    Lines lines;
    size_t length = 0;
    while (char* line = NextLine(cursor, &length))
        lines.emplace_back(line, length);
    return lines;
}

Lines Add(ReceiveBuffer& buffer, const std::string& bytes, uint32_t tick)
{
    memcpy(buffer.Space(), bytes.data(), bytes.size());
    return Take(buffer.Add(bytes.size(), tick));
}

// An unfinished line waits for its rest through a pause of 200 ms, not one
// of 201, also across the tick count's wrap; bytes that a read brings keep
// it waiting, and LFs and NULs dropped from a batch do not fill the buffer.
TEST(ReceiveBuffer, TheUnfinishedLineWaitsExactlyThePause)
{
    const struct {
        uint32_t tick, laterMs;
        uint32_t pauseLeft;
    } cases[] = {
        {1000, 0, 201}, {1000, 200, 1}, {1000, 201, 0}, {0xFFFFFF9C, 200, 1}, {0xFFFFFF9C, 201, 0},
    };
    for (const auto& c : cases) {
        ReceiveBuffer buffer;
        EXPECT_EQ(Lines({"DONE"}), Add(buffer, "DONE\rAT", c.tick));
        ASSERT_TRUE(buffer.HasUnfinished());
        EXPECT_EQ(c.pauseLeft, buffer.PauseLeft(c.tick + c.laterMs)) << c.tick << " " << c.laterMs;
        EXPECT_EQ(Lines({"ATI"}), Add(buffer, "I\r", c.tick + c.laterMs));
        EXPECT_FALSE(buffer.HasUnfinished());
    }
    ReceiveBuffer buffer;
    EXPECT_EQ(Lines(), Add(buffer, std::string(2045, '\n') + "PA", 0));
    EXPECT_EQ(2045u, buffer.Room());
    EXPECT_EQ(Lines({"PA"}), Take(buffer.TakeUnfinished()));
}

}  // namespace
