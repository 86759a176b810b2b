// The walk through an accessory's menus: which item to pick next so that
// every item of every menu met gets picked, and which were never reached.
// A menu is known by its title and its items, each from its first digit on
// taken as a value that changes (a slide's count and caption, a time, a
// level), so that "Slide 3/12 Bridge" and "Slide 4/12 Museum" are one menu,
// and "Lamps" and "Fans" with the same items two. Items that match a
// pattern to avoid are never picked. Pure bookkeeping: the caller picks and
// reports what the phone shows.
#pragma once

#include <stddef.h>

#include <string>
#include <utility>
#include <vector>

struct UnreachedItems {
    std::wstring title;  // as the menu was last shown
    std::vector<std::wstring> items;
};

class MenuWalk {
public:
    // Items matching one of `avoided` (MatchesPattern) are never picked.
    explicit MenuWalk(std::vector<std::wstring> avoided = {}) : m_avoided(std::move(avoided)) {}

    // The phone shows this menu now: the first, or where the last pick led
    // (the same menu when the pick got no answer).
    void Shown(const std::wstring& title, const std::vector<std::wstring>& items);
    // A menu that came without a pick (or before the accessory read it)
    // takes the place of the one shown: with the same title, it is that
    // menu's new state (a list that filled in, a value that changed), the
    // picks of the items it keeps kept; with another, a menu of its own.
    // The one it replaces is forgotten if nothing was picked from it: no one
    // could have picked there. A pick awaiting its answer stays so.
    void Replaced(const std::wstring& title, const std::vector<std::wstring>& items);
    // The item (from 0) of the menu shown to pick next: one not picked yet,
    // or the first step of the shortest known way to a menu that has one;
    // -1 when no such menu can be reached.
    int NextPick() const;
    void Picked(int item);

    int Picks() const { return m_picks; }
    size_t MenusMet() const;
    size_t ItemsMet() const { return Count(false, true); }  // but those avoided
    size_t ItemsReached() const { return Count(false, false); }
    size_t ItemsAvoided() const { return Count(true, false); }
    // The menus met with items never picked, in the order they were met.
    std::vector<UnreachedItems> NotReached() const;

private:
    struct Menu {
        std::wstring title;
        std::vector<std::wstring> items;
        std::vector<bool> picked;
        std::vector<bool> avoided;
        std::vector<int> leadsTo;  // the menu each item led to when last picked; -1 before
        bool forgotten = false;
    };
    int Find(const std::wstring& title, const std::vector<std::wstring>& items) const;
    int Met(const std::wstring& title, const std::vector<std::wstring>& items);
    void Update(int menu, const std::wstring& title, const std::vector<std::wstring>& items);
    void Forget(int menu, int instead);
    int FirstUnpicked(int menu) const;
    size_t Count(bool avoided, bool everyOther) const;

    const std::vector<std::wstring> m_avoided;
    std::vector<Menu> m_menus;
    int m_shown = -1;    // the menu the phone shows
    int m_pickedFrom = -1;  // the menu of the last pick
    int m_pending = -1;     // the item picked there, until the next menu is shown
    int m_picks = 0;
};
