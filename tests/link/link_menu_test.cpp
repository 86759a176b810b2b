// The accessory side of the menu protocol: registration, submenus built from
// the owner's answers, and indications turned into the next submenu.
#include "tests/support/expect_notifications.h"
#include "tests/support/link_fixture.h"
#include "tests/support/scripted_phone.h"

#include <map>
#include <memory>
#include <string.h>
#include <vector>

namespace {

struct Menu {
    const char* title;  // null: the owner gives no title
    int selection;
    std::vector<const char*> items;
};

// The owner's menus. It answers on the owner's thread while the test,
// between exchanges, changes what it will answer.
class MenuBook {
public:
    void Put(WORD id, Menu menu)
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_menus[id] = std::move(menu);
    }
    void SetChosenAnswer(LRESULT next)
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_chosenAnswer = next;
    }
    void SetEndlessItems(bool endless)
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_endless = endless;
    }

    LRESULT Answer(const Notification& query, LPARAM lParam)
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        char* text = reinterpret_cast<char*>(lParam);
        const auto menu = m_menus.find(m_asked);
        switch (query.code) {
        case LN_MENU_TITLE:
            m_asked = query.value;
            if (m_menus.count(m_asked) == 0 || m_menus[m_asked].title == nullptr)
                return 0;
            strcpy(text, m_menus[m_asked].title);
            return 1;
        case LN_MENU_EXISTS:
            m_asked = query.value;
            return m_menus.count(m_asked);
        case LN_MENU_SELECTION:
            return menu == m_menus.end() ? 0 : menu->second.selection;
        case LN_ITEM_TEXT:
            if (m_endless) {
                strcpy(text, "Item");
                return 1;
            }
            if (menu == m_menus.end() || query.value > menu->second.items.size())
                return 0;
            strcpy(text, menu->second.items[query.value - 1]);
            return 1;
        case LN_ITEM_CHOSEN:
            return m_chosenAnswer;
        }
        return 0;  // lines are left to the link
    }

private:
    std::mutex m_mutex;
    std::map<WORD, Menu> m_menus;
    WORD m_asked = 0;
    LRESULT m_chosenAnswer = 0;
    bool m_endless = false;
};

// The owner's record without the phone's "OK" lines.
std::vector<Notification> Queries(RecordingOwner& owner)
{
    std::vector<Notification> queries;
    for (const Notification& notification : owner.Log()) {
        if (notification.code != LN_LINE)
            queries.push_back(notification);
    }
    return queries;
}

TEST(LinkRegistration, OpenWithNameRegistersTheMenuEntry)
{
    ScriptedPhone phone(kPairA, ScriptedPhone::kAnswerOk);
    ASSERT_TRUE(phone.IsOpen());
    OwnerThread owner(LeaveEveryLine);
    LinkPtr link = MakeLink(kPairA, owner.Window());

    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(1, link->Open("Viewer"));
    EXPECT_LT(MsSince(start), 900u);  // the phone's OK answered the command
    EXPECT_EQ("AT*EAM=\"Viewer\"\r\r", phone.Received());
    link->Close();

    phone.Forget();
    EXPECT_EQ(1, link->Open(nullptr));
    PumpMessagesFor(300);
    EXPECT_EQ("", phone.Received());
}

TEST(LinkRegistration, OpenWithNameAnswersOneWhenThePhoneIsSilent)
{
    ScriptedPhone phone(kPairA, ScriptedPhone::kSilent);
    OwnerThread owner(LeaveEveryLine);
    LinkPtr link = MakeLink(kPairA, owner.Window());
    EXPECT_EQ(1, link->Open("Viewer"));
    EXPECT_EQ("AT*EAM=\"Viewer\"\r\r", phone.Received());
}

class LinkMenu : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(phone.IsOpen());
        ASSERT_TRUE(link);
        ASSERT_EQ(1, link->Open(nullptr));
        book->Put(3, {"Show", 0, {"Next", "Back"}});
    }

    // Shows a menu from this, a third thread, and returns the lines sent.
    std::vector<std::string> Show(int menuId)
    {
        phone.Forget();
        owner.Owner().ClearLog();
        EXPECT_EQ(1, link->ShowMenu(menuId));
        PumpMessagesFor(100);
        return phone.Lines();
    }

    ScriptedPhone phone{kPairA, ScriptedPhone::kAnswerOk};
    std::shared_ptr<MenuBook> book = std::make_shared<MenuBook>();
    OwnerThread owner{[book = book](const Notification& query, LPARAM lParam) {
        return book->Answer(query, lParam);
    }};
    LinkPtr link = MakeLink(kPairA, owner.Window());
};

using Lines = std::vector<std::string>;

TEST_F(LinkMenu, SubmenuAsksTheOwnerInOrderAndSendsOneLine)
{
    EXPECT_EQ(Lines({"AT*EASM=\"Show\",1,1,2,\"Next\",\"Back\",1"}), Show(3));
    EXPECT_NOTIFICATIONS(Queries(owner.Owner()), {{LN_MENU_TITLE, 3, nullptr},
                                                  {LN_MENU_EXISTS, 3, nullptr},
                                                  {LN_MENU_SELECTION, 3, nullptr},
                                                  {LN_ITEM_TEXT, 1, nullptr},
                                                  {LN_ITEM_TEXT, 2, nullptr},
                                                  {LN_ITEM_TEXT, 3, nullptr}});
    // 3 is now the current menu.
    EXPECT_EQ(Lines({"AT*EASM=\"Show\",1,1,2,\"Next\",\"Back\",1"}), Show(0));
}

TEST_F(LinkMenu, NewLinkShowsMenuOneAsCurrent)
{
    book->Put(1, {"Home", 2, {"A"}});
    EXPECT_EQ(Lines({"AT*EASM=\"Home\",1,2,1,\"A\",1"}), Show(0));
    EXPECT_EQ(LN_MENU_TITLE, Queries(owner.Owner()).at(0).code);
    EXPECT_EQ(1, Queries(owner.Owner()).at(0).value);
}

TEST_F(LinkMenu, TextsLoseLineBreaksTabsAndDoubleQuotes)
{
    book->Put(5, {"A\tB", 1, {"Line\r\nTwo", "say \"hi\""}});
    EXPECT_EQ(Lines({"AT*EASM=\"A B\",1,1,2,\"Line  Two\",\"say 'hi'\",1"}), Show(5));
}

TEST_F(LinkMenu, MenuWithoutItemsOrTitle)
{
    book->Put(6, {nullptr, 2, {}});
    EXPECT_EQ(Lines({"AT*EASM=\"\",1,2,0,1"}), Show(6));
}

TEST_F(LinkMenu, MissingMenuSendsNothingButBecomesCurrent)
{
    EXPECT_EQ(Lines(), Show(7));
    EXPECT_NOTIFICATIONS(Queries(owner.Owner()),
                         {{LN_MENU_TITLE, 7, nullptr}, {LN_MENU_EXISTS, 7, nullptr}});
    EXPECT_EQ(Lines(), Show(0));
    EXPECT_NOTIFICATIONS(Queries(owner.Owner()),
                         {{LN_MENU_TITLE, 7, nullptr}, {LN_MENU_EXISTS, 7, nullptr}});
    // What a resend then has after the title is nothing.
    EXPECT_EQ(Lines({"AT*EASM=\"\",1,"}), Show(-1));
}

TEST_F(LinkMenu, ResendTakesOnlyAFreshTitle)
{
    Show(3);
    book->Put(3, {"Play", 2, {"Other"}});
    EXPECT_EQ(Lines({"AT*EASM=\"Play\",1,1,2,\"Next\",\"Back\",1"}), Show(-1));
    EXPECT_NOTIFICATIONS(Queries(owner.Owner()), {{LN_MENU_TITLE, 3, nullptr}});

    // A resend of a resend still finds the fields after the new title.
    book->Put(3, {"Pause", 2, {"Other"}});
    EXPECT_EQ(Lines({"AT*EASM=\"Pause\",1,1,2,\"Next\",\"Back\",1"}), Show(-1));
}

TEST_F(LinkMenu, ResendBeforeAnySubmenuSendsNothing)
{
    EXPECT_EQ(Lines(), Show(-1));
    EXPECT_NOTIFICATIONS(Queries(owner.Owner()), {{LN_MENU_TITLE, 1, nullptr}});
}

TEST_F(LinkMenu, MenuIdsTravelAsTheirLowSixteenBits)
{
    EXPECT_EQ(Lines({"AT*EASM=\"Show\",1,1,2,\"Next\",\"Back\",1"}), Show(0x10003));
    EXPECT_EQ(3, Queries(owner.Owner()).at(0).value);
}

TEST_F(LinkMenu, EndlessItemsStopAtTheLineAReceiverReads)
{
    book->SetEndlessItems(true);
    const Lines lines = Show(3);
    ASSERT_EQ(1u, lines.size());
    const std::string& line = lines[0];
    EXPECT_LE(line.size(), 2047u);
    EXPECT_GT(line.size(), 2000u);
    // The count field says how many item fields follow.
    const size_t countAt = strlen("AT*EASM=\"Show\",1,1,");
    const int count = atoi(line.c_str() + countAt);
    size_t fields = 0;
    for (size_t at = line.find(",\"Item\""); at != std::string::npos;
         at = line.find(",\"Item\"", at + 1))
        ++fields;
    EXPECT_EQ(static_cast<size_t>(count), fields);
    EXPECT_EQ(",1", line.substr(line.size() - 2));
}

// Indications are left to the link by the owner and arrive while no command
// waits, so the reader translates them; the next submenu's command, made on
// the reader itself, cannot see the phone's OK and gives up after a second.
TEST_F(LinkMenu, IndicationsLeadToTheNextSubmenu)
{
    Show(3);
    book->Put(4, {"Four", 1, {"X"}});
    book->SetChosenAnswer(4);
    owner.Owner().ClearLog();
    phone.Forget();
    phone.Send("*EAMI: 2\r");
    ASSERT_TRUE(phone.WaitForLines(1, 3000));
    EXPECT_EQ(Lines({"AT*EASM=\"Four\",1,1,1,\"X\",1"}), phone.Lines());
    EXPECT_NOTIFICATIONS(Queries(owner.Owner()), {{LN_ITEM_CHOSEN, 3, "2"},
                                                  {LN_MENU_TITLE, 4, nullptr},
                                                  {LN_MENU_EXISTS, 4, nullptr},
                                                  {LN_MENU_SELECTION, 4, nullptr},
                                                  {LN_ITEM_TEXT, 1, nullptr},
                                                  {LN_ITEM_TEXT, 2, nullptr}});
    PumpMessagesFor(1200);  // the reader's own command gives up

    // 0 shows the current menu again, from fresh answers.
    book->SetChosenAnswer(0);
    owner.Owner().ClearLog();
    phone.Forget();
    phone.Send("*EAII: 5,3\r");
    ASSERT_TRUE(phone.WaitForLines(1, 3000));
    EXPECT_EQ(Lines({"AT*EASM=\"Four\",1,1,1,\"X\",1"}), phone.Lines());
    EXPECT_EQ(LN_ITEM_CHOSEN, Queries(owner.Owner()).at(0).code);
    EXPECT_EQ("3", Queries(owner.Owner()).at(0).text);
    PumpMessagesFor(1200);

    // Indications that name no item are dropped.
    owner.Owner().ClearLog();
    phone.Forget();
    phone.Send("*EAMI: 0\r");
    PumpMessagesFor(400);
    phone.Send("*EAII: 4,3\r");
    PumpMessagesFor(400);
    phone.Send("*EAII: 5\r");
    PumpMessagesFor(600);
    EXPECT_NOTIFICATIONS(Queries(owner.Owner()), {});
    EXPECT_EQ("", phone.Received());
}

}  // namespace
