#include "tools/phone_test/menu_walk.h"

#include <algorithm>
#include <deque>

void MenuWalk::Shown(const std::wstring& title, const std::vector<std::wstring>& items)
{
    auto found = std::find_if(m_menus.begin(), m_menus.end(),
                              [&](const Menu& menu) { return menu.items == items; });
    if (found == m_menus.end()) {
        m_menus.push_back(
            {title, items, std::vector<bool>(items.size()), std::vector<int>(items.size(), -1)});
        found = m_menus.end() - 1;
    }
    found->title = title;
    const int menu = static_cast<int>(found - m_menus.begin());
    if (m_pending >= 0)
        m_menus[m_shown].leadsTo[m_pending] = menu;
    m_pending = -1;
    m_shown = menu;
}

int MenuWalk::FirstUnpicked(int menu) const
{
    const std::vector<bool>& picked = m_menus[menu].picked;
    const auto unpicked = std::find(picked.begin(), picked.end(), false);
    return unpicked == picked.end() ? -1 : static_cast<int>(unpicked - picked.begin());
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
    m_pending = item;
    ++m_picks;
}

size_t MenuWalk::ItemsMet() const
{
    size_t items = 0;
    for (const Menu& menu : m_menus)
        items += menu.items.size();
    return items;
}

size_t MenuWalk::ItemsReached() const
{
    size_t reached = 0;
    for (const Menu& menu : m_menus)
        reached += std::count(menu.picked.begin(), menu.picked.end(), true);
    return reached;
}

std::vector<UnreachedItems> MenuWalk::NotReached() const
{
    std::vector<UnreachedItems> unreached;
    for (const Menu& menu : m_menus) {
        UnreachedItems missed = {menu.title, {}};
        for (size_t item = 0; item < menu.items.size(); ++item) {
            if (!menu.picked[item])
                missed.items.push_back(menu.items[item]);
        }
        if (!missed.items.empty())
            unreached.push_back(missed);
    }
    return unreached;
}
