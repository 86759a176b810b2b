#include "tools/trace/trace_writer.h"

TraceWriter::TraceWriter(FILE* out)
    : m_put([out](const std::string& line) {
          fputs(line.c_str(), out);
          fflush(out);
      })
{
}

std::vector<Finding> TraceWriter::Accessory(uint64_t ms, const std::string& bytes, LineEnd end)
{
    Write(ms, "accessory", bytes, end);
    std::vector<Finding> findings = m_reading.Read(bytes, end);
    for (const Finding& finding : findings)
        Write(ms, "finding", finding.text, LineEnd::kCr);
    return findings;
}

void TraceWriter::Phone(uint64_t ms, const std::string& bytes, LineEnd end)
{
    Write(ms, "phone", bytes, end);
}

void TraceWriter::News(uint64_t ms, LinkNews news)
{
    Relayed(NewsLine(ms, news));
}

void TraceWriter::Relayed(const TraceLine& line)
{
    m_put(FormatTraceLine(line));
    LinkNews news;
    if (!ReadNews(line, &news))
        return;
    if (news == LinkNews::kDeviceGone || news == LinkNews::kDeviceGoneForGood ||
        news == LinkNews::kDeviceNowATerminal)
        m_reading.DeviceWent();
    else if (news == LinkNews::kPortClosed)
        m_reading.ProgramLeft();
}

void TraceWriter::Summary(uint64_t ms)
{
    for (const std::string& line : m_reading.Summary())
        Write(ms, "summary", line, LineEnd::kCr);
}

void TraceWriter::Write(uint64_t ms, const char* side, const std::string& text, LineEnd end)
{
    m_put(FormatTraceLine({ms, side, text, end}));
}
