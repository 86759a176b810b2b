// Indications come from the far end of the line: any bytes must be read
// without fault, and "*EAMI" must agree with the C library's reading.
#include "link/menu_protocol.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string line(reinterpret_cast<const char*>(data), size);
    const char* text = line.c_str();
    const int item = IndicationItem(text);
    if (strncmp(text, "*EAMI", 5) == 0 && strlen(text) > 7) {
        const long long expected = strtoll(text + 7, nullptr, 10);
        if (expected >= -2147483647LL && expected <= 2147483647LL && item != expected)
            __builtin_trap();
    }
    if (!IsIndication(text) && item != 0)
        __builtin_trap();
    return 0;
}
