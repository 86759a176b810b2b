// Compares what an owner received with an expected table, Wine-test style:
// a mismatch names the entry and the line of the table's caller.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/recording_owner.h"

struct ExpectedNotification {
    WORD code;
    WORD value;
    const char* text;  // null: not compared
};

void CheckNotifications(const std::vector<Notification>& received,
                        const std::vector<ExpectedNotification>& expected,
                        const char* file, int line);

#define EXPECT_NOTIFICATIONS(received, ...) \
    CheckNotifications((received), __VA_ARGS__, __FILE__, __LINE__)
