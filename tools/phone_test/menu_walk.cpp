#include "tools/phone_test/menu_walk.h"

#include <algorithm>
#include <deque>

#include "tools/phone_test/shown_text.h"

namespace {

// What tells a text from another: all before its first digit.
std::wstring Lasting(const std::wstring& text)
{
    return text.substr(0, text.find_first_of(L"0123456789"));
}

bool SameTexts(const std::vector<std::wstring>& items, const std::vector<std::wstring>& others)
{
    return items.size() == others.size() &&
           std::equal(items.begin(), items.end(), others.begin(),
                      [](const std::wstring& a, const std::wstring& b) {
                          return Lasting(a) == Lasting(b);
                      });
}

bool Any(const std::vector<bool>& flags)
{
    return std::find(flags.begin(), flags.end(), true) != flags.end();
}

}  // namespace

int MenuWalk::Find(const std::wstring& title, const std::vector<std::wstring>& items) const
{
    const auto found = std::find_if(m_menus.begin(), m_menus.end(), [&](const Menu& menu) {
        return Lasting(menu.title) == Lasting(title) && SameTexts(menu.items, items);
    });
    return found == m_menus.end() ? -1 : static_cast<int>(found - m_menus.begin());
}

// The menu known as this one, or a new one; met now, if it was forgotten.
int MenuWalk::Met(const std::wstring& title, const std::vector<std::wstring>& items)
{
    int menu = Find(title, items);
    if (menu < 0) {
        m_menus.push_back({});
        menu = static_cast<int>(m_menus.size()) - 1;
        Update(menu, title, items);
    }
    m_menus[menu].title = title;
    m_menus[menu].forgotten = false;
    return menu;
}

// The items it keeps keep their picks and where they led; so does a pick
// from it that awaits its answer.
void MenuWalk::Update(int menu, const std::wstring& title, const std::vector<std::wstring>& items)
{
    const Menu was = m_menus[menu];
    Menu& now = m_menus[menu];
    now = {title, items, std::vector<bool>(items.size()), std::vector<bool>(items.size()),
           std::vector<int>(items.size(), -1), false};
    std::vector<bool> taken(was.items.size());
    const int pending = menu == m_pickedFrom ? m_pending : -1;
    if (pending >= 0)
        m_pending = -1;
    for (size_t item = 0; item < items.size(); ++item) {
        now.avoided[item] = MatchesAnyPattern(m_avoided, items[item]);
        for (size_t at = 0; at < was.items.size(); ++at) {
            if (taken[at] || Lasting(was.items[at]) != Lasting(items[item]))
                continue;
            taken[at] = true;
            now.picked[item] = was.picked[at];
            now.leadsTo[item] = was.leadsTo[at];
            if (static_cast<int>(at) == pending)
                m_pending = static_cast<int>(item);
            break;
        }
    }
}

void MenuWalk::Shown(const std::wstring& title, const std::vector<std::wstring>& items)
{
    const int menu = Met(title, items);
    if (m_pending >= 0)
        m_menus[m_pickedFrom].leadsTo[m_pending] = menu;
    m_pending = -1;
    m_shown = menu;
}

void MenuWalk::Replaced(const std::wstring& title, const std::vector<std::wstring>& items)
{
    const int was = m_shown;
    if (was >= 0 && Find(title, items) < 0 && Lasting(title) == Lasting(m_menus[was].title)) {
        Update(was, title, items);
        return;
    }
    m_shown = Met(title, items);
    if (was >= 0 && was != m_shown && !Any(m_menus[was].picked))
        Forget(was, m_shown);
}

// Whatever led to it leads to `instead`.
void MenuWalk::Forget(int menu, int instead)
{
    m_menus[menu].forgotten = true;
    for (Menu& other : m_menus)
        std::replace(other.leadsTo.begin(), other.leadsTo.end(), menu, instead);
}

int MenuWalk::FirstUnpicked(int menu) const
{
    const Menu& shown = m_menus[menu];
    for (size_t item = 0; item < shown.items.size(); ++item) {
        if (!shown.picked[item] && !shown.avoided[item])
            return static_cast<int>(item);
    }
    return -1;
}

// Breadth first over the ways known, each menu remembering the item of the
// shown menu that starts the way to it.
int MenuWalk::NextPick() const
{
    if (m_shown < 0)
        return -1;
    if (FirstUnpicked(m_shown) >= 0)
        return FirstUnpicked(m_shown);
    std::vector<int> firstStep(m_menus.size(), -1);
    std::deque<int> queue = {m_shown};
    std::vector<bool> seen(m_menus.size());
    seen[m_shown] = true;
    while (!queue.empty()) {
        const int menu = queue.front();
        queue.pop_front();
        if (FirstUnpicked(menu) >= 0)
            return firstStep[menu];
        const std::vector<int>& leadsTo = m_menus[menu].leadsTo;
        for (size_t item = 0; item < leadsTo.size(); ++item) {
            const int next = leadsTo[item];
            if (next < 0 || seen[next])
                continue;
            seen[next] = true;
            firstStep[next] = menu == m_shown ? static_cast<int>(item) : firstStep[menu];
            queue.push_back(next);
        }
    }
    return -1;
}

void MenuWalk::Picked(int item)
{
    m_menus[m_shown].picked[item] = true;
    m_pickedFrom = m_shown;
    m_pending = item;
    ++m_picks;
}

size_t MenuWalk::MenusMet() const
{
    return static_cast<size_t>(std::count_if(m_menus.begin(), m_menus.end(),
                                             [](const Menu& menu) { return !menu.forgotten; }));
}

// Of the items of the menus met: those avoided (`avoided`), or the others
// that are picked (or all of those, `everyOther`).
size_t MenuWalk::Count(bool avoided, bool everyOther) const
{
    size_t count = 0;
    for (const Menu& menu : m_menus) {
        for (size_t item = 0; item < menu.items.size() && !menu.forgotten; ++item)
            count += avoided ? menu.avoided[item]
                             : !menu.avoided[item] && (everyOther || menu.picked[item]);
    }
    return count;
}

std::vector<UnreachedItems> MenuWalk::NotReached() const
{
    std::vector<UnreachedItems> unreached;
    for (const Menu& menu : m_menus) {
        UnreachedItems missed = {menu.title, {}};
        for (size_t item = 0; item < menu.items.size() && !menu.forgotten; ++item) {
            if (!menu.picked[item] && !menu.avoided[item])
                missed.items.push_back(menu.items[item]);
        }
        if (!missed.items.empty())
            unreached.push_back(missed);
    }
    return unreached;
}
