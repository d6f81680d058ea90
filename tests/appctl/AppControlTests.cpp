// Closing, awaiting and starting the application, against real instances of
// the stand-in application and the product's own session table.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "FakeClock.h"
#include "TestSupport.h"
#include "appctl/AppControl.h"
#include "appctl/Product.h"
#include "appctl/ShellLaunch.h"
#include "base/ScopeGuard.h"
#include "instance/InstanceMngr.h"

// The process-wide registry, as the tool has it.
CInstanceMngr g_InstanceMngr;

namespace {

const DWORD kStartupLimitMs = 15000;
const DWORD kExitLimitMs = 10000;

std::wstring AppPath()
{
    return kvtest::BinDir() + g_szAppBaseName + g_szExeExtension;
}

std::wstring ClassOf(HWND hWnd)
{
    WCHAR szClass[256] = {};
    GetClassNameW(hWnd, szClass, 256);
    return szClass;
}

struct PROCESS_WINDOWS {
    DWORD dwProcessId;
    HWND hMain;
    HWND hDlg;
};

BOOL CALLBACK CollectWindow(HWND hWnd, LPARAM lParam)
{
    auto* pWindows = reinterpret_cast<PROCESS_WINDOWS*>(lParam);
    DWORD dwProcessId = 0;
    GetWindowThreadProcessId(hWnd, &dwProcessId);
    if (dwProcessId != pWindows->dwProcessId)
        return TRUE;
    if (ClassOf(hWnd).rfind(g_szAppMainWndClass, 0) == 0)
        pWindows->hMain = hWnd;
    else if (ClassOf(hWnd) == L"#32770")
        pWindows->hDlg = hWnd;
    return TRUE;
}

PROCESS_WINDOWS WindowsOf(DWORD dwProcessId)
{
    PROCESS_WINDOWS windows = {dwProcessId, nullptr, nullptr};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

std::wstring ImageOf(HWND hWnd)
{
    DWORD dwProcessId = 0;
    GetWindowThreadProcessId(hWnd, &dwProcessId);
    HANDLE hProcess = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, dwProcessId);
    WCHAR szImage[MAX_PATH * 2] = {};
    DWORD cch = MAX_PATH * 2;
    if (hProcess) {
        QueryFullProcessImageNameW(hProcess, 0, szImage, &cch);
        CloseHandle(hProcess);
    }
    return szImage;
}

// One stand-in instance this test started. It is never left running: what
// a close request did not end is closed plainly, then killed, and a record
// it could not remove is removed for it.
class CStandinApp {
public:
    explicit CStandinApp(const std::wstring& switches = L"")
    {
        std::wstring commandLine = L"\"" + AppPath() + L"\" " + switches;
        std::vector<WCHAR> buffer(commandLine.begin(), commandLine.end());
        buffer.push_back(L'\0');
        STARTUPINFOW si = {};
        si.cb = sizeof(si);
        if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &m_pi))
            return;
        CloseHandle(m_pi.hThread);
        // Ready once its windows exist and its record names its main window.
        DWORD dwStart = GetTickCount();
        while (GetTickCount() - dwStart < kStartupLimitMs) {
            m_windows = WindowsOf(m_pi.dwProcessId);
            if (m_windows.hMain && m_windows.hDlg && g_InstanceMngr.FindMainWnd(nullptr) == m_windows.hMain)
                return;
            Sleep(50);
        }
    }

    ~CStandinApp()
    {
        if (!m_pi.hProcess)
            return;
        if (IsRunning()) {
            PostMessageW(m_windows.hMain, WM_CLOSE, 0, 0);
            if (WaitForSingleObject(m_pi.hProcess, kExitLimitMs) != WAIT_OBJECT_0) {
                TerminateProcess(m_pi.hProcess, 0xDEAD);
                WaitForSingleObject(m_pi.hProcess, INFINITE);
                if (g_InstanceMngr.FindMainWnd(nullptr) == m_windows.hMain)
                    g_InstanceMngr.RemoveSession(nullptr);
            }
        }
        CloseHandle(m_pi.hProcess);
    }
    CStandinApp(const CStandinApp&) = delete;
    CStandinApp& operator=(const CStandinApp&) = delete;

    bool IsReady() const { return m_windows.hMain && m_windows.hDlg; }
    bool IsRunning() const { return WaitForSingleObject(m_pi.hProcess, 0) == WAIT_TIMEOUT; }
    HWND MainWindow() const { return m_windows.hMain; }
    HWND DialogWindow() const { return m_windows.hDlg; }

    // The number of close requests it got, once it has ended; -1 while it runs.
    int CloseRequests(DWORD dwWaitMs = kExitLimitMs) const
    {
        DWORD dwExitCode = 0;
        if (WaitForSingleObject(m_pi.hProcess, dwWaitMs) != WAIT_OBJECT_0 ||
            !GetExitCodeProcess(m_pi.hProcess, &dwExitCode))
            return -1;
        return static_cast<int>(dwExitCode);
    }

private:
    PROCESS_INFORMATION m_pi = {};
    PROCESS_WINDOWS m_windows = {0, nullptr, nullptr};
};

// A window of this test program, which is not the application: it records
// the messages the tool could send it.
class CBystanderWindow {
public:
    CBystanderWindow(LPCWSTR szClass = L"KvBystander")
    {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = WndProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = szClass;
        RegisterClassW(&wc);
        m_hWnd = CreateWindowW(szClass, L"bystander", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                               wc.hInstance, nullptr);
        s_nMessages = 0;
    }
    ~CBystanderWindow()
    {
        if (m_hWnd)
            DestroyWindow(m_hWnd);
    }
    CBystanderWindow(const CBystanderWindow&) = delete;
    CBystanderWindow& operator=(const CBystanderWindow&) = delete;

    HWND Get() const { return m_hWnd; }
    // Handles what was posted to it and tells how many close or cancel
    // messages came.
    static int CloseMessages()
    {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
        return s_nMessages;
    }

private:
    static LRESULT CALLBACK WndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
    {
        if (uMsg == WM_CLOSE || (uMsg == WM_COMMAND && LOWORD(wParam) == IDCANCEL)) {
            ++s_nMessages;
            return 0;
        }
        return DefWindowProcW(hWnd, uMsg, wParam, lParam);
    }

    static inline int s_nMessages = 0;
    HWND m_hWnd;
};

// Ends every instance of the application that is running: what a test
// started through the shell, whose process it does not hold. Only tests that
// found none running at their start call it.
void EndRunningInstances()
{
    for (int n = 0; n <= g_nAppMaxInstanceNumber; ++n) {
        WCHAR szClass[128];
        HWND hWnd = nullptr;
        while (GetAppMainWndClass(n, szClass, 128) && (hWnd = FindWindowW(szClass, nullptr)) != nullptr) {
            DWORD dwProcessId = 0;
            GetWindowThreadProcessId(hWnd, &dwProcessId);
            HANDLE hProcess = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, dwProcessId);
            if (!hProcess)
                break;
            PostMessageW(hWnd, WM_CLOSE, 0, 0);
            if (WaitForSingleObject(hProcess, kExitLimitMs) != WAIT_OBJECT_0) {
                TerminateProcess(hProcess, 0xDEAD);
                WaitForSingleObject(hProcess, INFINITE);
            }
            CloseHandle(hProcess);
        }
    }
}

class AppControlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(FindAppMainWindow(-1) && IsWindow(FindAppMainWindow(-1)), false)
            << "an application instance is already running";
        m_hHeaderBefore = g_InstanceMngr.GetCurrentMainWnd();
    }
    void TearDown() override { g_InstanceMngr.SetCurrentMainWnd(m_hHeaderBefore); }

    HWND m_hHeaderBefore = nullptr;
};

TEST_F(AppControlTest, WithoutAnApplicationNothingWaits)
{
    kvtest::CFakeClock clock;
    CloseApplication(g_szAppMainWndClass);
    EXPECT_TRUE(WaitApplicationExit());
    EXPECT_EQ(clock.Sleeps(), 0);
}

// Real time, real instances: the first one by its class, the second (class
// "<class>:1") through its record in the table.
TEST_F(AppControlTest, OneOrTwoInstancesAreClosed)
{
    for (int nInstances : {1, 2}) {
        SCOPED_TRACE(nInstances);
        CStandinApp first;
        ASSERT_TRUE(first.IsReady());
        std::vector<CStandinApp*> instances = {&first};
        std::unique_ptr<CStandinApp> second;
        if (nInstances == 2) {
            second = std::make_unique<CStandinApp>();
            ASSERT_TRUE(second->IsReady());
            EXPECT_EQ(ClassOf(second->MainWindow()), std::wstring(g_szAppMainWndClass) + L":1");
            instances.push_back(second.get());
        }

        CloseApplication(g_szAppMainWndClass);
        EXPECT_TRUE(WaitApplicationExit());
        for (CStandinApp* pInstance : instances)
            EXPECT_GE(pInstance->CloseRequests(), 1);
        EXPECT_EQ(g_InstanceMngr.GetSessionCount(), 0) << "each instance removed its record";
    }
}

TEST_F(AppControlTest, AnInstanceThatClosesOnTheThirdRequestGetsThreeRequestsAndThreePauses)
{
    CStandinApp app(L"/closeafter:3");
    ASSERT_TRUE(app.IsReady());
    kvtest::CFakeClock clock(1000);
    CloseApplication(g_szAppMainWndClass);
    EXPECT_EQ(clock.Sleeps(), 3);
    EXPECT_EQ(app.CloseRequests(), 3);
    EXPECT_TRUE(WaitApplicationExit());
}

// Nothing is ended by force: the tool gives up, and says so.
TEST_F(AppControlTest, AnInstanceThatIgnoresCloseRequestsIsLeftRunning)
{
    CStandinApp app(L"/ignoreclose");
    ASSERT_TRUE(app.IsReady());
    kvtest::CFakeClock clock(20);
    CloseApplication(g_szAppMainWndClass);
    EXPECT_EQ(clock.Sleeps(), 10);
    EXPECT_FALSE(WaitApplicationExit());
    EXPECT_EQ(clock.Sleeps(), 30);
    EXPECT_EQ(clock.Slept(), 30000u);

    EXPECT_TRUE(app.IsRunning());
    EXPECT_FALSE(IsWindow(app.DialogWindow())) << "its dialog gave way to the cancel command";
    EXPECT_EQ(g_InstanceMngr.FindDlgWnd(nullptr), nullptr);
    PostMessageW(app.MainWindow(), WM_CLOSE, 0, 0);
    EXPECT_EQ(app.CloseRequests(), 30) << "ten requests by class, twenty through the table";
}

TEST_F(AppControlTest, AStaleCurrentWindowCountsAsGone)
{
    HWND hStale = CBystanderWindow().Get();
    ASSERT_FALSE(IsWindow(hStale));
    g_InstanceMngr.SetCurrentMainWnd(hStale);
    kvtest::CFakeClock clock;
    EXPECT_TRUE(WaitApplicationExit());
    EXPECT_EQ(clock.Sleeps(), 0);
}

// Any user can write the table. A record that points at another program's
// windows gets them no message, and does not keep the tool waiting.
TEST_F(AppControlTest, AForgedRecordGetsNoMessageAndDoesNotHoldTheWait)
{
    CBystanderWindow main;
    CBystanderWindow dialog(L"KvBystanderDialog");
    ASSERT_TRUE(main.Get() && dialog.Get());
    const WCHAR szForger[] = L"forger";
    g_InstanceMngr.RegisterMainWnd(main.Get(), szForger);
    g_InstanceMngr.RegisterDlgWnd(dialog.Get(), szForger);

    kvtest::CFakeClock clock;
    CloseApplication(g_szAppMainWndClass);
    EXPECT_TRUE(WaitApplicationExit());
    EXPECT_EQ(clock.Sleeps(), 0);
    EXPECT_EQ(CBystanderWindow::CloseMessages(), 0);
    EXPECT_TRUE(IsWindow(main.Get()));
    EXPECT_TRUE(g_InstanceMngr.RemoveSession(szForger));
}

// Windows of this test program stand in classes 0 to 3, so the stand-in
// takes number 4; being no windows of the application, they are passed over.
TEST_F(AppControlTest, TheMainWindowIsTheRecordedOneElseTheFirstNumberedClassWithAnApplicationWindow)
{
    std::vector<std::unique_ptr<CBystanderWindow>> foreign;
    for (int n = 0; n < 4; ++n) {
        WCHAR szClass[128];
        ASSERT_TRUE(GetAppMainWndClass(n, szClass, 128));
        foreign.push_back(std::make_unique<CBystanderWindow>(szClass));
        ASSERT_NE(foreign.back()->Get(), nullptr);
    }
    CStandinApp app;
    ASSERT_TRUE(app.IsReady());
    ASSERT_EQ(ClassOf(app.MainWindow()), std::wstring(g_szAppMainWndClass) + L":4");

    g_InstanceMngr.SetCurrentMainWnd(nullptr);
    EXPECT_EQ(FindAppMainWindow(-1), app.MainWindow());
    EXPECT_EQ(FindAppMainWindow(4), app.MainWindow());
    EXPECT_EQ(FindAppMainWindow(3), nullptr) << "only a foreign window has that class";

    g_InstanceMngr.SetCurrentMainWnd(app.MainWindow());
    EXPECT_EQ(FindAppMainWindow(3), app.MainWindow()) << "the recorded window, without a class search";
    // A recorded handle that is no window of the application does not count
    // as the instance: the class search runs instead.
    for (HWND hRecorded : {reinterpret_cast<HWND>(0x1234), foreign[0]->Get()}) {
        g_InstanceMngr.SetCurrentMainWnd(hRecorded);
        EXPECT_EQ(FindAppMainWindow(-1), app.MainWindow());
    }
}

// Another program's window of the product's class, found first by the class:
// it gets nothing, the instance behind it is closed, and the stop pauses no
// longer than the instance takes to end.
TEST_F(AppControlTest, AForeignWindowOfTheClassGetsNothingAndHidesNoInstance)
{
    CStandinApp app;
    ASSERT_TRUE(app.IsReady());
    ASSERT_EQ(ClassOf(app.MainWindow()), g_szAppMainWndClass);
    CBystanderWindow foreign(g_szAppMainWndClass);
    ASSERT_NE(foreign.Get(), nullptr);
    SetWindowPos(foreign.Get(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ASSERT_EQ(FindWindowW(g_szAppMainWndClass, nullptr), foreign.Get()) << "the foreign window comes first";

    kvtest::CFakeClock clock(5000);
    EXPECT_TRUE(StopApplication());
    EXPECT_EQ(app.CloseRequests(), 1);
    EXPECT_EQ(CBystanderWindow::CloseMessages(), 0);
    EXPECT_TRUE(IsWindow(foreign.Get()));
    EXPECT_EQ(clock.Sleeps(), 1) << "one pause after the one request";
    EXPECT_EQ(clock.Slept(), 0u) << "the pause ended with the instance's process";
}

TEST_F(AppControlTest, TheApplicationIsStartedFromTheInstallFolder)
{
    kvtest::CRegValueRestore restore(HKEY_LOCAL_MACHINE, g_szProductRegKey, g_szInstallDirValue);
    kvtest::CScratchDir installDir(L"kv install");
    ASSERT_TRUE(kvtest::CopyInto(AppPath(), installDir / (std::wstring(g_szAppBaseName) + g_szExeExtension)));
    // A folder whose path, the file name appended, would be cut to
    // "<folder>\QuorvaneApp": a program of that name lies there.
    std::wstring tooLong = installDir.Path();
    while (tooLong.size() + 100 < 248) {
        tooLong += std::wstring(99, L'd') + L"\\";
        CreateDirectoryW(tooLong.c_str(), nullptr);
    }
    tooLong += std::wstring(248 - tooLong.size() - 1, L'e') + L"\\";
    ASSERT_TRUE(CreateDirectoryW(tooLong.c_str(), nullptr));
    ASSERT_TRUE(kvtest::CopyInto(AppPath(), tooLong + g_szAppBaseName));

    struct {
        const char* szWhat;
        std::wstring folder;
        BOOL bStarted;
    } cases[] = {
        {"installed", installDir.Path(), TRUE},
        {"no program in the folder", installDir / L"empty\\", FALSE},
        // Folder and file name together do not fit a path: nothing is started
        // under a cut name.
        {"folder too long", tooLong, FALSE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.szWhat);
        CreateDirectoryW(c.folder.c_str(), nullptr);
        ASSERT_TRUE(kvtest::SetRegString(HKEY_LOCAL_MACHINE, g_szProductRegKey, g_szInstallDirValue, c.folder.c_str()));
        BOOL bStarted = StartApplication();
        EXPECT_EQ(bStarted, c.bStarted);
        if (!bStarted)
            continue;
        auto end = MakeScopeGuard(EndRunningInstances);
        HWND hWnd = nullptr;
        for (DWORD dwStart = GetTickCount(); !hWnd && GetTickCount() - dwStart < kStartupLimitMs; Sleep(50))
            hWnd = FindWindowW(g_szAppMainWndClass, nullptr);
        ASSERT_NE(hWnd, nullptr);
        EXPECT_EQ(kvtest::ToUtf8(ImageOf(hWnd)), kvtest::ToUtf8(installDir / L"QuorvaneApp.exe"));
    }
}

// What the application start asks the shell to start; nothing is started.
int g_nLaunches = 0;
std::wstring g_launchedFile;

BOOL WINAPI RecordLaunch(SHELLEXECUTEINFOW* pInfo)
{
    ++g_nLaunches;
    g_launchedFile = pInfo->lpFile ? pInfo->lpFile : L"";
    return TRUE;
}

// Only a usable install folder gives the application's path; anything else
// starts nothing, never the bare name that a search would resolve, and says
// why in one line.
TEST_F(AppControlTest, TheApplicationIsStartedOnlyByItsFullPathInAUsableInstallFolder)
{
    kvtest::CRegValueRestore restore(HKEY_LOCAL_MACHINE, g_szProductRegKey, g_szInstallDirValue);
    kvtest::CScratchDir installDir(L"kv app");
    const std::wstring app = std::wstring(g_szAppBaseName) + g_szExeExtension;
    std::wstring tooLong = installDir.Path() + std::wstring(247 - installDir.Path().size(), L'l') + L"\\";
    ASSERT_TRUE(CreateDirectoryW(tooLong.c_str(), nullptr));
    const std::wstring missing = installDir / L"missing\\";
    const std::wstring unterminated = installDir.Path().substr(0, installDir.Path().size() - 1);

    struct {
        const char* szWhat;
        const wchar_t* szFolder;  // null: no value
        std::wstring line;        // empty: started
    } const cases[] = {
        {"usable", installDir.Path().c_str(), L""},
        {"usable without its backslash", unterminated.c_str(), L""},
        {"none registered", nullptr, L"Error: no install folder of the product is registered.\r\n"},
        {"empty", L"", L"Error: no install folder of the product is registered.\r\n"},
        {"relative", L"Quorvane\\", L"Error: the install folder Quorvane\\ is not a full path.\r\n"},
        {"rooted on the current drive", L"\\Quorvane\\",
         L"Error: the install folder \\Quorvane\\ is not a full path.\r\n"},
        {"missing", missing.c_str(), L"Error: the install folder " + missing + L" is not an existing folder.\r\n"},
        {"too long for the file name", tooLong.c_str(),
         L"Error: the install folder " + tooLong + L" is too long for " + app + L".\r\n"},
    };
    static const SHELL_LAUNCH_HOOKS kRecorder = {RecordLaunch};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.szWhat);
        ASSERT_TRUE(kvtest::SetRegString(HKEY_LOCAL_MACHINE, g_szProductRegKey, g_szInstallDirValue, c.szFolder));
        g_nLaunches = 0;
        const SHELL_LAUNCH_HOOKS* pPrevious = SetShellLaunchHooks(&kRecorder);
        kvtest::CStdoutCapture capture;
        BOOL bStarted = StartApplication();
        std::string output = capture.Finish();
        SetShellLaunchHooks(pPrevious);

        EXPECT_EQ(bStarted, c.line.empty());
        EXPECT_EQ(output, kvtest::ToAnsi(c.line));
        EXPECT_EQ(g_nLaunches, c.line.empty() ? 1 : 0);
        if (c.line.empty()) {
            EXPECT_EQ(kvtest::ToUtf8(g_launchedFile), kvtest::ToUtf8(installDir / app));
        }
    }
}

}  // namespace
