// The walk through an accessory's menus: which item to pick next so that
// every item of every menu met gets picked, and which were never reached.
// A menu is known by its items, so that a title that counts slides is one
// menu. Pure bookkeeping: the caller picks and reports what the phone shows.
#pragma once

#include <stddef.h>

#include <string>
#include <vector>

struct UnreachedItems {
    std::wstring title;  // as the menu was last shown
    std::vector<std::wstring> items;
};

class MenuWalk {
public:
    // The phone shows this menu now; after a pick, it is where the pick led
    // (the same menu when the pick got no answer).
    void Shown(const std::wstring& title, const std::vector<std::wstring>& items);
    // The item (from 0) of the menu shown to pick next: one not picked yet,
    // or the first step of the shortest known way to a menu that has one;
    // -1 when no such menu can be reached.
    int NextPick() const;
    void Picked(int item);

    int Picks() const { return m_picks; }
    size_t MenusMet() const { return m_menus.size(); }
    size_t ItemsMet() const;
    size_t ItemsReached() const;
    // The menus met with items never picked, in the order they were met.
    std::vector<UnreachedItems> NotReached() const;

private:
    struct Menu {
        std::wstring title;
        std::vector<std::wstring> items;
        std::vector<bool> picked;
        std::vector<int> leadsTo;  // the menu each item led to when last picked; -1 before
    };
    int FirstUnpicked(int menu) const;

    std::vector<Menu> m_menus;
    int m_shown = -1;    // the menu the phone shows
    int m_pending = -1;  // the item picked from it, until the next menu is shown
    int m_picks = 0;
};
