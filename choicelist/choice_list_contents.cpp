#include "choicelist/choice_list_contents.h"

#include "app/remote_state.h"
#include "choicelist/choice_list.h"
#include "phone/submenu_line.h"
#include "settings/port_setting.h"

namespace {

constexpr int kPortCount = 20;
constexpr wchar_t kPortTitle[] = L"Select Port...";

// The configured port is marked with its device's state.
void FormatPortEntry(int port, int storedPort, wchar_t* entry)
{
    const wchar_t* suffix = L"";
    if (port == storedPort)
        suffix = g_deviceOpen ? L" - OK" : L" - Error";
    wsprintfW(entry, L"%s%d:%s", DevicePrefix(port), port % 10, suffix);
}

void FillWithPorts(HWND list)
{
    ChoiceListSetTitle(list, kPortTitle);
    ChoiceListShowHeader(list, TRUE);
    const int storedPort = ReadPortSetting(kPortSettingName);
    wchar_t entry[kSubmenuTextSize];
    for (int port = 0; port < kPortCount; ++port) {
        FormatPortEntry(port, storedPort, entry);
        ChoiceListAddItem(list, entry, -1);
    }
    if (ChoiceListCount(list) > 0)
        ChoiceListSelect(list, 0);
}

// A line that fails a step leaves the list empty; the header changes only
// once the title could be read.
class ListShower : public SubmenuShower {
public:
    explicit ListShower(HWND list) : m_list(list) {}
    void ShowTitle(const wchar_t* title) override
    {
        ChoiceListSetTitle(m_list, title);
        ChoiceListShowHeader(m_list, TRUE);
    }
    void AddItem(const wchar_t* item) override { ChoiceListAddItem(m_list, item, -1); }
    void SelectItem(int index) override { ChoiceListSelect(m_list, index); }

private:
    HWND m_list;
};

}  // namespace

// The list is rebuilt with its redraw off: otherwise every item added would
// update its scroll bar and repaint, which under a window system costs far
// more than the item. The columns are fitted once the scroll bar is settled.
void FillChoiceList(HWND mainWindow)
{
    const HWND list = GetDlgItem(mainWindow, IDC_CHOICE_LIST);
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    ChoiceListClear(list);
    if (g_menuMode == 0)
        FillWithPorts(list);
    else {
        ListShower shower(list);
        ShowSubmenuLine(g_menuLine, shower);
    }
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    ChoiceListFitColumns(list);
}

void ShowDeviceState(HWND mainWindow)
{
    const HWND list = GetDlgItem(mainWindow, IDC_CHOICE_LIST);
    if (g_menuMode != 0) {
        ChoiceListEnable(list, g_deviceOpen);
        return;
    }
    const int storedPort = ReadPortSetting(kPortSettingName);
    if (storedPort < 0 || storedPort >= kPortCount)
        return;
    wchar_t entry[kSubmenuTextSize];
    FormatPortEntry(storedPort, storedPort, entry);
    ChoiceListSetText(list, storedPort, entry);
}
