// A submenu command built from any owner's texts, the way the link builds
// it, must fit one protocol line, keep its resend fields findable, and read
// back in the list as the same title and items, in whichever character set
// the texts are read.
#include <stdint.h>
#include <string.h>
#include <wchar.h>

#include <algorithm>
#include <string>
#include <vector>

#include "phone/line_text.h"
#include "phone/submenu_line.h"
#include "link/menu_protocol.h"

namespace {

// As the list shows it: a quote the text encodes stands as an apostrophe.
std::wstring Shown(CharacterSet set, const std::string& text)
{
    wchar_t wide[kSubmenuTextSize];
    WidenText(set, text.c_str(), text.size(), wide, kSubmenuTextSize);
    std::wstring shown = wide;
    std::replace(shown.begin(), shown.end(), L'"', L'\'');
    return shown;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Texts separated by byte 1: the title, then the items, each at most
    // what the owner's 256-byte buffer holds.
    std::vector<std::string> texts(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 1)
            texts.emplace_back();
        else if (data[i] != 0 && texts.back().size() < 255)
            texts.back() += static_cast<char>(data[i]);
    }
    for (std::string& text : texts)
        CleanMenuText(&text[0]);
    const std::string command = kSubmenuPrefix + texts[0] + kSubmenuTitleEnd;
    const int selection = size % 3;
    const size_t fixed = command.size() + 2;
    std::string items;
    int count = 0;
    for (size_t i = 1; i < texts.size(); ++i, ++count) {
        const size_t before = items.size();
        AppendItemField(items, texts[i].c_str());
        if (!ItemsFitLine(fixed, items.size())) {
            items.resize(before);
            break;
        }
    }
    std::string line = command;
    AppendSubmenuFields(line, selection, count, items);
    size_t fieldsStart = 0;
    if (line.size() > kMaxProtocolLine ||
        !FindResendFields(line, &fieldsStart) || fieldsStart != command.size())
        __builtin_trap();

    const CharacterSet set = static_cast<CharacterSet>(size % 4);
    std::vector<wchar_t> wide(line.size() + 1);
    WidenCommandLine(set, line.c_str(), wide.data(), wide.size());
    wchar_t text[kSubmenuTextSize];
    const wchar_t* afterTitle = ReadSubmenuTitle(wide.data(), text);
    int readSelection = 0, readCount = 0;
    if (afterTitle == nullptr || Shown(set, texts[0]) != text ||
        !ReadSubmenuNumbers(afterTitle, &readSelection, &readCount) ||
        readSelection != selection || readCount != count)
        __builtin_trap();
    for (int item = 1; item <= count; ++item) {
        if (!ReadSubmenuItem(&afterTitle, text) || Shown(set, texts[item]) != text)
            __builtin_trap();
    }
    return 0;
}
