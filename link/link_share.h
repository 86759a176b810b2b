// What a link shares with its readers: the device that writes go to, the
// session it belongs to and the replies owed in it, one line written at a
// time, one command's exchange at a time, and the accessory's menus. The
// link and each reader it started hold a reference, so that a reader left
// to finish after Close touches only this, never the link.
#pragma once

#include <windows.h>

#include <atomic>
#include <optional>
#include <string>

#include "link/reply_pairing.h"

class LinkReader;

// The speed and framing of the line under an open device, as its driver
// holds them, and the timeouts the link has set on it.
struct PortTiming {
    uint32_t bitsPerSecond;
    uint32_t bitsPerByte;
    COMMTIMEOUTS timeouts;
};

// Reads the line's speed and framing, never changing them, and sets the
// timeouts before anyone may write: a write with none could last for ever
// on a line that does not drain. False when they cannot be set.
bool PrepareDevice(HANDLE device, PortTiming* timing);

// How a line's reply is dealt with: a command waits for it; the reader's
// own lines (the next submenu for a pick, the registration and the resent
// submenu as the device returns) owe it, since only the reader could read
// it; a line the phone does not answer, or whose answer its sender reads
// itself (WriteLine), has none.
enum class LineKind { kAwaitsReply, kReplyOwed, kNoReply };

// Waits for one of `objects` (a mutex is then held); on the owner's thread
// it answers the messages other threads send it meanwhile, since the reader
// may be sending it a line or a question. The index of the object, or -1
// when the time ran out.
int WaitAnsweringOwner(HWND owner, DWORD count, const HANDLE* objects, DWORD milliseconds);

class LinkShare {
public:
    // Leaves the name empty when portName does not fit; Open then fails.
    LinkShare(const wchar_t* portName, HWND ownerWindow, UINT ownerMessage);
    LinkShare(const LinkShare&) = delete;
    LinkShare& operator=(const LinkShare&) = delete;

    // Whether the locks and events it needs could be made.
    bool Usable() const;
    void AddReference() { ++m_references; }
    // The last one deletes it.
    void Release();

    const wchar_t* PortName() const { return m_portName; }
    HWND OwnerWindow() const { return m_ownerWindow; }
    UINT OwnerMessage() const { return m_ownerMessage; }

    // The device, each session. A session begins as a device opens, and
    // ends as it goes or the link closes: the replies of its lines end with
    // it. Publish makes `device` the one writes go to and tells the new
    // session's number, unless `reader` has been asked to stop (false).
    bool Publish(LinkReader& reader, HANDLE device, const PortTiming& timing,
                 uint32_t* session);
    // Writers see no device of `reader`'s from here on.
    void EndSessionOf(const LinkReader& reader);
    // Close asks `reader` to stop; while the session it has still lasts, a
    // write that fails (the line does not drain) ends every later write of
    // it at once: the link is closing.
    void StopReader(LinkReader& reader);
    // The reader's read wait on the session's device: a read of one byte
    // with only a total timeout returns as soon as it is there, or after
    // `waitMs` with nothing.
    bool SetReadWait(uint32_t session, DWORD waitMs);
    // Returns once no write is in progress.
    void WaitForWrites();
    // Counted by the reader once each read that brought bytes has returned.
    void CountRead() { ++m_reads; }
    uint32_t Reads() const { return m_reads; }

    // The one way out for a line: whole, its CR included, in one write, or
    // 0. A submenu's line (`submenuBuild`) goes only while no later submenu
    // has been built. A command's wait opens just before its line goes.
    int Send(const char* text, LineKind kind, const char* expected = "",
             std::optional<uint32_t> submenuBuild = std::nullopt);
    // A command and its reply, one exchange at a time; a null or empty
    // `expected` waits for none.
    int Exchange(const char* command, const char* expected,
                 std::optional<uint32_t> submenuBuild = std::nullopt);
    // For a caller that wrote its line itself: waits up to a second for a
    // reply read from now.
    int AwaitReply(const char* expected);
    // A line the owner left, read by read `readNumber` in `session`.
    void OfferReply(uint32_t session, uint32_t readNumber, const char* line);

    // The accessory's side (accessory_side.cpp). `asker` is the reader when
    // it runs them, which asks the owner only while its link is open to it,
    // null on a caller's own thread; the reader's lines owe their replies.
    void ShowMenu(int menuId, LinkReader* asker);
    void TranslateIndication(const char* line, LinkReader* asker);
    // The reader's registration as the device returns.
    void RegisterAgain(const char* menuName, LinkReader& reader);

private:
    ~LinkShare();

    bool AllowWrite(HANDLE device, size_t bytes);
    bool SetTimeout(HANDLE device, DWORD COMMTIMEOUTS::*timeout, DWORD milliseconds);
    int AwaitOpenReply();
    bool WaitOver();
    void EndSession();
    bool Ask(LinkReader* asker, WORD code, WORD value, LPARAM lParam, LRESULT* answer);
    std::optional<std::string> BuildSubmenu(int menuId, LinkReader* asker);
    std::string ResentSubmenu(std::string command);
    void SendSubmenu(const std::optional<std::string>& command, uint32_t build,
                     LinkReader* asker);
    void SendOwed(const std::string& command, std::optional<uint32_t> submenuBuild,
                  LinkReader& reader);

    // Set at creation, read-only afterwards.
    wchar_t m_portName[16];
    const HWND m_ownerWindow;
    const UINT m_ownerMessage;

    std::atomic<long> m_references{1};

    // Held for nothing but a look at or a change of the fields under it,
    // and of the device's timeouts: never while waiting for anything else.
    CRITICAL_SECTION m_state;
    // Under m_state: the device writes go to (INVALID_HANDLE_VALUE while
    // there is none), its line and timeouts, its session's number and
    // reader, whether that session's link is closing and its writes have
    // stopped, and the replies its lines are owed.
    HANDLE m_device = INVALID_HANDLE_VALUE;
    PortTiming m_timing = {};
    uint32_t m_session = 0;
    const LinkReader* m_sessionReader = nullptr;
    bool m_closing = false;
    bool m_writesStopped = false;
    ReplyPairing m_replies;
    // Set (auto-reset) when the open wait is over.
    HANDLE m_replyArrived;
    // Counted by the reader, read by a line's sender: atomic.
    std::atomic<uint32_t> m_reads{0};

    // Held around one line's write, by any thread: lines never mix, and the
    // reader closes no device while a write to it lasts (what a write may
    // last is bounded by its bytes at the line's speed). Taken before
    // m_state, never after.
    CRITICAL_SECTION m_writing;
    // A mutex held for a command's whole exchange, write and reply; taken
    // through WaitAnsweringOwner, so that the owner's thread waiting for it
    // still hands the reader's lines on. The reader never takes it.
    HANDLE m_commands;

    // A mutex held while a submenu is built from the owner's answers and
    // while a pick is translated: the owner answers about the menu last
    // named, so two builds at once (the accessory's thread, and the reader
    // translating a pick or announcing again) would mix their menus. Taken
    // through WaitAnsweringOwner.
    HANDLE m_menuBuild;
    // Under m_menuBuild.
    int m_currentMenuId = 1;
    std::string m_lastMenuCommand;
    // Counted up under m_menuBuild by each build; the line it gives carries
    // it and goes (under m_writing) only while it is the latest.
    std::atomic<uint32_t> m_submenuBuilds{0};
};
