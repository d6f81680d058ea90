// Whole deployments by Kovalimber.exe with the stand-in package under Wine:
// MsiExec.exe installs and removes it for real, the service is created from
// the install folder and started. The tool runs from a folder whose path
// holds a space, so the package path it hands to the installer is quoted.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <thread>

#include "ServiceFacts.h"
#include "TestSupport.h"
#include "appctl/Product.h"
#include "base/Handles.h"
#include "service/ServiceMngr.h"

namespace {

const char kBanner[] = "Quorvane Kovalimber by Talwick Software\r\n";
// Where the 32-bit packages install on 64-bit Windows, and the 64-bit one.
const wchar_t kInstallDir[] = L"C:\\Program Files (x86)\\Talwick\\Quorvane 2012\\";
const wchar_t kInstallDir64[] = L"C:\\Program Files\\Talwick\\Quorvane 2012\\";

// "InstallDir" of one registry view; empty when it has none.
std::wstring InstalledFolderIn(REGSAM samView)
{
    std::wstring folder;
    return kvtest::GetRegString(HKEY_LOCAL_MACHINE, g_szProductRegKey, g_szInstallDirValue, &folder, samView) ? folder
                                                                                                              : L"";
}

std::wstring InstalledFolder()
{
    std::wstring folder = InstalledFolderIn(KEY_WOW64_32KEY);
    return folder.empty() ? InstalledFolderIn(KEY_WOW64_64KEY) : folder;
}

// Leaves the machine without the product: no service, no package.
void RemoveProduct()
{
    CServiceMngr mngr;
    mngr.Init(g_szServiceName, g_szServiceDisplayName, g_szServiceDescription);
    mngr.Remove(10000);
    kvtest::WriteServiceScript(kInstallDir, "");
    kvtest::WriteServiceScript(kInstallDir64, "");
    if (!InstalledFolder().empty())
        kvtest::RunCapture(std::wstring(L"msiexec.exe /qn /x ") + g_szDefaultProductCode);
}

class DeployTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RemoveProduct();
        ASSERT_TRUE(InstalledFolder().empty()) << "the stand-in product is installed and cannot be removed";
        ASSERT_TRUE(kvtest::CopyInto(kvtest::BinDir() + L"Kovalimber.exe", tool / L"Kovalimber.exe"));
        for (const wchar_t* szPackage :
             {L"Quorvane.msi", L"Quorvane64.msi", L"QuorvaneRestart.msi", L"QuorvaneRejected.msi"})
            ASSERT_TRUE(kvtest::CopyInto(kvtest::BinDir() + szPackage, tool / szPackage)) << szPackage;
    }
    void TearDown() override { RemoveProduct(); }

    kvtest::RUN_RESULT Deploy(const std::string& project)
    {
        EXPECT_TRUE(kvtest::WriteBytes(tool / L"deploy.prj", project));
        kvtest::RUN_RESULT result = kvtest::RunCapture(
            L"\"" + (tool / L"Kovalimber.exe") + L"\" \"" + (tool / L"deploy.prj") + L"\"", tool.Path(), 300000);
        EXPECT_TRUE(result.bStarted);
        return result;
    }

    kvtest::CScratchDir tool{L"kv tool"};
};

// The 32-bit package, as the product ships, and its 64-bit build: each is
// found through the registry view it writes, the service is created from its
// folder (quoted, for the space in "Program Files") and runs.
TEST_F(DeployTest, InstallsAndStartsTheProductThenStopsAndRemovesIt)
{
    struct CASE {
        const char* szPackage;
        const wchar_t* szFolder;
        REGSAM samView;
        REGSAM samOtherView;
    } cases[] = {
        {"Quorvane.msi", kInstallDir, KEY_WOW64_32KEY, KEY_WOW64_64KEY},
        {"Quorvane64.msi", kInstallDir64, KEY_WOW64_64KEY, KEY_WOW64_32KEY},
    };
    for (const CASE& c : cases) {
        SCOPED_TRACE(c.szPackage);
        kvtest::RUN_RESULT install =
            Deploy(std::string("[Setup]\r\ninstall=yes\r\ninstall_service=yes\r\nlog_file=logs\\deploy.log\r\n") +
                   "[Install]\r\ninstall_file=" + c.szPackage + "\r\ninstall_mode=/qn\r\n");
        EXPECT_EQ(std::string(kBanner) + "Install " + c.szPackage +
                      "...\r\nInstall successfully.\r\n"
                      "Installing Service...\r\nInstalled Service Successfully.\r\n"
                      "Starting Service...\r\nStarted Service Successfully.\r\n",
                  install.output);
        EXPECT_EQ(0u, install.dwExitCode);
        EXPECT_EQ(c.szFolder, InstalledFolderIn(c.samView));
        EXPECT_EQ(L"", InstalledFolderIn(c.samOtherView));
        // The installer's own verbose log lies beside the tool's.
        std::set<std::wstring> logs;
        for (const std::wstring& name : kvtest::ListFolder(tool / L"logs"))
            logs.insert(kvtest::ToUtf8(name) == kvtest::WithoutTimeStamps(kvtest::ToUtf8(name)) ? name
                                                                                                : L"installer log");
        EXPECT_EQ(logs, (std::set<std::wstring>{L"deploy.log", L"installer log"}));
        EXPECT_TRUE(kvtest::FileExists(std::wstring(c.szFolder) + L"QuorvaneApp.exe"));

        kvtest::SERVICE_FACTS facts = kvtest::QueryServiceFacts(g_szServiceName);
        EXPECT_EQ(static_cast<DWORD>(SERVICE_AUTO_START), facts.dwStartType);
        EXPECT_EQ(L"LocalSystem", facts.account);
        EXPECT_EQ(L"\"" + std::wstring(c.szFolder) + L"QuorvaneSvc.exe\"", facts.binaryPath);
        EXPECT_EQ(g_szServiceDescription, facts.description);
        EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), facts.dwState);

        kvtest::RUN_RESULT uninstall = Deploy(
            "[Setup]\r\nstop_service=yes\r\nuninstall=yes\r\n"
            "[Uninstall]\r\nuninstall_mode=/qn\r\n");
        EXPECT_EQ(std::string(kBanner) +
                      "Stopping Service...\r\nStopped Service Successfully.\r\n"
                      "Uninstall {6F221571-589E-48FF-BAAE-926A6A12A5A9}...\r\nUninstall successfully.\r\n"
                      "uninstall==yes,install==no, ignore left actions.\r\n",
                  uninstall.output);
        EXPECT_EQ(1u, uninstall.dwExitCode);
        EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), kvtest::QueryServiceFacts(g_szServiceName).dwState);
        EXPECT_EQ(L"", InstalledFolder());
        EXPECT_FALSE(kvtest::FileExists(std::wstring(c.szFolder) + L"QuorvaneSvc.exe"));
        RemoveProduct();
    }
}

TEST_F(DeployTest, UninstallsByThePackagePathBesideTheTool)
{
    Deploy(
        "[Setup]\r\ninstall=yes\r\nrestart_service=no\r\n[Install]\r\ninstall_file=Quorvane.msi\r\n"
        "install_mode=/qn\r\n");
    ASSERT_EQ(kInstallDir, InstalledFolder());

    kvtest::RUN_RESULT uninstall =
        Deploy("[Setup]\r\nuninstall=yes\r\n[Uninstall]\r\nuninstall_file=Quorvane.msi\r\nuninstall_mode=/qn\r\n");
    EXPECT_EQ(std::string(kBanner) +
                  "Uninstall Quorvane.msi...\r\nUninstall successfully.\r\n"
                  "uninstall==yes,install==no, ignore left actions.\r\n",
              uninstall.output);
    EXPECT_EQ(L"", InstalledFolder());
}

const char kInstallerLog[] = "Installer log: C:\\windows\\Logs\\Software\\Kovalimber_Install_T.log\r\n";

// The exit code is the worst of what ran: a failed service start outweighs
// a restart the package asked for.
TEST_F(DeployTest, TheInstallerExitCodeDecidesTheOutcomeAndTheExitCode)
{
    struct CASE {
        const char* szPackage;
        const char* szRestartService;
        std::string lines;
        bool bInstalled;
        DWORD dwExitCode;
    } cases[] = {
        {"QuorvaneRejected.msi", "no",
         std::string("Error: Installer exit code 1633!\r\n") + kInstallerLog + "Install failed.\r\n", false, 1603},
        {"QuorvaneRestart.msi", "no", "Installer asks for a restart, exit code 3010.\r\nInstall successfully.\r\n",
         true, 3010},
        {"QuorvaneRestart.msi", "yes",
         "Installer asks for a restart, exit code 3010.\r\nInstall successfully.\r\n"
         "Starting Service...\r\nStarted Service failed.\r\n",
         true, 1603},
    };
    for (const CASE& c : cases) {
        kvtest::RUN_RESULT result =
            Deploy(std::string("[Setup]\r\ninstall=yes\r\nrestart_service=") + c.szRestartService + "\r\n" +
                   "[Install]\r\ninstall_file=" + c.szPackage + "\r\ninstall_mode=/qn\r\n");
        EXPECT_EQ(std::string(kBanner) + "Install " + c.szPackage + "...\r\n" + c.lines,
                  kvtest::WithoutTimeStamps(result.output));
        EXPECT_EQ(c.bInstalled, InstalledFolder() == kInstallDir) << c.szPackage;
        EXPECT_EQ(c.dwExitCode, result.dwExitCode) << c.szPackage;
        RemoveProduct();
    }
}

// Another process holds the Windows Installer's mutex, as an installation
// in progress does, for a while or for good.
class CInstallerBusy {
public:
    explicit CInstallerBusy(DWORD dwHoldMs)
        : m_hReady(CreateEventW(nullptr, TRUE, FALSE, nullptr)), m_hRelease(CreateEventW(nullptr, TRUE, FALSE, nullptr))
    {
        m_thread = std::thread([this, dwHoldMs] {
            HANDLE hMutex = CreateMutexW(nullptr, TRUE, L"Global\\_MSIExecute");
            SetEvent(m_hReady.Get());
            WaitForSingleObject(m_hRelease.Get(), dwHoldMs);
            ReleaseMutex(hMutex);
            CloseHandle(hMutex);
        });
        WaitForSingleObject(m_hReady.Get(), INFINITE);
    }
    ~CInstallerBusy()
    {
        SetEvent(m_hRelease.Get());
        m_thread.join();
    }
    CInstallerBusy(const CInstallerBusy&) = delete;
    CInstallerBusy& operator=(const CInstallerBusy&) = delete;

private:
    CHandle m_hReady;
    CHandle m_hRelease;
    std::thread m_thread;
};

const char kBusyInstall[] =
    "[Setup]\r\ninstall=yes\r\nrestart_service=no\r\n%s\r\n[Install]\r\ninstall_file=Quorvane.msi\r\n"
    "install_mode=/qn\r\n";

std::string BusyProject(const char* szBusyWait)
{
    char sz[512];
    snprintf(sz, sizeof(sz), kBusyInstall, szBusyWait);
    return sz;
}

TEST_F(DeployTest, AnotherInstallationInProgressIsWaitedFor)
{
    CInstallerBusy busy(4000);
    kvtest::RUN_RESULT result = Deploy(BusyProject("installer_busy_wait=120"));
    EXPECT_EQ(std::string(kBanner) +
                  "Install Quorvane.msi...\r\n"
                  "Another installation is in progress: waiting up to 120 seconds for it to end...\r\n"
                  "Install successfully.\r\n",
              result.output);
    EXPECT_EQ(0u, result.dwExitCode);
    EXPECT_EQ(kInstallDir, InstalledFolder());
}

TEST_F(DeployTest, AnotherInstallationPastTheWaitEndsWith1618AndNothingInstalled)
{
    CInstallerBusy busy(INFINITE);
    kvtest::RUN_RESULT result = Deploy(BusyProject("installer_busy_wait=3"));
    EXPECT_EQ(std::string(kBanner) +
                  "Install Quorvane.msi...\r\n"
                  "Another installation is in progress: waiting up to 3 seconds for it to end...\r\n"
                  "Error: another installation is still in progress after 3 seconds, installer exit code 1618!\r\n"
                  "Install failed.\r\n",
              result.output);
    EXPECT_EQ(1618u, result.dwExitCode);
    EXPECT_EQ(L"", InstalledFolder());
}

}  // namespace
