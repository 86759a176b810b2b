#include "bench/refill_profile.h"

#include <windows.h>
#include <commctrl.h>

#include "app/remote_state.h"
#include "choicelist/choice_list.h"
#include "choicelist/choice_list_contents.h"
#include "testbed/wait.h"

namespace {

void Pump()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&message);
}

}  // namespace

// The list as the program has it: a shown 240x294 window on the display,
// the choice list over its client area, the stored line refilled as a
// submenu arrives. Each step of the refill is timed on its own (the steps
// add up to the whole, but for the reading of the stored line), and the
// paint that follows it.
std::vector<RefillStep> ProfileRefill(const wchar_t* line, int rounds)
{
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.lpszClassName = L"RefillProfile";
    RegisterClassW(&windowClass);
    const HWND window = CreateWindowExW(0, L"RefillProfile", L"", WS_POPUP | WS_VISIBLE, 0, 0,
                                        240, 294, nullptr, nullptr, nullptr, nullptr);
    RECT client;
    GetClientRect(window, &client);
    const HWND list = CreateChoiceList(window, client, IDC_CHOICE_LIST);
    g_menuMode = 1;
    wcscpy(g_menuLine, line);
    Pump();

    std::vector<RefillStep> steps = {
        {"whole refill"}, {"  redraw off"}, {"  clear"},     {"  title and header"},
        {"  20 items added"}, {"  select"}, {"  redraw on"}, {"  fit columns"},
        {"paint after it"}};
    const size_t paint = steps.size() - 1;
    for (int round = 0; round < rounds; ++round) {
        double start = NowMs();
        FillChoiceList(window);
        steps[0].ms.push_back(NowMs() - start);
        start = NowMs();
        UpdateWindow(list);
        steps[paint].ms.push_back(NowMs() - start);
        Pump();

        // The same work, step by step, in the same order, so that the steps
        // add up to the whole.
        const double marks[] = {
            NowMs(),
            (SendMessageW(list, WM_SETREDRAW, FALSE, 0), NowMs()),
            (ChoiceListClear(list), NowMs()),
            (ChoiceListSetTitle(list, L"Title"), ChoiceListShowHeader(list, TRUE), NowMs()),
            ([&] {
                for (int item = 0; item < 20; ++item)
                    ChoiceListAddItem(list, L"An item of the menu", -1);
            }(), NowMs()),
            (ChoiceListSelect(list, 0), NowMs()),
            (SendMessageW(list, WM_SETREDRAW, TRUE, 0), NowMs()),
            (ChoiceListFitColumns(list), NowMs()),
        };
        for (size_t step = 1; step < paint; ++step)
            steps[step].ms.push_back(marks[step] - marks[step - 1]);
        UpdateWindow(list);
        Pump();
    }
    DestroyWindow(window);
    return steps;
}
