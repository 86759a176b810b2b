#include "app/remote_state.h"

AccessoryLink* g_link;
int g_deviceOpen;
int g_menuMode;
wchar_t g_menuLine[kMenuLineSize];
