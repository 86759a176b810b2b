#include "phone/phone_answer.h"

#include <string.h>

#include "link/menu_protocol.h"

PhoneAnswer AnswerAccessoryLine(const char* line, CharacterSet inUse)
{
    CharacterSet declared = inUse;
    const LineKind kind = ReadLineKind(line, &declared);
    PhoneAnswer answer = {kind, nullptr, inUse};
    if (kind == kSetInUseQuestion)
        answer.information = SetInUseAnswer(inUse);
    else if (kind == kSetsSupportedQuestion)
        answer.information = kSetsSupportedAnswer;
    else if (kind == kSetDeclaration)
        answer.setAfter = declared;
    return answer;
}

KeptText KeepLineText(const char* line, const PhoneAnswer& answer, wchar_t* kept)
{
    if (answer.kind == kSubmenuLine) {
        WidenCommandLine(answer.setAfter, line, kept, kMenuLineSize);
        return KeptText::kSubmenuLine;
    }
    if (answer.kind != kEntryLine)
        return KeptText::kNothing;
    const char* name = line + strlen(kEntryPrefix);
    const size_t length = EntryNameLength(name);
    if (length == 0)
        return KeptText::kEmptyName;
    WidenText(answer.setAfter, name, length, kept, kMenuLineSize);
    return KeptText::kEntryName;
}
