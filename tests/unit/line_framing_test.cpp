#include "link/line_framing.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

namespace {

// Cleans a batch the way the reader holds it, in a buffer with room for the
// terminator, and returns its lines.
std::vector<std::string> LinesOf(const std::string& batch)
{
    std::vector<char> buffer(batch.begin(), batch.end());
    buffer.push_back('\0');
    const size_t length = CleanBatch(buffer.data(), batch.size());
    LineCursor cursor = {buffer.data(), buffer.data() + length};
    std::vector<std::string> lines;
    size_t lineLength = 0;
    while (const char* line = NextLine(cursor, &lineLength)) {
        EXPECT_EQ(strlen(line), lineLength);
        lines.emplace_back(line, lineLength);
    }
    return lines;
}

using Lines = std::vector<std::string>;

TEST(LineFraming, CarriageReturnEndsLinesAndEmptyLinesVanish)
{
    EXPECT_EQ(Lines({"OK"}), LinesOf("OK\r"));
    EXPECT_EQ(Lines({"AT", "AT"}), LinesOf("AT\rAT\r"));
    EXPECT_EQ(Lines(), LinesOf("\r\r"));
    EXPECT_EQ(Lines(), LinesOf(""));
    EXPECT_EQ(Lines({"ONE", "TWO"}), LinesOf("\rONE\r\r\rTWO"));
}

TEST(LineFraming, LineFeedsAndNulsAreDroppedNotLineEnds)
{
    EXPECT_EQ(Lines({"OK"}), LinesOf("OK\r\n"));
    EXPECT_EQ(Lines({"ONE", "TWO"}), LinesOf("ONE\r\n\r\nTWO\r\n"));
    EXPECT_EQ(Lines({"AB"}), LinesOf("A\nB\r"));
    EXPECT_EQ(Lines({"AB"}), LinesOf(std::string("A\0\0B\r", 5)));
    EXPECT_EQ(Lines(), LinesOf(std::string("\n\0\n", 3)));
}

TEST(LineFraming, CleaningZeroesWhatItFrees)
{
    char batch[] = {'A', '\n', 'B', '\0', 'C', '\r', 'x'};
    ASSERT_EQ(4u, CleanBatch(batch, 6));
    EXPECT_EQ(0, memcmp(batch, "ABC\0\0\0x", 7));
}

}  // namespace
