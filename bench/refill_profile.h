// Where the time of one refill of the list goes, measured in this process.
#pragma once

#include <vector>

struct RefillStep {
    const char* name;
    std::vector<double> ms = {};  // one a round
};

std::vector<RefillStep> ProfileRefill(const wchar_t* submenuLine, int rounds);
