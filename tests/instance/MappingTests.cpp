// The named mapping and the mutex behind the session table: made when no one
// has made them, taken as they are when the application has, and never a
// reason for the tool to hang or to write where it should not.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "FakeClock.h"
#include "InstanceTestSupport.h"
#include "base/Text.h"
#include "instance/Security.h"

namespace {

using kvtest::CPrivateTable;
using kvtest::MakePrivateNames;
using kvtest::PRIVATE_NAMES;

TEST(CommMappingFile, CreateThenOpenShareOneBlockOfMemory)
{
    PRIVATE_NAMES names = MakePrivateNames();
    CCommMappingFile creator(names.mapping.c_str());
    EXPECT_EQ(creator.Create(4096, FALSE), 1);
    DWORD dwSize = 0;
    auto* pCreated = static_cast<char*>(creator.MapView(&dwSize));
    ASSERT_NE(pCreated, nullptr);
    EXPECT_EQ(dwSize, 4096u);
    EXPECT_EQ(creator.MapView(nullptr), pCreated) << "an existing view is handed out again";
    const char szWritten[] = "written by the creator";
    memcpy(pCreated, szWritten, sizeof(szWritten));

    CCommMappingFile second(names.mapping.c_str());
    EXPECT_EQ(second.Create(4096, FALSE), 2);
    CCommMappingFile reader(names.mapping.c_str());
    ASSERT_TRUE(reader.Open(TRUE));
    auto* pRead = static_cast<const char*>(reader.MapView(nullptr));
    ASSERT_NE(pRead, nullptr);
    EXPECT_STREQ(pRead, "written by the creator");

    creator.CloseMapping();
    EXPECT_EQ(creator.MapView(nullptr), nullptr);
}

TEST(CommMappingFile, WithoutANameOrAnObjectThereIsNothingToMap)
{
    CCommMappingFile unnamed(nullptr);
    EXPECT_EQ(unnamed.Create(4096, FALSE), 0);
    EXPECT_FALSE(unnamed.Open(FALSE));
    EXPECT_EQ(unnamed.MapView(nullptr), nullptr);

    CCommMappingFile absent(MakePrivateNames().mapping.c_str());
    EXPECT_FALSE(absent.Open(FALSE));
    EXPECT_EQ(absent.MapView(nullptr), nullptr);
}

TEST(InstanceRegistry, ANewTableStartsEmpty)
{
    CPrivateTable table;
    ASSERT_NE(table.Peer(), nullptr) << "the registry made the mapping, the peer opened it";
    const auto* pBytes = reinterpret_cast<const unsigned char*>(table.Peer());
    size_t cbNonZero = 0;
    for (size_t i = 0; i < sizeof(SESSION_TABLE); ++i)
        cbNonZero += pBytes[i] != 0;
    EXPECT_EQ(cbNonZero, 0u);
    EXPECT_EQ(table.Registry().GetCurrentMainWnd(), nullptr);
    EXPECT_EQ(table.Registry().GetSessionCount(), 0);
}

TEST(InstanceRegistry, ATableTheApplicationMadeIsReadAsItStands)
{
    PRIVATE_NAMES names = MakePrivateNames();
    CCommMappingFile application(names.mapping.c_str());
    ASSERT_EQ(application.Create(sizeof(SESSION_TABLE), FALSE), 1);
    auto* pTable = static_cast<SESSION_TABLE*>(application.MapView(nullptr));
    ASSERT_NE(pTable, nullptr);
    pTable->hWndMain = 0x4242;
    pTable->dwReserved = 7;
    pTable->nCount = 1;
    pTable->items[0].hWndMain = 0x4242;
    pTable->items[0].hWndDlg = 0x4343;
    CopyText(pTable->items[0].szUserName, g_nSessionUserUnits, L"alice");

    CInstanceMngr registry(names.mapping.c_str(), names.mutex.c_str());
    EXPECT_EQ(registry.GetCurrentMainWnd(), reinterpret_cast<HWND>(0x4242));
    EXPECT_EQ(registry.FindDlgWnd(L"alice"), reinterpret_cast<HWND>(0x4343));
    EXPECT_EQ(pTable->dwReserved, 7u);
}

// Another program got the name first with a block too small for the table:
// no record may be read or written past its end.
TEST(InstanceRegistry, AMappingTooSmallForTheTableGivesNoTable)
{
    PRIVATE_NAMES names = MakePrivateNames();
    CCommMappingFile squatter(names.mapping.c_str());
    ASSERT_EQ(squatter.Create(4096, FALSE), 1);

    CInstanceMngr registry(names.mapping.c_str(), names.mutex.c_str());
    EXPECT_EQ(registry.GetCurrentMainWnd(), nullptr);
    EXPECT_EQ(registry.AddSession(L"alice"), nullptr);
    EXPECT_FALSE(registry.RegisterMainWnd(reinterpret_cast<HWND>(0x10), L"alice"));
    EXPECT_EQ(registry.FindSessionIndex(L"alice"), -1);
    EXPECT_EQ(registry.GetSessionCount(), 0);
    EXPECT_FALSE(registry.RemoveSession(L"alice"));
    registry.CloseAllSessions();
}

// Holds the mutex of the given name on another thread until told to let go,
// or until it ends, which abandons the mutex.
class CMutexHolder {
public:
    CMutexHolder(const std::wstring& name, bool bAbandon)
        : m_hLetGo(CreateEventW(nullptr, TRUE, FALSE, nullptr)), m_hHeld(CreateEventW(nullptr, TRUE, FALSE, nullptr))
    {
        m_thread = std::thread([this, name, bAbandon] {
            HANDLE hMutex = CreateGlobalMutex(TRUE, name.c_str(), TRUE);
            SetEvent(m_hHeld);
            if (bAbandon)
                return;
            WaitForSingleObject(m_hLetGo, INFINITE);
            ReleaseMutex(hMutex);
            CloseHandle(hMutex);
        });
        WaitForSingleObject(m_hHeld, INFINITE);
        if (bAbandon)
            m_thread.join();
    }
    ~CMutexHolder()
    {
        SetEvent(m_hLetGo);
        if (m_thread.joinable())
            m_thread.join();
        CloseHandle(m_hLetGo);
        CloseHandle(m_hHeld);
    }

private:
    HANDLE m_hLetGo;
    HANDLE m_hHeld;
    std::thread m_thread;
};

bool CanTakeMutex(const std::wstring& name)
{
    bool bTaken = false;
    std::thread([&] {
        HANDLE hMutex = CreateGlobalMutex(FALSE, name.c_str(), TRUE);
        DWORD dwWait = WaitForSingleObject(hMutex, 0);
        bTaken = dwWait == WAIT_OBJECT_0 || dwWait == WAIT_ABANDONED;
        if (bTaken)
            ReleaseMutex(hMutex);
        CloseHandle(hMutex);
    }).join();
    return bTaken;
}

// Anyone may hold the mutex: the start-up gives up waiting after ten seconds
// and makes the table all the same; an abandoned mutex is simply taken.
TEST(InstanceRegistry, TheStartUpWaitForTheMutexIsBounded)
{
    struct {
        bool bAbandon;
        DWORD dwMinWait;
        DWORD dwMaxWait;
        bool bFreeAfterwards;
    } cases[] = {
        {false, 10000, 10100, false},
        {true, 0, 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bAbandon ? "abandoned" : "held");
        PRIVATE_NAMES names = MakePrivateNames();
        CMutexHolder holder(names.mutex, c.bAbandon);
        kvtest::CFakeClock clock;
        CInstanceMngr registry(names.mapping.c_str(), names.mutex.c_str());
        EXPECT_GE(clock.Slept(), c.dwMinWait);
        EXPECT_LE(clock.Slept(), c.dwMaxWait);
        EXPECT_TRUE(registry.SetCurrentMainWnd(reinterpret_cast<HWND>(0x10))) << "the table was made";
        EXPECT_EQ(CanTakeMutex(names.mutex), c.bFreeAfterwards);
    }
}

}  // namespace
