#include "tests/support/list_parent.h"

#include <commctrl.h>

#include <string>

#include "choicelist/choice_list.h"

namespace {

constexpr wchar_t kParentClass[] = L"ChoiceListParent";

void RegisterParentClass(WNDPROC windowProc)
{
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kParentClass;
    RegisterClassW(&windowClass);
}

const char* KindName(ParentEventKind kind)
{
    switch (kind) {
    case kPick: return "pick";
    case kKeyDown: return "LVN_KEYDOWN";
    case kActivate: return "LVN_ITEMACTIVATE";
    }
    return "?";
}

std::string Describe(ParentEventKind kind, LPARAM value, LRESULT result)
{
    return std::string("{") + KindName(kind) + ", " + std::to_string(value) + ", " +
           std::to_string(result) + "}";
}

}  // namespace

ListParent::ListParent() : m_window(nullptr), m_list(nullptr)
{
    RegisterParentClass(WindowProc);
    RECT frame = {0, 0, 240, 320};
    AdjustWindowRectEx(&frame, WS_POPUP, FALSE, 0);
    m_window = CreateWindowExW(0, kParentClass, L"", WS_POPUP | WS_CLIPCHILDREN, 0, 0,
                               frame.right - frame.left, frame.bottom - frame.top, nullptr,
                               nullptr, GetModuleHandleW(nullptr), this);
    RECT client;
    GetClientRect(m_window, &client);
    m_list = CreateChoiceList(m_window, client, IDC_CHOICE_LIST);
}

ListParent::~ListParent()
{
    DestroyWindow(m_window);
}

void ListParent::AddItems(int count)
{
    for (int i = 0; i < count; ++i) {
        const std::wstring text = L"Item " + std::to_wstring(i);
        ChoiceListAddItem(m_list, text.c_str(), -1);
    }
}

void ListParent::Key(WPARAM key)
{
    SendMessageW(m_list, WM_KEYDOWN, key, 1);
}

LRESULT CALLBACK ListParent::WindowProc(HWND window, UINT message, WPARAM wParam,
                                        LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<ListParent*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self != nullptr && message == WM_COMMAND) {
        self->m_events.push_back({kPick, lParam, 0, wParam});
        return 0;
    }
    if (self != nullptr && message == WM_NOTIFY && lParam != 0 &&
        reinterpret_cast<const NMHDR*>(lParam)->idFrom == IDC_CHOICE_LIST) {
        const LRESULT result = self->OnNotify(reinterpret_cast<const NMHDR*>(lParam));
        if (result != 0)
            return result;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT ListParent::OnNotify(const NMHDR* header)
{
    const LRESULT result = ChoiceListOnNotify(header);
    if (header->code == LVN_KEYDOWN)
        m_events.push_back(
            {kKeyDown, reinterpret_cast<const NMLVKEYDOWN*>(header)->wVKey, result, 0});
    else if (header->code == LVN_ITEMACTIVATE)
        m_events.push_back({kActivate, 0, result, 0});
    return result;
}

void CheckParentEvents(const std::vector<ParentEvent>& received,
                       const std::vector<ExpectedEvent>& expected, const char* file,
                       int line)
{
    testing::ScopedTrace trace(file, line, "parent events expected here");
    const size_t common = received.size() < expected.size() ? received.size() : expected.size();
    for (size_t i = 0; i < common; ++i) {
        const ParentEvent& got = received[i];
        const ExpectedEvent& want = expected[i];
        EXPECT_TRUE(got.kind == want.kind && got.value == want.value &&
                    got.result == want.result)
            << "event " << i << ": expected " << Describe(want.kind, want.value, want.result)
            << ", got " << Describe(got.kind, got.value, got.result);
        if (got.kind == kPick) {
            EXPECT_EQ(kPickCommand, got.wParam) << "event " << i;
        }
    }
    for (size_t i = common; i < received.size(); ++i)
        ADD_FAILURE() << "event " << i << " not expected: "
                      << Describe(received[i].kind, received[i].value, received[i].result);
    for (size_t i = common; i < expected.size(); ++i)
        ADD_FAILURE() << "event " << i << " missing: "
                      << Describe(expected[i].kind, expected[i].value, expected[i].result);
}
