#include "app/remote_control.h"

#include "phone/phone_answer.h"
#include "app/remote_state.h"
#include "choicelist/choice_list.h"
#include "choicelist/choice_list_contents.h"
#include "link/menu_protocol.h"
#include "settings/port_setting.h"

namespace {

constexpr wchar_t kCaption[] = L"Remote";

// The set the accessory last declared for its texts; back to the default
// when the user picks a port, kept while the same device drops and returns.
CharacterSet g_characterSet = kLatin1;
// Set from a port pick until its new link is open. The old link's lines are
// answered meanwhile, but belong to the port being left: they change
// nothing, nor does its device going or coming. User-interface thread only.
bool g_leavingPort;

void ReleaseLink()
{
    g_link->Close();
    delete g_link;
    g_link = nullptr;
    g_deviceOpen = 0;
}

void SendIndication(int index)
{
    if (g_link == nullptr)
        return;
    g_link->WriteLine(IndicationCommand(index + 1).c_str());
}

// The lines that change what the phone shows: the accessory's entry name
// titles the list (an empty one hides the title), a submenu fills it.
void TakeLine(HWND mainWindow, const char* line, const PhoneAnswer& answer)
{
    g_characterSet = answer.setAfter;
    const HWND list = GetDlgItem(mainWindow, IDC_CHOICE_LIST);
    switch (KeepLineText(line, answer, g_menuLine)) {
    case KeptText::kEntryName:
        ChoiceListShowHeader(list, TRUE);
        ChoiceListSetTitle(list, g_menuLine);
        break;
    case KeptText::kEmptyName: ChoiceListShowHeader(list, FALSE); break;
    case KeptText::kSubmenuLine:
        g_menuMode = 1;
        FillChoiceList(mainWindow);
        break;
    case KeptText::kNothing: break;
    }
}

// A phone accepts every line; a question about the character set gets its
// information line before the OK. The old port's lines, while a pick is
// leaving it, are answered and change nothing.
void AnswerLine(HWND mainWindow, const char* line)
{
    if (line == nullptr)
        return;
    const PhoneAnswer answer = AnswerAccessoryLine(line, g_characterSet);
    if (answer.information != nullptr)
        g_link->WriteLine(answer.information);
    else if (!g_leavingPort)
        TakeLine(mainWindow, line, answer);
    g_link->WriteLine(kAcceptance);
}

void TakeDeviceState(HWND mainWindow, int open)
{
    g_deviceOpen = open;
    ShowDeviceState(mainWindow);
}

// The old link stays open until the user has read which port comes next.
void ChoosePort(HWND mainWindow, int port)
{
    wchar_t text[64];
    wsprintfW(text, L"Using %s%d: for connections.", DevicePrefix(port), port % 10);
    g_leavingPort = true;
    MessageBoxW(mainWindow, text, kCaption, MB_ICONINFORMATION | MB_SETFOREGROUND);
    g_characterSet = kLatin1;
    WritePortSetting(kPortSettingName, port);
    Connect(mainWindow);
    g_leavingPort = false;
    FillChoiceList(mainWindow);
}

}  // namespace

// The stored port reads 0 while the device opens, so that a program ended
// during an open starts the next time with no port. A device that is not
// there yet is tried again by the link, off this thread, until it opens or
// another port is picked.
void Connect(HWND mainWindow)
{
    if (g_link != nullptr)
        ReleaseLink();
    const int port = ReadPortSetting(kPortSettingName);
    if (port < 1)
        return;
    WritePortSetting(kPortSettingName, 0);
    wchar_t device[16];
    wsprintfW(device, L"%s%d:", DevicePrefix(port), port % 10);
    g_link = CreateAccessoryLink(device, mainWindow, WM_LINK_NOTIFY);
    if (g_link == nullptr)
        return;
    g_deviceOpen = g_link->Open(nullptr);
    WritePortSetting(kPortSettingName, port);
}

LRESULT OnLinkNotify(HWND mainWindow, WPARAM wParam, LPARAM lParam)
{
    if (g_link == nullptr)
        return 1;
    switch (HIWORD(wParam)) {
    case LN_LINE: AnswerLine(mainWindow, reinterpret_cast<const char*>(lParam)); break;
    case LN_DEVICE_STATE:
        if (!g_leavingPort)
            TakeDeviceState(mainWindow, LOWORD(wParam) != 0);
        break;
    }
    return 1;
}

void OnPick(HWND mainWindow, int index)
{
    if (g_menuMode != 0)
        SendIndication(index);
    else
        ChoosePort(mainWindow, index);
}
