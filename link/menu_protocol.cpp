#include "link/menu_protocol.h"

#include <limits.h>
#include <string.h>

namespace {

constexpr size_t kIndicationNumberOffset = 7;  // past "*EAMI: " or "*EAII: "
constexpr int kInputIndicationKind = 5;
constexpr char kTrailer[] = ",1";
constexpr size_t kCountDigitsRoom = 4;  // a count, and its sign, below 10000

bool IsAsciiSpace(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// atoi's reading without its undefined overflow: blanks, a sign, digits,
// saturated at the int range.
int ReadNumber(const char* text)
{
    while (IsAsciiSpace(*text))
        ++text;
    const bool negative = *text == '-';
    if (*text == '-' || *text == '+')
        ++text;
    long long value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 + (*text - '0');
        if (value > INT_MAX)
            return negative ? INT_MIN : INT_MAX;
    }
    return static_cast<int>(negative ? -value : value);
}

}  // namespace

std::string RegistrationCommand(const char* menuName)
{
    std::string command = kEntryPrefix;
    command += menuName;
    command += "\"\r";
    return command;
}

void CleanMenuText(char* text)
{
    for (; *text; ++text) {
        if (*text == '\r' || *text == '\n' || *text == '\t')
            *text = ' ';
        else if (*text == '"')
            *text = '\'';
    }
}

bool FindResendFields(const std::string& command, size_t* fieldsStart)
{
    size_t at = 0;
    for (const char delimiter : {'"', '"', ',', ','}) {
        at = command.find(delimiter, at);
        if (at == std::string::npos)
            return false;
        ++at;
    }
    *fieldsStart = at;
    return true;
}

void AppendItemField(std::string& items, const char* text)
{
    items += ",\"";
    items += text;
    items += '"';
}

bool ItemsFitLine(size_t fixedLength, size_t itemsLength)
{
    return fixedLength + kCountDigitsRoom + itemsLength + strlen(kTrailer) <=
           kMaxProtocolLine;
}

void AppendSubmenuFields(std::string& command, int selection, int count,
                         const std::string& items)
{
    command += std::to_string(selection);
    command += ',';
    command += std::to_string(count);
    command += items;
    command += kTrailer;
}

std::string IndicationCommand(int item)
{
    return "*EAMI: " + std::to_string(item);
}

bool IsIndication(const char* line)
{
    return strncmp(line, "*EAMI", 5) == 0 || strncmp(line, "*EAII", 5) == 0;
}

int IndicationItem(const char* line)
{
    if (!IsIndication(line) || strlen(line) <= kIndicationNumberOffset)
        return 0;
    const char* number = line + kIndicationNumberOffset;
    if (line[3] == 'M')
        return ReadNumber(number);
    const char* comma = strchr(number, ',');
    if (ReadNumber(number) != kInputIndicationKind || comma == nullptr)
        return 0;
    return ReadNumber(comma + 1);
}
