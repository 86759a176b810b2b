// The accessory link over a serial stream device: one class in two files,
// the line (serial_accessory_link.cpp) and the accessory's side of the menu
// protocol that it carries (accessory_side.cpp).
#pragma once

#include <atomic>
#include <optional>
#include <string>

#include "link/accessory_link.h"
#include "link/line_framing.h"
#include "link/reply_pairing.h"

DWORD WINAPI ReaderThread(LPVOID link);

// What a caller may rely on:
// - Close belongs on the owner's thread, which then answers the
//   notifications the reader sends meanwhile (a reader busy answering a
//   pick finishes it); or on a third thread while the owner's thread keeps
//   answering messages. Never inside the handling of one of the link's own
//   notifications, which the reader waits for: Close would wait for the
//   reader, and end it by force after two seconds.
// - A command gets its reply only when made on a third thread: on the
//   owner's thread the reply is offered first to the owner, who is busy
//   waiting for it, and on the reader's it is not read until the command
//   is done. There, SendCommand, Transact and Open with a name write their
//   line and report 0 after a second (the reader's own: at once, unread).
// - A command's reply is a line read after its own line went, and after
//   the replies to the lines that went before it: the phone answers in
//   order. The replies nobody waits for, to the reader's own lines (the
//   next submenu for a pick, the registration and the resent submenu as
//   the device returns) and a command's that came too late, are owed and
//   never pass for a command's (see ReplyPairing). AwaitReply on its own,
//   after the caller's own WriteLine, waits likewise for a line read after
//   it began, and ends after a second with 0 when none comes.
// - The reader never waits for a lock that a thread waiting for the reader
//   may hold: it takes the port lock, held for nothing but a write and the
//   pairing of its reply, the timeouts lock, held for nothing but a change
//   of the device's timeouts, the reply lock, held for nothing but the
//   pairing of replies, and the menu lock, held while a submenu is built
//   from the owner's answers. So a command waiting for its reply, and
//   Close, never hold it up; a write in progress holds up the reader's own
//   writes, never its reads nor the pause it watches for; and Close never
//   ends it by force while it holds the port, the timeouts or the reply
//   lock, nor within two seconds after it left them.
// - A line goes out whole in one write, its CR included, or the call says
//   it did not (0). A command whose line did not go ends at once with 0. A
//   write lasts at most what its bytes, counted in steps of 64, take at the
//   line's speed (read from the driver, never changed) and half a second,
//   also on a line that does not drain; Close waits for a write in progress
//   no longer.
// - One submenu is built at a time, on whichever thread: each submenu line
//   carries one menu's title and items, and the submenu remembered for a
//   resend is the last one built, which is also the last one the phone is
//   shown: a submenu's line does not go once a later one has been built,
//   also one that found no menu and sent nothing (its command reports 0 at
//   once, as one whose line did not go).
// - ShowMenu may wait as long as the owner takes to answer the reader's
//   questions about a submenu it builds (on the owner's own thread it
//   answers them as it waits). An owner's thread that waits for a thread
//   inside ShowMenu without answering messages waits for ever.
// - A pick ("*EAMI", "*EAII") is never taken as a command's reply.
// - What the reader has read reaches the owner, also when the device fails
//   in the middle of a read; what it had not finished when the link closed
//   does not reach the next session.
// - A reader that is opening the device again (which on a Bluetooth port
//   takes seconds) is never ended by force: Close returns at once when it
//   finds the reader inside the open, and within half a second when the
//   reader goes into one as Close begins, and leaves it to finish, close
//   the device and end by itself. Until then the device stays claimed.
class SerialAccessoryLink : public AccessoryLink {
public:
    // Leaves the link without a usable device name when portName does not
    // fit m_portName; Open then fails.
    SerialAccessoryLink(const wchar_t* portName, HWND ownerWindow, UINT ownerMessage);
    ~SerialAccessoryLink() override;

    // Whether the event and the mutex it needs could be made.
    bool Usable() const;

    int Open(const char* menuName) override;
    int Close() override;
    int ShowMenu(int menuId) override;
    int SendCommand(const char* command) override;
    int Transact(const char* command, const char* expected) override;
    int WriteLine(const char* text) override;
    int AwaitReply(const char* expected) override;

private:
    friend DWORD WINAPI ReaderThread(LPVOID link);

    // The speed and framing of the line under an open device, as its
    // driver holds them, and the timeouts the link has set on it.
    struct PortTiming {
        uint32_t bitsPerSecond;
        uint32_t bitsPerByte;
        COMMTIMEOUTS timeouts;
    };
    struct ReaderPlace;

    // The line (serial_accessory_link.cpp): the device, the reader, lines
    // handed to the owner.
    void RunReader();
    void DispatchLines(LineCursor lines);
    void DispatchLine(char* line, size_t length);
    static HANDLE MakeReady(HANDLE device, PortTiming* timing);
    void DropDevice();
    bool ReopenDevice(ReaderPlace* place, DWORD* lastOpenTick);
    int WriteLineIfLatest(const char* text, std::optional<uint32_t> submenuBuild,
                          const char* expected);
    bool SetReadWait(HANDLE port, DWORD waitMs);
    bool AllowWrite(HANDLE port, size_t bytes);
    bool SetTimeout(HANDLE port, DWORD COMMTIMEOUTS::*timeout, DWORD milliseconds);
    void Lock(CRITICAL_SECTION* lock);
    void Unlock(CRITICAL_SECTION* lock);
    LRESULT AskOwner(WORD code, WORD value, LPARAM lParam);
    bool StopReader(HANDLE reader, ReaderPlace* place);
    bool WaitMindingOwner(HANDLE object, DWORD milliseconds);

    // The accessory's side (accessory_side.cpp): registration, submenus,
    // replies and indications.
    void Register();
    void AnnounceAgain();
    std::string BuildSubmenu(int menuId);
    std::string ResentSubmenu(std::string command);
    void TakeLeftLine(const char* line, uint32_t readNumber);
    void TranslateIndication(const char* line);
    int Exchange(const char* command, const char* expected, std::optional<uint32_t> submenuBuild);
    bool ReplyAnswered();

    // Set at creation, read-only afterwards.
    wchar_t m_portName[16];
    const HWND m_ownerWindow;
    const UINT m_ownerMessage;

    // Held, through WaitMindingOwner, while a submenu is built from the
    // owner's answers: the owner answers about the menu last named, so two
    // builds at once (the accessory's thread, and the reader translating a
    // pick or announcing again) would mix their menus. A mutex, so that a
    // reader ended by force while it builds does not keep it for ever.
    HANDLE m_menuBuild;
    // Written by ShowMenu on whichever thread calls it: the accessory's own
    // thread, or the reader while it translates an indication.
    std::atomic<int> m_currentMenuId;
    // Read and written while m_menuBuild is held.
    std::string m_lastMenuCommand;
    // Counted up, while m_menuBuild is held, by each build, and carried by
    // the line it gives; read under m_portLock as a submenu's line is
    // written, which goes only while its count is the latest.
    std::atomic<uint32_t> m_submenuBuilds;

    // Written by Open before the reader starts; read by the reader when
    // its device comes back. Whether Open registered a menu entry, and its
    // name.
    bool m_registers;
    std::string m_menuName;

    // Written by Open before the reader starts, and then, under m_portLock,
    // by the reader when its device fails and when it comes back and by
    // Close once the reader has stopped. Read by the reader, and by
    // WriteLine on any thread: once without the lock, to return at once on
    // a closed link, and again under it.
    std::atomic<HANDLE> m_port;
    // The line under m_port and the timeouts set on it: written with m_port.
    // Then the line is read by writers under m_portLock, and the timeouts
    // are read and changed under m_timeoutsLock, by writers and the reader.
    PortTiming m_portTiming;
    // The running flag too: written by Open and Close, read by the reader
    // once per pass.
    std::atomic<HANDLE> m_readerThread;
    // Written by Open before the reader runs and cleared by Close once it
    // has ended; read by Exchange, Lock and Unlock on any thread to tell the
    // reader's own calls.
    std::atomic<DWORD> m_readerThreadId;
    // Where the running reader is, as Close must know before it ends it by
    // force: made by Open, read by the reader as it starts; Close deletes
    // it once the reader has ended, or leaves it to a reader inside an open.
    ReaderPlace* m_readerPlace;

    // Held by a command for its whole exchange, write and reply, so that
    // two exchanges never overlap, and by Close. The reader never takes it.
    CRITICAL_SECTION m_lock;
    // Held by WriteLine around its use of m_port and by whoever changes it
    // once the reader runs, so that no write reaches a handle that has been
    // closed. Never held while waiting for anything but a write, which the
    // device's write timeout bounds. Taken through Lock and Unlock.
    CRITICAL_SECTION m_portLock;
    // Held around every change of the device's timeouts and nothing else
    // (never around a write), so that the reader, which takes it alone to
    // set its read wait, is not held up while a write lasts. A writer takes
    // it inside m_portLock. Taken through Lock and Unlock.
    CRITICAL_SECTION m_timeoutsLock;
    // The reader's alone: how many of m_portLock, m_timeoutsLock and
    // m_replyLock it holds or waits for.
    int m_readerLocks;
    // Counted up by the reader as it goes for the first of those locks and
    // as it leaves the last, so odd while it holds or waits for one; read
    // by Close on another thread, which must not end the reader by force
    // meanwhile, nor within its checks after it left.
    std::atomic<unsigned> m_readerLockSteps;

    // The reply hand-over. A command opens a wait in m_replies as its line
    // goes, and the reader owes the reply to each of its own lines once it
    // has gone, both under m_portLock; the reader offers it every line the
    // owner left, numbered by m_readCount, and signals m_replyArrived
    // (auto-reset) once one has answered; the command reads the outcome and
    // ends the wait. m_replies is touched only under m_replyLock, which is
    // never held while waiting for anything, and is taken through Lock and
    // Unlock (inside m_portLock as a line goes).
    ReplyPairing m_replies;
    CRITICAL_SECTION m_replyLock;
    HANDLE m_replyArrived;
    // The reads that brought bytes: counted by the reader, read as a line
    // that asks for a reply goes.
    std::atomic<uint32_t> m_readCount;

    // Emptied by Open before the reader starts, then the reader's alone; a
    // line in it is lent to the owner for one notification.
    ReceiveBuffer m_receiveBuffer;
};
