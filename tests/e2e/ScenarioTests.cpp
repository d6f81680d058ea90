// Whole deployments under Wine, as an admin runs them: Kovalimber.exe with the
// sample project beside it, the stand-in package installed and removed by
// MsiExec.exe, the stand-in service and application started and stopped for
// real. Each scenario compares the console output byte for byte and then
// looks at the machine.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "appctl/Product.h"
#include "base/Handles.h"

namespace {

using kvtest::CScratchDir;

const char kBanner[] = "Quorvane Kovalimber by Talwick Software\r\n";
// The product's package is a 32-bit one: on 64-bit Windows it installs here.
const std::wstring kInstallDir = L"C:\\Program Files (x86)\\Talwick\\Quorvane 2012\\";
const std::wstring kAppFile = std::wstring(g_szAppBaseName) + g_szExeExtension;

std::wstring ShellFolder(int nFolder)
{
    WCHAR sz[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, nFolder, nullptr, 0, sz);
    return sz;
}

std::wstring Expand(const wchar_t* szText)
{
    WCHAR sz[MAX_PATH] = {};
    ExpandEnvironmentStringsW(szText, sz, MAX_PATH);
    return sz;
}

std::wstring DataFolder(int nFolder)
{
    return ShellFolder(nFolder) + L"\\" + g_szDataFolderMaker + L"\\" + g_szDataFolderProduct + L"\\";
}

// The main windows of the running stand-in application instances.
std::vector<HWND> AppWindows()
{
    std::vector<HWND> windows;
    for (int n = 0; n <= g_nAppMaxInstanceNumber; ++n) {
        std::wstring cls = g_szAppMainWndClass;
        if (n > 0)
            cls += L":" + std::to_wstring(n);
        if (HWND hWnd = FindWindowW(cls.c_str(), nullptr))
            windows.push_back(hWnd);
    }
    return windows;
}

bool WaitForAppWindows(size_t nCount)
{
    for (int i = 0; i < 100; ++i) {
        if (AppWindows().size() == nCount)
            return true;
        Sleep(100);
    }
    return false;
}

std::vector<DWORD> AppProcesses()
{
    std::vector<DWORD> pids;
    CFileHandle hSnapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL b = Process32FirstW(hSnapshot.Get(), &entry); b; b = Process32NextW(hSnapshot.Get(), &entry)) {
        if (_wcsicmp(entry.szExeFile, kAppFile.c_str()) == 0)
            pids.push_back(entry.th32ProcessID);
    }
    return pids;
}

// The executables the running application instances were started from.
std::vector<std::wstring> AppImagePaths()
{
    std::vector<std::wstring> paths;
    for (DWORD pid : AppProcesses()) {
        CHandle hProcess(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
        WCHAR sz[MAX_PATH] = {};
        DWORD cch = MAX_PATH;
        if (hProcess.IsValid() && QueryFullProcessImageNameW(hProcess.Get(), 0, sz, &cch))
            paths.push_back(sz);
    }
    return paths;
}

// Ends every stand-in application instance: asked first, then by force.
void EndApplication()
{
    for (HWND hWnd : AppWindows())
        PostMessageW(hWnd, WM_CLOSE, g_nAppCloseParam, g_nAppCloseParam);
    if (WaitForAppWindows(0) && AppProcesses().empty())
        return;
    for (DWORD pid : AppProcesses()) {
        CHandle hProcess(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
        if (hProcess.IsValid() && TerminateProcess(hProcess.Get(), 1))
            WaitForSingleObject(hProcess.Get(), 5000);
    }
}

bool StartAppInstance()
{
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    std::wstring path = kInstallDir + kAppFile;
    std::vector<WCHAR> cmd(path.begin(), path.end());
    cmd.push_back(L'\0');
    if (!CreateProcessW(path.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, kInstallDir.c_str(), &si, &pi))
        return false;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}

DWORD ServiceState()
{
    CServiceHandle hManager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    CServiceHandle hService(OpenServiceW(hManager.Get(), g_szServiceName, SERVICE_QUERY_STATUS));
    SERVICE_STATUS status = {};
    if (!hService.IsValid() || !QueryServiceStatus(hService.Get(), &status))
        return 0;
    return status.dwCurrentState;
}

void RemoveService()
{
    CServiceHandle hManager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    CServiceHandle hService(OpenServiceW(hManager.Get(), g_szServiceName, SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE));
    if (!hService.IsValid())
        return;
    SERVICE_STATUS status = {};
    ControlService(hService.Get(), SERVICE_CONTROL_STOP, &status);
    for (int i = 0; i < 100 && QueryServiceStatus(hService.Get(), &status) && status.dwCurrentState != SERVICE_STOPPED;
         ++i)
        Sleep(100);
    DeleteService(hService.Get());
}

std::wstring InstalledVersion()
{
    std::string text;
    if (!kvtest::ReadBytes(kInstallDir + L"QuorvaneVersion.txt", &text))
        return L"";
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n'))
        text.pop_back();
    return std::wstring(text.begin(), text.end());
}

// A value in either registry view: the 32-bit packages write the 32-bit one.
bool ProductInstalled()
{
    std::wstring folder;
    return kvtest::GetRegString(HKEY_LOCAL_MACHINE, g_szProductRegKey, g_szInstallDirValue, &folder, KEY_WOW64_32KEY) ||
           kvtest::GetRegString(HKEY_LOCAL_MACHINE, g_szProductRegKey, g_szInstallDirValue, &folder, KEY_WOW64_64KEY);
}

void RemoveProduct()
{
    EndApplication();
    RemoveService();
    if (ProductInstalled())
        kvtest::RunCapture(std::wstring(L"msiexec.exe /qn /x ") + g_szDefaultProductCode, L"", 300000);
}

const wchar_t* const kPlacedFiles[] = {L"user.ffp", L"user.fsn", L"service.ffp", L"service.fsn"};

void RemovePlacedFiles()
{
    for (const wchar_t* szName : kPlacedFiles) {
        DeleteFileW((DataFolder(CSIDL_APPDATA) + szName).c_str());
        DeleteFileW((DataFolder(CSIDL_COMMON_APPDATA) + szName).c_str());
    }
    DeleteFileW(Expand(L"%ProgramData%\\quorvane-site.ini").c_str());
    // The placement made the product's data folders; they go when empty.
    for (int nFolder : {CSIDL_APPDATA, CSIDL_COMMON_APPDATA}) {
        RemoveDirectoryW(DataFolder(nFolder).c_str());
        RemoveDirectoryW((ShellFolder(nFolder) + L"\\" + g_szDataFolderMaker).c_str());
    }
}

// The deployment folder of the sample: the tool, the sample project, the
// package and the files the project names.
class Scenario : public ::testing::Test {
protected:
    explicit Scenario(const std::wstring& hint = L"kv deploy") : m_tool(hint) {}

    void SetUp() override
    {
        RemoveProduct();
        RemovePlacedFiles();
        ASSERT_FALSE(ProductInstalled()) << "the stand-in product is installed and cannot be removed";
        ASSERT_EQ(0u, ServiceState());
        const std::wstring bin = kvtest::BinDir();
        ASSERT_TRUE(kvtest::CopyInto(bin + L"Kovalimber.exe", m_tool / L"Kovalimber.exe"));
        ASSERT_TRUE(kvtest::CopyInto(bin + L"sample-deploy.prj", m_tool / L"deploy.prj"));
        ASSERT_TRUE(kvtest::CopyInto(bin + L"Quorvane.msi", m_tool / L"Quorvane.msi"));
        ASSERT_TRUE(kvtest::CopyInto(bin + L"Quorvane2.msi", m_tool / L"Quorvane2.msi"));
        ASSERT_TRUE(kvtest::WriteBytes(m_tool / L"readme.txt", "read me\r\n"));
        ASSERT_TRUE(kvtest::WriteBytes(m_tool / L"quorvane-site.ini", "[Site]\r\n"));
        ASSERT_TRUE(kvtest::WriteBytes(m_tool / L"user.ffp", "user project"));
        ASSERT_TRUE(kvtest::WriteBytes(m_tool / L"user.fsn", "user schedule"));
        ASSERT_TRUE(kvtest::WriteBytes(m_tool / L"service.ffp", "service project"));
    }

    void TearDown() override
    {
        RemoveProduct();
        RemovePlacedFiles();
    }

    kvtest::RUN_RESULT Deploy(const std::string& project = "")
    {
        if (!project.empty()) {
            EXPECT_TRUE(kvtest::WriteBytes(m_tool / L"deploy.prj", project));
        }
        kvtest::RUN_RESULT result =
            kvtest::RunCapture(L"\"" + (m_tool / L"Kovalimber.exe") + L"\"", m_tool.Path(), 600000);
        EXPECT_TRUE(result.bStarted);
        return result;
    }

    // The lines of the sample's copy step and project placement.
    std::wstring CopyAndPlaceLines() const
    {
        const std::wstring tool = m_tool.Path();
        const std::wstring user = DataFolder(CSIDL_APPDATA);
        const std::wstring common = DataFolder(CSIDL_COMMON_APPDATA);
        return L"Copy files...\r\nStopping Application...\r\nStopping Service...\r\n"
               L"Copying file " + tool + L"readme.txt ...\r\n"
               L"Copy to " + kInstallDir + L"readme.txt successfully!\r\n"
               L"Copying file " + tool + L"quorvane-site.ini ...\r\n"
               L"Copy to " + Expand(L"%ProgramData%") + L"\\quorvane-site.ini successfully!\r\n"
               L"Set user project...\r\n"
               L"Copy " + tool + L"user.ffp to " + user + L"user.ffp successfully.\r\n"
               L"Copy " + tool + L"user.fsn to " + user + L"user.fsn successfully.\r\n"
               L"Set user project Successfully.\r\n"
               L"Set service project...\r\n"
               L"Copy " + tool + L"service.ffp to " + common + L"service.ffp successfully.\r\n"
               L"Set service project Successfully.\r\n";
    }

    void ExpectDeployed(const std::wstring& version)
    {
        EXPECT_EQ(version, InstalledVersion());
        EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), ServiceState());
        EXPECT_TRUE(WaitForAppWindows(1)) << AppWindows().size() << " application windows";
        EXPECT_EQ(std::vector<std::wstring>{kInstallDir + kAppFile}, AppImagePaths());
        std::string bytes;
        EXPECT_TRUE(kvtest::ReadBytes(kInstallDir + L"readme.txt", &bytes));
        EXPECT_EQ("read me\r\n", bytes);
        EXPECT_TRUE(kvtest::FileExists(Expand(L"%ProgramData%\\quorvane-site.ini")));
        EXPECT_TRUE(kvtest::ReadBytes(DataFolder(CSIDL_APPDATA) + L"user.fsn", &bytes));
        EXPECT_EQ("user schedule", bytes);
        EXPECT_TRUE(kvtest::FileExists(DataFolder(CSIDL_COMMON_APPDATA) + L"service.ffp"));
        std::wstring data;
        EXPECT_TRUE(kvtest::GetRegString(HKEY_CURRENT_USER, g_szProductRegKey, g_szDataFileValue, &data));
        EXPECT_EQ(DataFolder(CSIDL_APPDATA) + L"user.ffp", data);
        EXPECT_TRUE(kvtest::GetRegString(HKEY_CURRENT_USER, g_szProductRegKey, g_szLogFileValue, &data));
        EXPECT_EQ(DataFolder(CSIDL_APPDATA) + L"user.fsl", data);
    }

    CScratchDir m_tool;
    kvtest::CRegValueRestore m_dataFile{HKEY_CURRENT_USER, g_szProductRegKey, g_szDataFileValue};
    kvtest::CRegValueRestore m_logFile{HKEY_CURRENT_USER, g_szProductRegKey, g_szLogFileValue};
};

std::string Output(const std::wstring& lines)
{
    return kBanner + kvtest::ToChildOutput(lines);
}

const std::wstring kUninstallByCode = std::wstring(L"Uninstall ") + g_szDefaultProductCode + L"...\r\n";

// The folder of the tool holds a space and characters outside ASCII: the
// package path handed to the installer is quoted, and every line still
// prints whole (characters the output code page lacks as '?').
class FirstDeployment : public Scenario {
protected:
    FirstDeployment() : Scenario(L"kv D\u00e9ploiement \u65e5\u672c") {}
};

TEST_F(FirstDeployment, OnACleanMachineThenAnUpgradeWhileTheProductRuns)
{
    kvtest::RUN_RESULT first = Deploy();
    EXPECT_EQ(Output(L"Stopping Application...\r\nStopped Application Successfully.\r\n"
                     L"Stopping Service...\r\nStop Service failed.\r\n" +
                     kUninstallByCode + L"Error: Installer exit code 1605!\r\nUninstall failed.\r\n"
                     L"Install Quorvane.msi...\r\nInstall successfully.\r\n" +
                     CopyAndPlaceLines() +
                     L"Installing Service...\r\nInstalled Service Successfully.\r\n"
                     L"Starting Service...\r\nStarted Service Successfully.\r\n"
                     L"Start Application...\r\nStart Application Successfully.\r\n"),
              first.output);
    EXPECT_EQ(0u, first.dwExitCode);
    ExpectDeployed(L"1.0.0");

    // A second instance of the application, then the upgrade to version 2.
    ASSERT_TRUE(StartAppInstance());
    ASSERT_TRUE(WaitForAppWindows(2));
    std::string project;
    ASSERT_TRUE(kvtest::ReadBytes(m_tool / L"deploy.prj", &project));
    project.replace(project.find("install_file=Quorvane.msi"), 25, "install_file=Quorvane2.msi");
    kvtest::RUN_RESULT upgrade = Deploy(project);
    EXPECT_EQ(Output(L"Stopping Application...\r\nStopped Application Successfully.\r\n"
                     L"Stopping Service...\r\nStopped Service Successfully.\r\n" +
                     kUninstallByCode + L"Uninstall successfully.\r\n"
                     L"Install Quorvane2.msi...\r\nInstall successfully.\r\n" +
                     CopyAndPlaceLines() +
                     L"Installing Service...\r\nInstalled Service Successfully.\r\n"
                     L"Starting Service...\r\nStarted Service Successfully.\r\n"
                     L"Start Application...\r\nStart Application Successfully.\r\n"),
              upgrade.output);
    EXPECT_EQ(0u, upgrade.dwExitCode);
    ExpectDeployed(L"2.0.0");
}

TEST_F(Scenario, UninstallOnlyEndsEarlyWithExitCode1)
{
    ASSERT_EQ(0u, Deploy("[Setup]\r\ninstall=yes\r\ninstall_service=yes\r\n[Install]\r\n"
                         "install_file=Quorvane.msi\r\ninstall_mode=/qn\r\n")
                      .dwExitCode);
    ASSERT_EQ(static_cast<DWORD>(SERVICE_RUNNING), ServiceState());

    std::string project;
    ASSERT_TRUE(kvtest::ReadBytes(kvtest::BinDir() + L"sample-deploy.prj", &project));
    project.replace(project.find("\ninstall=yes"), 12, "\ninstall=no");
    kvtest::RUN_RESULT result = Deploy(project);
    EXPECT_EQ(Output(L"Stopping Application...\r\nStopped Application Successfully.\r\n"
                     L"Stopping Service...\r\nStopped Service Successfully.\r\n" +
                     kUninstallByCode +
                     L"Uninstall successfully.\r\nuninstall==yes,install==no, ignore left actions.\r\n"),
              result.output);
    EXPECT_EQ(1u, result.dwExitCode);
    // Removed, and nothing after the removal ran.
    EXPECT_FALSE(ProductInstalled());
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), ServiceState());
    EXPECT_FALSE(kvtest::FileExists(DataFolder(CSIDL_APPDATA) + L"user.ffp"));
    EXPECT_FALSE(kvtest::FileExists(Expand(L"%ProgramData%\\quorvane-site.ini")));
    EXPECT_TRUE(AppWindows().empty());
}

TEST_F(Scenario, ProjectsThatDeployNothingOrFailEverywhere)
{
    kvtest::RUN_RESULT empty = Deploy("[Setup]\r\n");
    EXPECT_EQ(Output(L"Starting Service...\r\nStarted Service failed.\r\n"), empty.output);
    EXPECT_EQ(0u, empty.dwExitCode);

    ASSERT_TRUE(DeleteFileW((m_tool / L"deploy.prj").c_str()));
    ASSERT_TRUE(CreateDirectoryW((m_tool / L"deploy.prj").c_str(), nullptr));
    kvtest::RUN_RESULT unreadable = kvtest::RunCapture(
        L"\"" + (m_tool / L"Kovalimber.exe") + L"\" deploy.prj", m_tool.Path(), 60000);
    EXPECT_EQ(Output(L"Failed to open project file [deploy.prj]\r\nFailed to read project deploy.prj.\r\n"),
              unreadable.output);
    EXPECT_EQ(2u, unreadable.dwExitCode);
    RemoveDirectoryW((m_tool / L"deploy.prj").c_str());

    // Every action that can fail here fails; the run goes on to its end and
    // the exit code stays 0. Wine's MsiExec.exe ends with 2 for a package
    // that does not exist (Windows says 1619). No install folder is
    // registered: the service is not created, so it does not start, and the
    // application is not started by a bare name.
    const std::wstring tool = m_tool.Path();
    kvtest::RUN_RESULT failing = Deploy(
        "[Setup]\r\nstop_service=yes\r\nuninstall=yes\r\ninstall=yes\r\ndo_copy_files=yes\r\n"
        "user_project=absent.ffp\r\nservice_project=absent-service.ffp\r\ninstall_service=yes\r\nrestart_app=yes\r\n"
        "[Uninstall]\r\nuninstall_file=old.msi\r\nuninstall_mode=/qn\r\n"
        "[Install]\r\ninstall_file=absent.msi\r\ninstall_mode=/qn\r\n"
        "[CopyFiles]\r\nFileNum=1\r\nFile1=absent.dll\r\nTargetFolder1=C:\\no such folder\r\n");
    const std::wstring user = DataFolder(CSIDL_APPDATA);
    const std::wstring common = DataFolder(CSIDL_COMMON_APPDATA);
    EXPECT_EQ(Output(L"Stopping Service...\r\nStop Service failed.\r\n"
                     L"Uninstall old.msi...\r\nError: Installer exit code 2!\r\nUninstall failed.\r\n"
                     L"Install absent.msi...\r\nError: Installer exit code 2!\r\nInstall failed.\r\n"
                     L"Copy files...\r\nStopping Application...\r\nStopping Service...\r\n"
                     L"Copying file " + tool + L"absent.dll ...\r\n"
                     L"Copy to C:\\no such folder\\absent.dll failed!\r\n"
                     L"Set user project...\r\n"
                     L"Failed to copy " + tool + L"absent.ffp to " + user + L"absent.ffp.\r\n"
                     L"Set user project failed.\r\n"
                     L"Set service project...\r\n"
                     L"Failed to copy " + tool + L"absent-service.ffp to " + common + L"absent-service.ffp.\r\n"
                     L"Set service project failed.\r\n"
                     L"Installing Service...\r\n"
                     L"Error: no install folder of the product is registered.\r\n"
                     L"Install Service failed.\r\n"
                     L"Starting Service...\r\nStarted Service failed.\r\n"
                     L"Start Application...\r\n"
                     L"Error: no install folder of the product is registered.\r\n"
                     L"Start Application failed.\r\n"),
              failing.output);
    EXPECT_EQ(0u, failing.dwExitCode);
    EXPECT_FALSE(ProductInstalled());
}

}  // namespace
