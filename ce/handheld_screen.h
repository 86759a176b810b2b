// The handheld's screen on the desktop: 240x320, a task bar across the top
// and the menu bar across the bottom.
#pragma once

constexpr int kScreenLeft = 40;  // where the "screen" sits on the desktop
constexpr int kScreenTop = 40;
constexpr int kScreenWidth = 240;
constexpr int kScreenHeight = 320;
constexpr int kTaskBarHeight = 26;
constexpr int kMenuBarHeight = 26;
