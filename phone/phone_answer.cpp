#include "phone/phone_answer.h"

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
