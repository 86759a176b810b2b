// The demo accessory's state: a slide show remote-controlled through two
// menus. Pure state, no handles.
#pragma once

#include <string>

enum SlideShowMenu {
    kSlidesMenu = 1,    // Next, Back, First, Last, Settings
    kSettingsMenu = 2,  // Loop, Captions, Back to slides
};

// What a pick asks the link to show next.
enum NextMenu {
    kResendWithFreshTitle = -1,
    kCurrentMenuAgain = 0,
};

class SlideShow {
public:
    static constexpr int kSlideCount = 12;

    bool HasMenu(int menu) const;
    std::string Title(int menu) const;
    int Selection(int menu) const;
    // Item `item` (from 1) of a menu; false past its last item.
    bool ItemText(int menu, int item, std::string* text) const;

    // Applies a pick and returns the menu to show next: a resend when only
    // the title changed, the current menu again when its items changed, or
    // another menu. *action says what happened, for the log.
    int Choose(int menu, int item, std::string* action);

private:
    int m_slide = 1;
    bool m_loop = false;
    bool m_captions = false;
    int m_lastSlidesPick = 1;
};
