// The user's project placed by the tool running as SYSTEM: into the folder
// and the hive of the user at the console, never the tool's own. The
// sessions are pretended (Wine has one); tokens, the hive below HKEY_USERS
// and the copies are real.
#include <gtest/gtest.h>

#include <string>

#include "TestSupport.h"
#include "appctl/Product.h"
#include "base/Sessions.h"
#include "base/StartFolder.h"
#include "placement/Placement.h"
#include "placement/ShellFolder.h"

namespace {

struct PRETENDED_USER {
    BOOL bAtConsole = TRUE;
    HANDLE hToken = nullptr;  // the console user's token as handed out
    std::wstring userFolder;  // the console user's application data
    std::wstring ownFolder;   // the tool's own (SYSTEM's)
};
PRETENDED_USER g_user;

BOOL AsSystem()
{
    return TRUE;
}

BOOL NotElevated()
{
    return FALSE;
}

DWORD ConsoleSession()
{
    return g_user.bAtConsole ? 1 : g_dwNoSession;
}

BOOL SessionOfProcess(DWORD dwProcessId, DWORD* pdwSession)
{
    *pdwSession = dwProcessId == GetCurrentProcessId() ? 0 : 1;
    return TRUE;
}

BOOL ConsoleUserToken(DWORD dwSession, HANDLE* phToken)
{
    if (dwSession != 1 || !OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, phToken))
        return FALSE;
    g_user.hToken = *phToken;
    return TRUE;
}

BOOL NoShell(HANDLE*)
{
    return FALSE;
}

BOOL NoStart(HANDLE, LPCWSTR, LPWSTR, DWORD, BOOL, PROCESS_INFORMATION*)
{
    return FALSE;
}

const SESSION_HOOKS kAsSystem = {AsSystem,         NotElevated, ConsoleSession, SessionOfProcess,
                                 ConsoleUserToken, NoShell,     NoStart};

// The shell answers by token: the console user's folder for that user's
// token, the tool's own for any other and for the call without a token.
BOOL WINAPI OwnSpecialFolder(HWND, LPWSTR szPath, int, BOOL)
{
    return wcscpy(szPath, g_user.ownFolder.c_str()) != nullptr;
}

HRESULT WINAPI FolderByToken(HWND, int, HANDLE hToken, DWORD, LPWSTR szPath)
{
    wcscpy(szPath, (hToken && hToken == g_user.hToken ? g_user.userFolder : g_user.ownFolder).c_str());
    return S_OK;
}

FARPROC WINAPI ShellEntryPoint(HMODULE hModule, LPCSTR szName)
{
    if (strcmp(szName, "SHGetSpecialFolderPathW") == 0)
        return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(OwnSpecialFolder));
    if (strcmp(szName, "SHGetFolderPathW") == 0)
        return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(FolderByToken));
    return GetProcAddress(hModule, szName);
}

const SHELL_LOADER kShellByToken = {LoadLibraryW, ShellEntryPoint, FreeLibrary};

std::wstring TokenUserSid()
{
    HANDLE hToken = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &hToken);
    CLocalBlock szSid;
    GetTokenUserSid(hToken, szSid);
    CloseHandle(hToken);
    return szSid.IsValid() ? static_cast<LPCWSTR>(szSid.Get()) : L"";
}

TEST(UserProjectAsSystem, GoesToTheConsoleUsersFolderAndHiveOrFails)
{
    const std::wstring hiveKey = TokenUserSid() + L"\\" + g_szProductRegKey;
    ASSERT_GT(hiveKey.size(), std::wstring(g_szProductRegKey).size() + 1);
    kvtest::CRegValueRestore restoreData(HKEY_USERS, hiveKey, g_szDataFileValue);
    kvtest::CRegValueRestore restoreLog(HKEY_USERS, hiveKey, g_szLogFileValue);
    kvtest::CScratchDir tool(L"kv tool");
    kvtest::CScratchDir user(L"kv console user");
    kvtest::CScratchDir own(L"kv system profile");
    ASSERT_TRUE(kvtest::WriteBytes(tool / L"user.prj", "[Project]\r\n"));
    wcscpy(szStartFolder, tool.Path().c_str());
    g_user.userFolder = user.Path().substr(0, user.Path().size() - 1);
    g_user.ownFolder = own.Path().substr(0, own.Path().size() - 1);
    const std::wstring target = user / L"Talwick\\Quorvane 2012\\user.prj";

    const SESSION_HOOKS* pSessions = SetSessionHooks(&kAsSystem);
    const SHELL_LOADER* pLoader = SetShellLoader(&kShellByToken);
    for (BOOL bAtConsole : {TRUE, FALSE}) {
        SCOPED_TRACE(bAtConsole ? "a user at the console" : "nobody at the console");
        g_user.bAtConsole = bAtConsole;
        ASSERT_TRUE(kvtest::SetRegString(HKEY_USERS, hiveKey, g_szDataFileValue, nullptr));
        kvtest::CStdoutCapture capture;
        BOOL bPlaced = SetUserProject(L"user.prj");
        std::string output = capture.Finish();

        EXPECT_EQ(bPlaced, bAtConsole);
        EXPECT_EQ(kvtest::FileExists(target), !!bAtConsole);
        EXPECT_TRUE(kvtest::ListFolder(own.Path()).empty()) << "nothing in the tool's own profile";
        std::wstring dataFile, logFile;
        EXPECT_EQ(kvtest::GetRegString(HKEY_USERS, hiveKey, g_szDataFileValue, &dataFile), !!bAtConsole);
        if (!bAtConsole) {
            EXPECT_EQ(output, "Failed to get user profile folder.\r\n");
            continue;
        }
        EXPECT_EQ(kvtest::ToUtf8(dataFile), kvtest::ToUtf8(target));
        // Written as the user from what the tool read: the bytes whole.
        std::string bytes;
        EXPECT_TRUE(kvtest::ReadBytes(target, &bytes));
        EXPECT_EQ(bytes, "[Project]\r\n");
        ASSERT_TRUE(kvtest::GetRegString(HKEY_USERS, hiveKey, g_szLogFileValue, &logFile));
        EXPECT_EQ(kvtest::ToUtf8(logFile), kvtest::ToUtf8(user / L"Talwick\\Quorvane 2012\\user.fsl"));
        kvtest::RemoveTree(user / L"Talwick\\");
    }
    SetShellLoader(pLoader);
    SetSessionHooks(pSessions);
}

}  // namespace
