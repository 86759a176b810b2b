#include "tests/support/expect_notifications.h"

#include <sstream>

namespace {

std::string Describe(WORD code, WORD value, const std::string& text)
{
    std::ostringstream out;
    out << "{code " << code << ", value " << value << ", \"" << text << "\"}";
    return out.str();
}

}  // namespace

void CheckNotifications(const std::vector<Notification>& received,
                        const std::vector<ExpectedNotification>& expected,
                        const char* file, int line)
{
    testing::ScopedTrace trace(file, line, "notifications expected here");
    const size_t common = received.size() < expected.size() ? received.size() : expected.size();
    for (size_t i = 0; i < common; ++i) {
        const Notification& got = received[i];
        const ExpectedNotification& want = expected[i];
        const bool textMatches = want.text == nullptr || got.text == want.text;
        EXPECT_TRUE(got.code == want.code && got.value == want.value && textMatches)
            << "notification " << i << ": expected "
            << Describe(want.code, want.value, want.text ? want.text : "*") << ", got "
            << Describe(got.code, got.value, got.text);
    }
    for (size_t i = common; i < received.size(); ++i)
        ADD_FAILURE() << "notification " << i << " not expected: "
                      << Describe(received[i].code, received[i].value, received[i].text);
    for (size_t i = common; i < expected.size(); ++i)
        ADD_FAILURE() << "notification " << i << " missing: "
                      << Describe(expected[i].code, expected[i].value,
                                  expected[i].text ? expected[i].text : "*");
}
