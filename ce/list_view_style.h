// The handheld's list view draws a gradient background with an extended
// style bit that the desktop's list view does not have.
#pragma once

#include <windows.h>

constexpr DWORD kListViewGradientStyle = 0;  // LVS_EX_GRADIENT on the handheld
