// The accessory's side of the menu protocol, which the link carries: the
// entry's registration, submenus built from the owner's answers, commands
// paired with the phone's replies, and the phone's picks turned into the
// next submenu.
#include "link/serial_accessory_link.h"

#include <string.h>

#include "ce/events.h"
#include "link/menu_protocol.h"
#include "link/tick_span.h"

namespace {

constexpr DWORD kReplyTimeoutMs = 1000;

}  // namespace

void SerialAccessoryLink::Register()
{
    SendCommand(RegistrationCommand(m_menuName.c_str()).c_str());
}

// The phone at the other end may have lost what it was shown: an accessory
// registers its entry again and resends its last submenu.
void SerialAccessoryLink::AnnounceAgain()
{
    if (!m_registers)
        return;
    Register();
    ShowMenu(-1);
}

// One build at a time: the owner answers about the menu last named, and an
// item's query names none. The line goes out once the build is done, so
// that the reader, which may be waiting to build the next submenu for a
// pick, is not held up by the phone's OK, nor by a command before this one
// that waits for its own. Meanwhile the reader may build a later submenu:
// this line then does not go, so that the phone is shown last the submenu
// built last, the one a pick is translated against and a resend repeats.
// Every build counts, also one that finds no menu and sends nothing, since
// it changes what a resend repeats.
int SerialAccessoryLink::ShowMenu(int menuId)
{
    WaitMindingOwner(m_menuBuild, INFINITE);
    const std::string command = BuildSubmenu(menuId);
    const uint32_t build = ++m_submenuBuilds;
    ReleaseMutex(m_menuBuild);
    if (!command.empty())
        Exchange(command.c_str(), "OK", build);
    return 1;
}

// The submenu command from the owner's answers, remembered for a resend, or
// nothing to send. A command is remembered before it is sent: sending waits
// for the phone's OK, and a submenu that the reader builds for a pick
// meanwhile is the later one.
std::string SerialAccessoryLink::BuildSubmenu(int menuId)
{
    if (menuId == 0)
        menuId = m_currentMenuId;
    if (menuId != -1)
        m_currentMenuId = menuId;
    const WORD shownId = LOWORD(menuId != -1 ? menuId : static_cast<int>(m_currentMenuId));

    char text[kLinkTextBufferSize] = {};
    std::string command = kSubmenuPrefix;
    if (AskOwner(LN_MENU_TITLE, shownId, reinterpret_cast<LPARAM>(text)) != 0) {
        text[kLinkTextBufferSize - 1] = '\0';
        CleanMenuText(text);
        command += text;
    }
    command += kSubmenuTitleEnd;

    if (menuId == -1)
        return ResentSubmenu(command);
    if (AskOwner(LN_MENU_EXISTS, shownId, 0) == 0) {
        m_lastMenuCommand = command;
        return std::string();
    }
    int selection = static_cast<int>(AskOwner(LN_MENU_SELECTION, shownId, 0));
    if (selection == 0)
        selection = 1;
    const size_t fixedLength = command.size() + std::to_string(selection).size() + 1;

    // Bounded by the line a receiver reads, and so by the 16 bits that carry
    // an item number, even for an owner that never runs out of items.
    std::string items;
    int count = 0;
    for (WORD item = 1; item != 0; ++item) {
        memset(text, 0, sizeof text);
        if (AskOwner(LN_ITEM_TEXT, item, reinterpret_cast<LPARAM>(text)) == 0)
            break;
        text[kLinkTextBufferSize - 1] = '\0';
        CleanMenuText(text);
        const size_t before = items.size();
        AppendItemField(items, text);
        if (!ItemsFitLine(fixedLength, items.size())) {
            items.resize(before);
            break;
        }
        ++count;
    }
    AppendSubmenuFields(command, selection, count, items);
    m_lastMenuCommand = command;
    return command;
}

// The fields after the title come from the last command; the owner was
// asked only for the fresh title.
std::string SerialAccessoryLink::ResentSubmenu(std::string command)
{
    size_t fieldsStart = 0;
    if (!FindResendFields(m_lastMenuCommand, &fieldsStart))
        return std::string();
    command.append(m_lastMenuCommand, fieldsStart, std::string::npos);
    m_lastMenuCommand = command;
    return command;
}

// A line the owner left to the link: an indication for the accessory, or
// the reply to a waiting command. A pick is never a reply, even while a
// command waits for one: taken for one it would be lost, and would fail the
// command.
void SerialAccessoryLink::TakeLeftLine(const char* line, uint32_t readNumber)
{
    if (IsIndication(line)) {
        TranslateIndication(line);
        return;
    }
    Lock(&m_replyLock);
    const bool answered = m_replies.Offer(readNumber, line);
    Unlock(&m_replyLock);
    if (answered)
        EventModify(m_replyArrived, EVENT_SET);
}

void SerialAccessoryLink::TranslateIndication(const char* line)
{
    const int item = IndicationItem(line);
    if (item == 0)
        return;
    const int nextMenu = static_cast<int>(
        AskOwner(LN_ITEM_CHOSEN, LOWORD(m_currentMenuId), static_cast<LPARAM>(item)));
    ShowMenu(nextMenu != 0 ? nextMenu : static_cast<int>(m_currentMenuId));
}

int SerialAccessoryLink::SendCommand(const char* command)
{
    return Transact(command, "OK");
}

int SerialAccessoryLink::Transact(const char* command, const char* expected)
{
    return Exchange(command, expected, std::nullopt);
}

// The reader writes the accessory's own commands (the next submenu for a
// pick, the registration when the device returns) but cannot wait for
// their replies, which only it could read: it writes them, leaving their
// replies owed, and goes on, taking no lock that a command in progress
// holds. A command's wait opens as its line goes; one whose line did not go
// (a submenu's superseded meanwhile too) gets no reply, and ends at once.
int SerialAccessoryLink::Exchange(const char* command, const char* expected,
                                  std::optional<uint32_t> submenuBuild)
{
    if (GetCurrentThreadId() == m_readerThreadId)
        return WriteLineIfLatest(command, submenuBuild, expected);
    EnterCriticalSection(&m_lock);
    int result = WriteLineIfLatest(command, submenuBuild, expected);
    if (expected[0] != '\0' && result != 0) {
        result = AwaitReply(expected);
    } else if (expected[0] != '\0') {
        Lock(&m_replyLock);
        m_replies.Withdraw();
        Unlock(&m_replyLock);
    }
    LeaveCriticalSection(&m_lock);
    return result;
}

// Waits for the reply to the command whose wait Transact opened; a caller
// that wrote its line itself gets a wait of its own, from now on.
int SerialAccessoryLink::AwaitReply(const char* expected)
{
    EnterCriticalSection(&m_lock);
    Lock(&m_replyLock);
    if (!m_replies.Waiting())
        m_replies.Await(m_readCount, expected);
    Unlock(&m_replyLock);
    // A signal the reader gave as an earlier wait ran out may still be set:
    // the wait's own state decides.
    const DWORD start = GetTickCount();
    for (DWORD left = kReplyTimeoutMs; left != 0 && !ReplyAnswered();
         left = TicksLeft(start, kReplyTimeoutMs, GetTickCount()))
        WaitForSingleObject(m_replyArrived, left);
    Lock(&m_replyLock);
    const int result = m_replies.Finish();
    Unlock(&m_replyLock);
    LeaveCriticalSection(&m_lock);
    return result;
}

bool SerialAccessoryLink::ReplyAnswered()
{
    Lock(&m_replyLock);
    const bool answered = m_replies.Answered();
    Unlock(&m_replyLock);
    return answered;
}
