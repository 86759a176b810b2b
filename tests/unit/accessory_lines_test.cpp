#include "tools/trace/accessory_lines.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using Lines = std::vector<std::pair<std::string, LineEnd>>;

// Each line keeps the raw bytes it was made of: the LFs and NULs the phone
// drops go with the line they stood in (an LF after a CR with the next, or,
// when the device goes or the trace ends, on their own), a line cut at the
// buffer's end with exactly the bytes the phone kept.
TEST(AccessoryLines, EachLineKeepsItsRawBytes)
{
    const std::string full = "A" + std::string(1, '\0') + std::string(2046, 'Y');
    const struct {
        std::vector<std::string> arrivals;  // 300 ms apart
        LineEnd last;                       // how the unfinished line is taken at the end
        Lines lines;
    } cases[] = {
        {{"AT\r\nAT\r\r"},
         LineEnd::kEnd,
         {{"AT", LineEnd::kCr}, {"\nAT", LineEnd::kCr}, {"", LineEnd::kCr}}},
        {{"AT\n", "AT"}, LineEnd::kGone, {{"AT\n", LineEnd::kPause}, {"AT", LineEnd::kGone}}},
        {{full + "\nZ\r"}, LineEnd::kEnd, {{full, LineEnd::kFull}, {"\nZ", LineEnd::kCr}}},
        {{"AT\r\n"}, LineEnd::kEnd, {{"AT", LineEnd::kCr}, {"\n", LineEnd::kEnd}}},
        {{"AT\r\n"}, LineEnd::kGone, {{"AT", LineEnd::kCr}, {"\n", LineEnd::kGone}}},
    };
    for (const auto& c : cases) {
        AccessoryLines accessory;
        Lines lines;
        uint32_t tick = 0xFFFFFF00;  // across the tick count's wrap
        const auto take = [&](const std::vector<RawLine>& taken) {
            for (const RawLine& line : taken)
                lines.emplace_back(line.bytes, line.end);
        };
        for (const std::string& bytes : c.arrivals) {
            tick += 300;
            if (accessory.HasUnfinished() && accessory.PauseLeft(tick) == 0)
                take(accessory.TakeUnfinished(LineEnd::kPause));
            take(accessory.Arrived(bytes.data(), bytes.size(), tick));
        }
        take(accessory.TakeUnfinished(c.last));
        EXPECT_EQ(c.lines, lines) << c.arrivals[0].substr(0, 20);
    }
}

}  // namespace
