#include "tools/trace/trace_writer.h"

void TraceWriter::Accessory(uint64_t ms, const std::string& bytes, LineEnd end)
{
    Write(ms, "accessory", bytes, end);
    for (const Finding& finding : m_reading.Read(bytes, end))
        Write(ms, "finding", finding.text, LineEnd::kCr);
}

void TraceWriter::Phone(uint64_t ms, const std::string& bytes, LineEnd end)
{
    Write(ms, "phone", bytes, end);
}

void TraceWriter::Summary(uint64_t ms)
{
    for (const std::string& line : m_reading.Summary())
        Write(ms, "summary", line, LineEnd::kCr);
}

void TraceWriter::Write(uint64_t ms, const char* side, const std::string& text, LineEnd end)
{
    fputs(FormatTraceLine({ms, side, text, end}).c_str(), m_out);
    fflush(m_out);
}
