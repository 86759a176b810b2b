// Where the time of one refill of the list goes, measured in this process.
#pragma once

#include <vector>

struct RefillStep {
    const char* name;
    double ms = 0;  // mean over the rounds
};

std::vector<RefillStep> ProfileRefill(const wchar_t* submenuLine, int rounds);
