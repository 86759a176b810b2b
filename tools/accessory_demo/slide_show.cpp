#include "tools/accessory_demo/slide_show.h"

namespace {

const char* const kSlidesItems[] = {"Next", "Back", "First", "Last", "Settings"};
enum SlidesItem { kNext = 1, kBack, kFirst, kLast, kOpenSettings };
enum SettingsItem { kToggleLoop = 1, kToggleCaptions, kBackToSlides };
constexpr int kSettingsItemCount = 3;

// In UTF-8, as the accessory declares to the phone.
const char* const kCaptions[SlideShow::kSlideCount] = {
    "Harbour", "Lighthouse", u8"Łódź", u8"Café Müller", "Bridge", "Cathedral",
    "Gardens", "Museum",     "Station", "Hillside",     "Beach",  "Sunset",
};

std::string OnOff(bool on)
{
    return on ? "on" : "off";
}

}  // namespace

bool SlideShow::HasMenu(int menu) const
{
    return menu == kSlidesMenu || menu == kSettingsMenu;
}

std::string SlideShow::Title(int menu) const
{
    if (menu == kSettingsMenu)
        return "Settings";
    if (menu != kSlidesMenu)
        return std::string();
    std::string title =
        "Slide " + std::to_string(m_slide) + "/" + std::to_string(kSlideCount);
    if (m_captions)
        title += std::string(" ") + kCaptions[m_slide - 1];
    return title;
}

int SlideShow::Selection(int menu) const
{
    return menu == kSlidesMenu ? m_lastSlidesPick : 1;
}

bool SlideShow::ItemText(int menu, int item, std::string* text) const
{
    if (menu == kSlidesMenu && item >= 1 && item <= kOpenSettings) {
        *text = kSlidesItems[item - 1];
        return true;
    }
    if (menu != kSettingsMenu || item < 1 || item > kSettingsItemCount)
        return false;
    switch (item) {
    case kToggleLoop: *text = "Loop: " + OnOff(m_loop); break;
    case kToggleCaptions: *text = "Captions: " + OnOff(m_captions); break;
    default: *text = "Back to slides"; break;
    }
    return true;
}

int SlideShow::Choose(int menu, int item, std::string* action)
{
    if (menu == kSettingsMenu) {
        switch (item) {
        case kToggleLoop:
            m_loop = !m_loop;
            *action = "loop " + OnOff(m_loop);
            return kCurrentMenuAgain;
        case kToggleCaptions:
            m_captions = !m_captions;
            *action = "captions " + OnOff(m_captions);
            return kCurrentMenuAgain;
        case kBackToSlides:
            *action = "back to the slides";
            return kSlidesMenu;
        }
        *action = "no such setting";
        return kCurrentMenuAgain;
    }

    if (item == kOpenSettings) {
        *action = "settings";
        return kSettingsMenu;
    }
    const int before = m_slide;
    switch (item) {
    case kNext: m_slide = m_slide < kSlideCount ? m_slide + 1 : (m_loop ? 1 : m_slide); break;
    case kBack: m_slide = m_slide > 1 ? m_slide - 1 : (m_loop ? kSlideCount : m_slide); break;
    case kFirst: m_slide = 1; break;
    case kLast: m_slide = kSlideCount; break;
    default:
        *action = "no such item";
        return kCurrentMenuAgain;
    }
    m_lastSlidesPick = item;
    *action = std::string(kSlidesItems[item - 1]) + ": slide " + std::to_string(before) +
              " -> " + std::to_string(m_slide);
    return kResendWithFreshTitle;
}
