#include "tools/phone_test/headless_phone.h"

#include "link/line_framing.h"
#include "phone/phone_answer.h"
#include "phone/submenu_line.h"

namespace {

// The list as ShowSubmenuLine fills it; the selection is the list's own
// business and changes nothing a pick names.
class ListRecord : public SubmenuShower {
public:
    explicit ListRecord(ShownMenu* menu) : m_menu(menu) {}
    void ShowTitle(const wchar_t* title) override { m_menu->title = title; }
    void AddItem(const wchar_t* item) override { m_menu->items.push_back(item); }
    void SelectItem(int) override {}

private:
    ShownMenu* m_menu;
};

}  // namespace

// The program's own steps for a line: the answer, then what the line
// changes, then the acceptance. An empty line, which the phone's framing
// passes over, gets nothing.
std::vector<std::string> HeadlessPhone::Take(const std::string& raw, LineEnd end,
                                             std::vector<Shown>* shown)
{
    std::string line = raw;
    line.resize(CleanBatch(&line[0], line.size()));
    if (line.empty() || end == LineEnd::kEnd)
        return {};
    const PhoneAnswer answer = AnswerAccessoryLine(line.c_str(), m_set);
    std::vector<std::string> written;
    if (answer.information != nullptr)
        written.push_back(answer.information);
    else
        TakeLine(line.c_str(), answer, shown);
    written.push_back(kAcceptance);
    return written;
}

void HeadlessPhone::TakeLine(const char* line, const PhoneAnswer& answer,
                             std::vector<Shown>* shown)
{
    m_set = answer.setAfter;
    wchar_t kept[kMenuLineSize];
    switch (KeepLineText(line, answer, kept)) {
    case KeptText::kEntryName:
        m_header = kept;
        shown->push_back({Shown::kEntry, kept, {}});
        break;
    case KeptText::kEmptyName: shown->push_back({Shown::kEntry, L"", {}}); break;
    case KeptText::kSubmenuLine: {
        ShownMenu menu = {m_header, {}};
        ListRecord list(&menu);
        ShowSubmenuLine(kept, list);
        m_header = menu.title;
        shown->push_back({Shown::kMenu, {}, menu});
        break;
    }
    case KeptText::kNothing: break;
    }
}
