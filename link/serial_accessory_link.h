// The accessory link over a serial stream device. The link itself holds
// little: what it shares with its reader lives in a LinkShare
// (link_share.h, the line; accessory_side.cpp, the menus), and each Open
// starts a LinkReader (link_reader.h) that owns the device from then on.
#pragma once

#include "link/accessory_link.h"
#include "link/link_reader.h"
#include "link/link_share.h"

// What a caller may rely on:
// - Close on the owner's thread, or on a third thread while the owner's
//   keeps answering messages; never inside the handling of one of the
//   link's own notifications (it would wait its whole bound for itself).
//   It hands the owner the rest of the batch in hand (on the owner's
//   thread, by answering as it waits) and returns once the reader has
//   ended: at once in the usual case, after about two seconds of the
//   reader's time outside its writes when the owner keeps it, after ten
//   at most; a reader already inside an open or a close of its device as
//   Close begins is left to finish it. Closed on the owner's thread, the
//   link's reader hands it no line and asks it nothing after Close
//   returned; on a third thread, a line the reader was still sending when
//   Close gave up may yet arrive. Once Close began, a write that fails ends
//   the closing link's later writes at once.
// - A command gets its reply only when made on a third thread: on the
//   owner's thread the reply is offered first to the owner, who is busy
//   waiting for it. Its reply is the first line read after its line went
//   once the replies owed ahead of it have ended (see ReplyPairing), and
//   only a line of the same device's session: a drop ends the wait at once
//   with 0. An expected information line leaves its final result code owed.
// - A line goes out whole in one write, its CR included, or the call says
//   it did not (0). A write lasts at most what its bytes take at the line's
//   speed (read from the driver, never changed) and half a second.
// - Each submenu line carries one menu's title and items; the submenu
//   remembered for a resend is the last one built, and a submenu's line
//   does not go once a later one has been built. ShowMenu waits as long as
//   the owner takes to answer, which on its own thread it does as it waits.
// - A pick ("*EAMI", "*EAII") is never taken as a command's reply.
// - What the reader has read reaches the owner, also when the device fails
//   in the middle of a read; what it had not finished when the link closed
//   does not reach the next session.
class SerialAccessoryLink : public AccessoryLink {
public:
    SerialAccessoryLink(const wchar_t* portName, HWND ownerWindow, UINT ownerMessage);
    ~SerialAccessoryLink() override;

    bool Usable() const { return m_share != nullptr && m_share->Usable(); }

    int Open(const char* menuName) override;
    int Close() override;
    int ShowMenu(int menuId) override;
    int SendCommand(const char* command) override;
    int Transact(const char* command, const char* expected) override;
    int WriteLine(const char* text) override;
    int AwaitReply(const char* expected) override;

private:
    void WaitForReader(LinkReader* reader, HANDLE thread);

    LinkShare* const m_share;  // a reference of its own
    // The owner's, or a third thread's as the header says: the reader of
    // the last Open and its thread, until Close lets them go.
    LinkReader* m_reader = nullptr;
    HANDLE m_readerThread = nullptr;
};
