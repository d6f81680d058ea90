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
#include "base/Sessions.h"
#include "instance/InstanceMngr.h"

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

// The main window of an instance just started, or null once the start-up
// limit has passed.
HWND WaitForMainWindow()
{
    HWND hWnd = nullptr;
    for (DWORD dwStart = GetTickCount(); !hWnd && GetTickCount() - dwStart < kStartupLimitMs; Sleep(50))
        hWnd = FindWindowW(g_szAppMainWndClass, nullptr);
    return hWnd;
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
    // bWindows false: an instance started with /nowindow, ready once it runs.
    explicit CStandinApp(const std::wstring& switches = L"", bool bWindows = true)
    {
        std::wstring commandLine = L"\"" + AppPath() + L"\" " + switches;
        std::vector<WCHAR> buffer(commandLine.begin(), commandLine.end());
        buffer.push_back(L'\0');
        STARTUPINFOW si = {};
        si.cb = sizeof(si);
        if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &m_pi))
            return;
        CloseHandle(m_pi.hThread);
        m_bWindows = bWindows;
        if (!bWindows)
            return;
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
            // Without its window it cannot be asked: a lingering one is ended.
            DWORD dwAskedMs = IsWindow(m_windows.hMain) ? kExitLimitMs : 0;
            PostMessageW(m_windows.hMain, WM_CLOSE, 0, 0);
            if (WaitForSingleObject(m_pi.hProcess, dwAskedMs) != WAIT_OBJECT_0) {
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

    bool IsReady() const { return (m_windows.hMain && m_windows.hDlg) || (!m_bWindows && IsRunning()); }
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
    bool m_bWindows = true;
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
        HWND hWnd = WaitForMainWindow();
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

// StartApplication with the shell's start recorded, its lines in *pOutput.
BOOL StartApplicationRecorded(std::string* pOutput)
{
    static const SHELL_LAUNCH_HOOKS kRecorder = {RecordLaunch};
    g_nLaunches = 0;
    const SHELL_LAUNCH_HOOKS* pPrevious = SetShellLaunchHooks(&kRecorder);
    kvtest::CStdoutCapture capture;
    BOOL bStarted = StartApplication();
    *pOutput = capture.Finish();
    SetShellLaunchHooks(pPrevious);
    return bStarted;
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
    for (const auto& c : cases) {
        SCOPED_TRACE(c.szWhat);
        ASSERT_TRUE(kvtest::SetRegString(HKEY_LOCAL_MACHINE, g_szProductRegKey, g_szInstallDirValue, c.szFolder));
        std::string output;
        BOOL bStarted = StartApplicationRecorded(&output);

        EXPECT_EQ(bStarted, c.line.empty());
        EXPECT_EQ(output, kvtest::ToAnsi(c.line));
        EXPECT_EQ(g_nLaunches, c.line.empty() ? 1 : 0);
        if (c.line.empty()) {
            EXPECT_EQ(kvtest::ToUtf8(g_launchedFile), kvtest::ToUtf8(installDir / app));
        }
    }
}

// A process can outlive its window, or have none that this desktop sees: the
// stop waits for the process itself, within its bounds, and ends nothing.
TEST_F(AppControlTest, TheStopWaitsForTheProcessNotForItsWindow)
{
    struct {
        const char* szWhat;
        const wchar_t* szSwitches;
        bool bWindows;
        BOOL bStopped;
    } const cases[] = {
        {"window gone, process ends in time", L"/linger:1500", true, TRUE},
        {"window gone, process lingers", L"/linger:600000", true, FALSE},
        {"no window, process ends in time", L"/nowindow /linger:1500", false, TRUE},
        {"no window at all", L"/nowindow", false, FALSE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.szWhat);
        CStandinApp app(c.szSwitches, c.bWindows);
        ASSERT_TRUE(app.IsReady());
        kvtest::CFakeClock clock(250);
        EXPECT_EQ(StopApplication(), c.bStopped);
        if (c.bStopped)
            continue;
        EXPECT_TRUE(app.IsRunning()) << "nothing is ended by force";
        EXPECT_EQ(clock.Sleeps(), (c.bWindows ? 1 : 0) + 20) << "one pause per request, twenty checks";
    }
}

// The machine as a fleet tool sees it: the tool is SYSTEM in session 0, the
// user is at the console in session 1, and every process but the tool's own
// runs there. Tokens and process starts are real; only the sessions are told.
struct PRETENDED_MACHINE {
    BOOL bSystem = TRUE;
    BOOL bElevated = FALSE;
    DWORD dwConsoleSession = 1;
    BOOL bUserToken = TRUE;  // the console session has a logged-on user
    BOOL bShell = FALSE;     // a desktop shell runs in this session
    BOOL bReallyStart = FALSE;
    // What the tool asked for.
    std::vector<DWORD> tokenSessions;
    std::vector<HANDLE> tokensGiven;  // user tokens, then the shell's
    HANDLE hStartToken = nullptr;
    std::wstring startedApp;
    std::wstring startedCmdLine;
    DWORD dwStartFlags = 0;
    BOOL bStartedAsInvoker = FALSE;
    int nStarts = 0;
    HANDLE hStarted = nullptr;  // the really started process, the test's own handle
};
PRETENDED_MACHINE g_machine;

BOOL PretendedSystem()
{
    return g_machine.bSystem;
}

BOOL PretendedElevated()
{
    return g_machine.bElevated;
}

DWORD PretendedConsoleSession()
{
    return g_machine.dwConsoleSession;
}

BOOL PretendedProcessSession(DWORD dwProcessId, DWORD* pdwSession)
{
    *pdwSession = dwProcessId == GetCurrentProcessId() ? 0 : 1;
    return TRUE;
}

BOOL OwnPrimaryToken(HANDLE* phToken)
{
    HANDLE hOwn = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, &hOwn))
        return FALSE;
    BOOL bDone = DuplicateTokenEx(hOwn, TOKEN_ALL_ACCESS, nullptr, SecurityImpersonation, TokenPrimary, phToken);
    CloseHandle(hOwn);
    if (bDone)
        g_machine.tokensGiven.push_back(*phToken);
    return bDone;
}

BOOL PretendedUserToken(DWORD dwSession, HANDLE* phToken)
{
    g_machine.tokenSessions.push_back(dwSession);
    if (!g_machine.bUserToken) {
        SetLastError(ERROR_NO_TOKEN);
        return FALSE;
    }
    return OwnPrimaryToken(phToken);
}

BOOL PretendedShellToken(HANDLE* phToken)
{
    return g_machine.bShell && OwnPrimaryToken(phToken);
}

// What the tool starts as its own executable is this test program: the
// tool's executable is run in its place, with the same arguments, through
// the system's start as a user.
BOOL PretendedStartAsUser(HANDLE hToken, LPCWSTR szApp, LPWSTR szCmdLine, DWORD dwFlags, BOOL bAsInvoker,
                          PROCESS_INFORMATION* pInfo)
{
    g_machine.bStartedAsInvoker = bAsInvoker;
    ++g_machine.nStarts;
    g_machine.hStartToken = hToken;
    g_machine.startedApp = szApp;
    g_machine.startedCmdLine = szCmdLine;
    g_machine.dwStartFlags = dwFlags;
    std::wstring app = szApp;
    std::wstring cmdLine = szCmdLine;
    if (!g_machine.bReallyStart) {
        DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &pInfo->hProcess, 0, FALSE,
                        DUPLICATE_SAME_ACCESS);
        DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &pInfo->hThread, 0, FALSE,
                        DUPLICATE_SAME_ACCESS);
        return TRUE;
    }
    WCHAR szSelf[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, szSelf, MAX_PATH);
    if (app == szSelf) {
        app = kvtest::BinDir() + L"Kovalimber.exe";
        cmdLine = L"\"" + app + L"\"" + cmdLine.substr(cmdLine.find(L'"', 1) + 1);
    }
    std::vector<WCHAR> buffer(cmdLine.begin(), cmdLine.end());
    buffer.push_back(L'\0');
    if (!GetSystemSessionHooks()->pfnStartProcessAsUser(hToken, app.c_str(), buffer.data(), dwFlags, bAsInvoker,
                                                        pInfo))
        return FALSE;
    DuplicateHandle(GetCurrentProcess(), pInfo->hProcess, GetCurrentProcess(), &g_machine.hStarted, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    return TRUE;
}

const SESSION_HOOKS kPretendedMachine = {PretendedSystem,         PretendedElevated,  PretendedConsoleSession,
                                         PretendedProcessSession, PretendedUserToken, PretendedShellToken,
                                         PretendedStartAsUser};

// Installs the pretended machine for its life.
class CPretendedMachine {
public:
    CPretendedMachine()
    {
        g_machine = PRETENDED_MACHINE();
        m_pPrevious = SetSessionHooks(&kPretendedMachine);
    }
    ~CPretendedMachine()
    {
        SetSessionHooks(m_pPrevious);
        if (g_machine.hStarted) {
            WaitForSingleObject(g_machine.hStarted, 60000);
            CloseHandle(g_machine.hStarted);
        }
    }
    CPretendedMachine(const CPretendedMachine&) = delete;
    CPretendedMachine& operator=(const CPretendedMachine&) = delete;

    // The exit code of the really started process, once it has ended.
    DWORD StartedExitCode() const
    {
        DWORD dwExitCode = 0xDEAD;
        if (WaitForSingleObject(g_machine.hStarted, 60000) == WAIT_OBJECT_0)
            GetExitCodeProcess(g_machine.hStarted, &dwExitCode);
        return dwExitCode;
    }

private:
    const SESSION_HOOKS* m_pPrevious;
};

std::wstring OwnCloseOnlyCommandLine()
{
    WCHAR szSelf[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, szSelf, MAX_PATH);
    return L"\"" + std::wstring(szSelf) + L"\" " + g_szCloseOnlyArgument;
}

// The instance in session 1 is out of the tool's reach in session 0: its
// windows are not asked from there. The tool's own executable, started in
// session 1 with the user's token, closes it there, and the step's outcome
// is what the process check finds.
TEST_F(AppControlTest, AsSystemTheUsersSessionIsClosedByTheCloseOnlyModeStartedThere)
{
    {
        SCOPED_TRACE("the user's instance closes");
        CStandinApp app;
        ASSERT_TRUE(app.IsReady());
        CPretendedMachine machine;
        g_machine.bReallyStart = TRUE;
        EXPECT_TRUE(StopApplication());
        EXPECT_EQ(app.CloseRequests(), 1) << "asked once, by the close-only mode";
        EXPECT_EQ(g_machine.tokenSessions, std::vector<DWORD>{1});
        ASSERT_EQ(g_machine.tokensGiven.size(), 1u);
        EXPECT_EQ(g_machine.hStartToken, g_machine.tokensGiven[0]) << "started with the session's user token";
        EXPECT_EQ(kvtest::ToUtf8(g_machine.startedCmdLine), kvtest::ToUtf8(OwnCloseOnlyCommandLine()));
        EXPECT_TRUE(g_machine.dwStartFlags & CREATE_NO_WINDOW);
        EXPECT_TRUE(g_machine.bStartedAsInvoker) << "the tool's manifest asks for an elevation the user has not";
        EXPECT_EQ(machine.StartedExitCode(), static_cast<DWORD>(KV_CLOSE_ONLY_CLOSED));
    }
    {
        SCOPED_TRACE("the user's instance ignores the requests");
        CStandinApp app(L"/ignoreclose");
        ASSERT_TRUE(app.IsReady());
        CPretendedMachine machine;
        g_machine.bReallyStart = TRUE;
        {
            kvtest::CFakeClock clock(100);
            EXPECT_FALSE(StopApplication());
        }
        EXPECT_TRUE(app.IsRunning());
        // Closed plainly, the close-only mode finds it gone and ends too.
        PostMessageW(app.MainWindow(), WM_CLOSE, 0, 0);
        EXPECT_GE(app.CloseRequests(), 1);
        EXPECT_EQ(machine.StartedExitCode(), static_cast<DWORD>(KV_CLOSE_ONLY_CLOSED));
    }
    {
        SCOPED_TRACE("no token for the user's session");
        CStandinApp app;
        ASSERT_TRUE(app.IsReady());
        CPretendedMachine machine;
        g_machine.bUserToken = FALSE;
        kvtest::CFakeClock clock;
        kvtest::CStdoutCapture capture;
        EXPECT_FALSE(StopApplication());
        EXPECT_EQ(capture.Finish(), "Error: the application in session 1 cannot be asked to close.\r\n");
        EXPECT_EQ(g_machine.nStarts, 0);
        EXPECT_TRUE(app.IsRunning());
        EXPECT_EQ(clock.Sleeps(), 20);
    }
}

// As SYSTEM the application starts as the console user, never as SYSTEM;
// elevated by hand, with the shell's unelevated token; otherwise as before.
TEST_F(AppControlTest, TheApplicationStartsAsTheUserWhoseSessionItIsFor)
{
    kvtest::CRegValueRestore restore(HKEY_LOCAL_MACHINE, g_szProductRegKey, g_szInstallDirValue);
    kvtest::CScratchDir installDir(L"kv user start");
    const std::wstring app = installDir / (std::wstring(g_szAppBaseName) + g_szExeExtension);
    ASSERT_TRUE(kvtest::CopyInto(AppPath(), app));
    ASSERT_TRUE(
        kvtest::SetRegString(HKEY_LOCAL_MACHINE, g_szProductRegKey, g_szInstallDirValue, installDir.Path().c_str()));
    enum { kNone, kUser, kShell, kShellExecute };
    struct {
        const char* szWhat;
        BOOL bSystem, bElevated, bConsoleUser, bShell, bReally;
        int nStartedWith;
        std::wstring line;
    } const cases[] = {
        {"SYSTEM, a user at the console", TRUE, FALSE, TRUE, FALSE, FALSE, kUser, L""},
        {"SYSTEM, the stand-in really started", TRUE, FALSE, TRUE, FALSE, TRUE, kUser, L""},
        {"SYSTEM, nobody at the console", TRUE, FALSE, FALSE, FALSE, FALSE, kNone,
         L"Error: no user is logged on at the console to start the application for.\r\n"},
        {"elevated administrator", FALSE, TRUE, TRUE, TRUE, FALSE, kShell, L""},
        {"elevated administrator without a shell", FALSE, TRUE, TRUE, FALSE, FALSE, kShellExecute, L""},
        {"user", FALSE, FALSE, TRUE, TRUE, FALSE, kShellExecute, L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.szWhat);
        CPretendedMachine machine;
        g_machine.bSystem = c.bSystem;
        g_machine.bElevated = c.bElevated;
        g_machine.dwConsoleSession = c.bConsoleUser ? 1 : g_dwNoSession;
        g_machine.bShell = c.bShell;
        g_machine.bReallyStart = c.bReally;
        std::string output;
        BOOL bStarted = StartApplicationRecorded(&output);

        EXPECT_EQ(bStarted, c.nStartedWith != kNone);
        EXPECT_EQ(output, kvtest::ToAnsi(c.line));
        EXPECT_EQ(g_nLaunches, c.nStartedWith == kShellExecute ? 1 : 0);
        EXPECT_EQ(g_machine.nStarts, c.nStartedWith == kUser || c.nStartedWith == kShell ? 1 : 0);
        if (g_machine.nStarts == 1) {
            ASSERT_EQ(g_machine.tokensGiven.size(), 1u);
            EXPECT_EQ(g_machine.hStartToken, g_machine.tokensGiven[0]);
            EXPECT_EQ(g_machine.tokenSessions, c.nStartedWith == kUser ? std::vector<DWORD>{1} : std::vector<DWORD>{});
            EXPECT_EQ(kvtest::ToUtf8(g_machine.startedApp), kvtest::ToUtf8(app));
            EXPECT_FALSE(g_machine.bStartedAsInvoker) << "the application starts as it asks to";
        }
        if (!c.bReally)
            continue;
        auto end = MakeScopeGuard(EndRunningInstances);
        HWND hWnd = WaitForMainWindow();
        ASSERT_NE(hWnd, nullptr);
        EXPECT_EQ(kvtest::ToUtf8(ImageOf(hWnd)), kvtest::ToUtf8(app));
    }
}

}  // namespace
