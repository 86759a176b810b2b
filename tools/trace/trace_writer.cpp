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
    return Found(ms, m_reading.Read(bytes, end));
}

void TraceWriter::Phone(uint64_t ms, const std::string& bytes, LineEnd end)
{
    Write(ms, "phone", bytes, end);
}

std::vector<Finding> TraceWriter::News(uint64_t ms, LinkNews news)
{
    return Relayed(NewsLine(ms, news));
}

std::vector<Finding> TraceWriter::Relayed(const TraceLine& line)
{
    std::vector<Finding> found;
    LinkNews news;
    const bool isNews = ReadNews(line, &news);
    if (isNews && (news == LinkNews::kDeviceGone || news == LinkNews::kDeviceGoneForGood ||
                   news == LinkNews::kDeviceNowATerminal))
        found = Found(line.ms, m_reading.DeviceWent());
    else if (isNews && news == LinkNews::kPortClosed)
        found = Found(line.ms, m_reading.ProgramLeft());
    m_put(FormatTraceLine(line));
    return found;
}

std::vector<Finding> TraceWriter::Summary(uint64_t ms)
{
    std::vector<Finding> found = Found(ms, m_reading.End());
    for (const std::string& line : m_reading.Summary())
        Write(ms, "summary", line, LineEnd::kCr);
    return found;
}

// Writes the findings, and hands them on.
std::vector<Finding> TraceWriter::Found(uint64_t ms, std::vector<Finding> findings)
{
    for (const Finding& finding : findings)
        Write(ms, "finding", finding.text, LineEnd::kCr);
    return findings;
}

void TraceWriter::Write(uint64_t ms, const char* side, const std::string& text, LineEnd end)
{
    m_put(FormatTraceLine({ms, side, text, end}));
}
