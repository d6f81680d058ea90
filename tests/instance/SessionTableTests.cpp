// The records of the session table: how they are added, found, counted and
// removed, and what a table written by a careless or hostile program does.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "InstanceTestSupport.h"
#include "TestSupport.h"

namespace {

using kvtest::CPrivateTable;

HWND Wnd(ULONG_PTR nValue)
{
    return reinterpret_cast<HWND>(nValue);
}

std::wstring CurrentUser()
{
    WCHAR szUser[128] = {};
    DWORD cch = 127;
    GetUserNameW(szUser, &cch);
    return szUser;
}

std::vector<std::wstring> UsersInOrder(const SESSION_TABLE& table)
{
    std::vector<std::wstring> users;
    for (LONG i = 0; i < table.nCount && i < g_nMaxSessions; ++i)
        users.push_back(table.items[i].szUserName);
    return users;
}

TEST(SessionTable, RecordsAreKeyedByTheFirst127CharactersOfTheUserNameCaseSensitively)
{
    CPrivateTable table;
    ASSERT_NE(table.Peer(), nullptr);
    CInstanceMngr& registry = table.Registry();
    const std::wstring name127(127, L'x');
    SESSION_ITEM* pFirst = registry.AddSession(L"alice");
    ASSERT_NE(pFirst, nullptr);
    ASSERT_NE(registry.AddSession((name127 + L"tail").c_str()), nullptr);
    ASSERT_NE(registry.AddSession(nullptr), nullptr);
    EXPECT_EQ(table.Peer()->nCount, 3);
    EXPECT_EQ(table.Peer()->items[1].szUserName[127], L'\0');

    struct {
        std::wstring user;
        int iExpected;
    } cases[] = {
        {L"alice", 0},           {L"Alice", -1},     {L"alic", -1},
        {L"alice2", -1},         {name127, 1},       {name127 + L"other tail", 1},
        {name127.substr(1), -1}, {CurrentUser(), 2}, {L"", 2},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(registry.FindSessionIndex(c.user.c_str()), c.iExpected)
            << "user \"" << kvtest::ToUtf8(c.user) << "\"";
        SESSION_ITEM* pItem = registry.FindSession(c.user.c_str());
        EXPECT_EQ(pItem, c.iExpected < 0 ? nullptr : pFirst + c.iExpected);
    }
    EXPECT_EQ(registry.FindSessionIndex(nullptr), 2);
    EXPECT_EQ(registry.AddSession(L"alice"), pFirst) << "a known user gets its own record";
    EXPECT_EQ(table.Peer()->nCount, 3);
}

TEST(SessionTable, WindowsAreRecordedPerUserAndTheLastMainWindowIsCurrent)
{
    CPrivateTable table;
    ASSERT_NE(table.Peer(), nullptr);
    CInstanceMngr& registry = table.Registry();
    EXPECT_TRUE(registry.RegisterMainWnd(Wnd(0x100), L"alice"));
    EXPECT_TRUE(registry.RegisterDlgWnd(Wnd(0x101), L"alice"));
    EXPECT_TRUE(registry.RegisterDlgWnd(Wnd(0x201), L"bob"));
    EXPECT_TRUE(registry.RegisterMainWnd(Wnd(0x200), L"bob"));

    EXPECT_EQ(table.Peer()->hWndMain, 0x200u);
    EXPECT_EQ(table.Peer()->hWndDlg, 0u) << "registering a dialog leaves the header alone";
    EXPECT_EQ(registry.GetCurrentMainWnd(), Wnd(0x200));
    EXPECT_EQ(registry.FindMainWnd(L"alice"), Wnd(0x100));
    EXPECT_EQ(registry.FindDlgWnd(L"alice"), Wnd(0x101));
    EXPECT_EQ(registry.FindDlgWnd(L"bob"), Wnd(0x201));
    EXPECT_EQ(registry.FindMainWnd(L"carol"), Wnd(0x200)) << "an unknown user gets the current main window";
    EXPECT_EQ(registry.FindDlgWnd(L"carol"), nullptr);
    EXPECT_EQ(registry.GetSessionCount(), 2);

    EXPECT_TRUE(registry.SetCurrentMainWnd(Wnd(0x100)));
    EXPECT_EQ(table.Peer()->hWndMain, 0x100u);
}

TEST(SessionTable, OnlyRecordsWithAUserAndAMainWindowCount)
{
    CPrivateTable table;
    ASSERT_NE(table.Peer(), nullptr);
    CInstanceMngr& registry = table.Registry();
    registry.RegisterMainWnd(Wnd(0x100), L"alice");
    registry.RegisterDlgWnd(Wnd(0x201), L"bob");
    registry.RegisterMainWnd(Wnd(0x300), L"carol");
    table.Peer()->items[2].szUserName[0] = L'\0';
    EXPECT_EQ(registry.GetSessionCount(), 1);
}

TEST(SessionTable, RemovingARecordClosesTheGapAndKeepsACurrentWindowWhileRecordsRemain)
{
    struct {
        const wchar_t* szCurrent;  // whose main window is current; null: the last registered
        const wchar_t* szRemoved;
        BOOL bRemoved;
        std::vector<std::wstring> remaining;
        DWORD hWndMain;
        DWORD hWndDlg;
    } cases[] = {
        // The last record goes: the one now last becomes current, not the
        // removed windows left behind in its old slot.
        {nullptr, L"c", TRUE, {L"a", L"b"}, 0x20, 0x21},       {nullptr, L"a", TRUE, {L"b", L"c"}, 0x30, 0},
        {L"b", L"b", TRUE, {L"a", L"c"}, 0x30, 0x31},          {L"a", L"a", TRUE, {L"b", L"c"}, 0x20, 0x21},
        {nullptr, L"zed", FALSE, {L"a", L"b", L"c"}, 0x30, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(kvtest::ToUtf8(c.szRemoved));
        CPrivateTable table;
        ASSERT_NE(table.Peer(), nullptr);
        CInstanceMngr& registry = table.Registry();
        const wchar_t* users[] = {L"a", L"b", L"c"};
        for (int i = 0; i < 3; ++i) {
            registry.RegisterMainWnd(Wnd(0x10 * (i + 1)), users[i]);
            registry.RegisterDlgWnd(Wnd(0x10 * (i + 1) + 1), users[i]);
        }
        if (c.szCurrent)
            registry.SetCurrentMainWnd(registry.FindMainWnd(c.szCurrent));

        EXPECT_EQ(registry.RemoveSession(c.szRemoved), c.bRemoved);
        EXPECT_EQ(UsersInOrder(*table.Peer()), c.remaining);
        EXPECT_EQ(table.Peer()->hWndMain, c.hWndMain);
        EXPECT_EQ(table.Peer()->hWndDlg, c.hWndDlg);
    }
}

TEST(SessionTable, RemovingTheOnlyRecordLeavesNoCurrentWindow)
{
    CPrivateTable table;
    ASSERT_NE(table.Peer(), nullptr);
    CInstanceMngr& registry = table.Registry();
    registry.RegisterMainWnd(Wnd(0x10), L"a");
    table.Peer()->hWndDlg = 0x11;
    registry.RegisterDlgWnd(Wnd(0x11), L"a");
    EXPECT_TRUE(registry.RemoveSession(L"a"));
    EXPECT_EQ(table.Peer()->nCount, 0);
    EXPECT_EQ(table.Peer()->hWndMain, 0u);
    EXPECT_EQ(table.Peer()->hWndDlg, 0u);
    EXPECT_FALSE(registry.RemoveSession(L"a"));
}

TEST(SessionTable, AFullTableTakesNoNewUser)
{
    CPrivateTable table;
    ASSERT_NE(table.Peer(), nullptr);
    CInstanceMngr& registry = table.Registry();
    SESSION_ITEM* pFirst = registry.AddSession(L"user0");
    ASSERT_NE(pFirst, nullptr);
    for (int i = 1; i < g_nMaxSessions; ++i)
        ASSERT_NE(registry.AddSession((L"user" + std::to_wstring(i)).c_str()), nullptr) << i;
    EXPECT_EQ(registry.AddSession(L"one too many"), nullptr);
    EXPECT_FALSE(registry.RegisterMainWnd(Wnd(0x10), L"one too many"));
    EXPECT_EQ(table.Peer()->nCount, g_nMaxSessions);
    EXPECT_EQ(registry.AddSession(L"user100"), pFirst + 100);
}

// The table has a null DACL: any user's program may write any count into it.
TEST(SessionTable, AForgedRecordCountIsBoundedToTheTable)
{
    struct {
        LONG nForged;
        int iAlice;
        bool bAdded;
        LONG nCountAfterAdd;
    } cases[] = {
        {-5, -1, true, 1},
        {INT_MIN, -1, true, 1},
        {102, 0, false, 102},
        {INT_MAX, 0, false, INT_MAX},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.nForged);
        CPrivateTable table;
        ASSERT_NE(table.Peer(), nullptr);
        CInstanceMngr& registry = table.Registry();
        registry.RegisterMainWnd(Wnd(0x10), L"alice");
        // Names of the records beyond must not run past the table either.
        for (SESSION_ITEM& item : table.Peer()->items)
            item.hWndMain = 0x7777;
        for (WCHAR& ch : table.Peer()->items[g_nMaxSessions - 1].szUserName)
            ch = L'z';
        table.Peer()->nCount = c.nForged;

        EXPECT_EQ(registry.FindSessionIndex(L"alice"), c.iAlice);
        EXPECT_EQ(registry.FindSessionIndex(std::wstring(127, L'z').c_str()), c.iAlice < 0 ? -1 : g_nMaxSessions - 1);
        EXPECT_EQ(registry.GetSessionCount(), c.iAlice < 0 ? 0 : 2);
        registry.CloseAllSessions();
        EXPECT_EQ(registry.AddSession(L"bob") != nullptr, c.bAdded);
        EXPECT_EQ(table.Peer()->nCount, c.nCountAfterAdd);
    }
}

}  // namespace
