// The link between one serial stream device and one owner window.
#pragma once

#include <windows.h>

// The message the program gives its links: the notification code stands in
// the high word of wParam, a value (length, menu id, item number) in the low.
constexpr UINT WM_LINK_NOTIFY = WM_APP + 1;

enum LinkNotification : WORD {
    LN_LINE = 1,            // lParam: the received line; non-zero result takes it
    LN_MENU_EXISTS = 2,     // low word: menu id; result: non-zero if it exists
    LN_ITEM_TEXT = 3,       // low word: item k from 1; lParam: 256-byte buffer
    LN_MENU_TITLE = 4,      // low word: menu id; lParam: 256-byte buffer, zeroed
    LN_MENU_SELECTION = 5,  // low word: menu id; result: item to select, 0 for 1
    LN_ITEM_CHOSEN = 6,     // low word: menu id; lParam: item; result: next menu
    LN_DEVICE_STATE = 7,    // low word: 1 the device is open again, 0 it has gone
};

// Size of the buffer lent with LN_ITEM_TEXT and LN_MENU_TITLE: a text of at
// most 255 bytes and its terminator.
constexpr int kLinkTextBufferSize = 256;

// Operations report 1 for success and 0 for failure; Close always returns 0
// and ShowMenu always 1. The declaration order is the virtual table's order.
//
// Open reports whether the device opened. When it did not (the device is
// not there yet, or another opener holds it), the link tries it again about
// once a second until it opens or the link is closed, as it does for a
// device that fails after it opened; the owner hears of every change with
// LN_DEVICE_STATE. An owner that wants no retries closes the link, once
// its handling of the notification is over (it may post itself a message).
class AccessoryLink {
public:
    virtual ~AccessoryLink() {}
    virtual int Open(const char* menuName) = 0;
    virtual int Close() = 0;
    virtual int ShowMenu(int menuId) = 0;
    virtual int SendCommand(const char* command) = 0;
    virtual int Transact(const char* command, const char* expected) = 0;
    virtual int WriteLine(const char* text) = 0;
    virtual int AwaitReply(const char* expected) = 0;
};

// A closed link on the named device, or null when no memory can be had.
AccessoryLink* CreateAccessoryLink(const wchar_t* portName, HWND ownerWindow,
                                   UINT ownerMessage);
