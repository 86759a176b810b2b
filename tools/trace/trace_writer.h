// Writes a trace: each line as it crosses, the findings on an accessory's
// line right after it, and the summary at the end. Every line is flushed
// as it is written, so that a trace watched as it grows (tail -f) shows it
// at once.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include <string>

#include "tools/trace/phone_reading.h"
#include "tools/trace/trace_line.h"

class TraceWriter {
public:
    explicit TraceWriter(FILE* out) : m_out(out) {}

    void Accessory(uint64_t ms, const std::string& bytes, LineEnd end);
    void Phone(uint64_t ms, const std::string& bytes, LineEnd end);
    void Summary(uint64_t ms);

private:
    void Write(uint64_t ms, const char* side, const std::string& text, LineEnd end);

    FILE* m_out;
    PhoneReading m_reading;
};
