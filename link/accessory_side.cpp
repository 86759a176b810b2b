// The accessory's side of the menu protocol, which the link carries:
// submenus built from the owner's answers, the phone's picks turned into
// the next submenu, and the registration again as the device returns.
#include <string.h>

#include "link/accessory_link.h"
#include "link/link_reader.h"
#include "link/link_share.h"
#include "link/menu_protocol.h"

void LinkShare::RegisterAgain(const char* menuName, LinkReader& reader)
{
    SendOwed(RegistrationCommand(menuName), std::nullopt, reader);
}

// The reader cannot wait for the replies to its own lines, which only it
// could read: it writes them, leaving their replies owed, and goes on.
void LinkShare::SendOwed(const std::string& command, std::optional<uint32_t> submenuBuild,
                         LinkReader& reader)
{
    reader.SetStep(LinkReader::kWriting);
    Send(command.c_str(), LineKind::kReplyOwed, "", submenuBuild);
    reader.SetStep(LinkReader::kWorking);
}

// One build at a time: the owner answers about the menu last named, and an
// item's query names none. The line goes out once the build is done, so
// that the reader, which may be waiting to build the next submenu for a
// pick, is not held up by the phone's OK, nor by a command before this one
// that waits for its own. Meanwhile the reader may build a later submenu:
// this line then does not go, so that the phone is shown last the submenu
// built last, the one a pick is translated against and a resend repeats.
// Every build counts, also one that finds no menu and sends nothing, since
// it changes what a resend repeats; a build the reader gave up, as its link
// closed to the owner, changed nothing and does not count.
void LinkShare::ShowMenu(int menuId, LinkReader* asker)
{
    if (WaitAnsweringOwner(m_ownerWindow, 1, &m_menuBuild, INFINITE) != 0)
        return;
    const std::optional<std::string> command = BuildSubmenu(menuId, asker);
    const uint32_t build = command ? ++m_submenuBuilds : 0;
    ReleaseMutex(m_menuBuild);
    SendSubmenu(command, build, asker);
}

// The pick names the current menu as the build lock leaves it: once a
// build under way is done, never in its midst. The owner is asked about the
// pick without the lock, so that it may show a menu itself as it answers;
// its answer 0 stands for the current menu again.
void LinkShare::TranslateIndication(const char* line, LinkReader* asker)
{
    const int item = IndicationItem(line);
    if (item == 0)
        return;
    if (WaitAnsweringOwner(m_ownerWindow, 1, &m_menuBuild, INFINITE) != 0)
        return;
    const int pickedIn = m_currentMenuId;
    ReleaseMutex(m_menuBuild);
    LRESULT nextMenu = 0;
    if (Ask(asker, LN_ITEM_CHOSEN, LOWORD(pickedIn), static_cast<LPARAM>(item), &nextMenu))
        ShowMenu(static_cast<int>(nextMenu), asker);
}

void LinkShare::SendSubmenu(const std::optional<std::string>& command, uint32_t build,
                            LinkReader* asker)
{
    if (!command || command->empty())
        return;
    if (asker != nullptr)
        SendOwed(*command, build, *asker);
    else
        Exchange(command->c_str(), "OK", build);
}

// Under the build lock: the submenu command from the owner's answers,
// remembered for a resend; empty when there is nothing to send, none when
// the link closed to the owner before its answers were all in (nothing
// changes then). A command is remembered before it is sent: sending waits
// for the phone's OK, and a submenu that the reader builds for a pick
// meanwhile is the later one.
std::optional<std::string> LinkShare::BuildSubmenu(int menuId, LinkReader* asker)
{
    if (menuId == 0)
        menuId = m_currentMenuId;
    const int current = menuId != -1 ? menuId : m_currentMenuId;
    const WORD shownId = LOWORD(current);
    LRESULT answer = 0;

    char text[kLinkTextBufferSize] = {};
    std::string command = kSubmenuPrefix;
    if (!Ask(asker, LN_MENU_TITLE, shownId, reinterpret_cast<LPARAM>(text), &answer))
        return std::nullopt;
    if (answer != 0) {
        text[kLinkTextBufferSize - 1] = '\0';
        CleanMenuText(text);
        command += text;
    }
    command += kSubmenuTitleEnd;

    if (menuId == -1)
        return ResentSubmenu(command);
    if (!Ask(asker, LN_MENU_EXISTS, shownId, 0, &answer))
        return std::nullopt;
    if (answer == 0) {
        m_currentMenuId = current;
        m_lastMenuCommand = command;
        return std::string();
    }
    if (!Ask(asker, LN_MENU_SELECTION, shownId, 0, &answer))
        return std::nullopt;
    const int selection = answer != 0 ? static_cast<int>(answer) : 1;
    const size_t fixedLength = command.size() + std::to_string(selection).size() + 1;

    // Bounded by the line a receiver reads, and so by the 16 bits that carry
    // an item number, even for an owner that never runs out of items.
    std::string items;
    int count = 0;
    for (WORD item = 1; item != 0; ++item) {
        memset(text, 0, sizeof text);
        if (!Ask(asker, LN_ITEM_TEXT, item, reinterpret_cast<LPARAM>(text), &answer))
            return std::nullopt;
        if (answer == 0)
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
    m_currentMenuId = current;
    m_lastMenuCommand = command;
    return command;
}

// The fields after the title come from the last command; the owner was
// asked only for the fresh title. Nothing, before any command was built.
std::string LinkShare::ResentSubmenu(std::string command)
{
    size_t fieldsStart = 0;
    if (!FindResendFields(m_lastMenuCommand, &fieldsStart))
        return std::string();
    command.append(m_lastMenuCommand, fieldsStart, std::string::npos);
    m_lastMenuCommand = command;
    return command;
}
