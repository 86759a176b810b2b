// Resource ids, shared by the resource script and the code.
#pragma once

#define IDS_TITLE 103        // the window title, "Tarvane Remote"
#define IDS_PAINT_TEXT 104   // the maker's web address, painted where no list covers
#define IDR_MENU_BAR 105     // the menu bar definition and its menu
#define IDI_REMOTE 106       // the program icon
#define IDS_CLOSE 40002
#define IDM_ABOUT 40003
#define IDS_ABOUT 40005
