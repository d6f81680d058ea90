// Whole deployments by Kovalimber.exe with the stand-in package under Wine:
// MsiExec.exe installs and removes it for real, the service is created from
// the install folder and started. The tool runs from a folder whose path
// holds a space, so the package path it hands to the installer is quoted.
#include <gtest/gtest.h>

#include <string>

#include "ServiceFacts.h"
#include "TestSupport.h"
#include "appctl/Product.h"
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
        kvtest::RUN_RESULT install = Deploy(std::string("[Setup]\r\ninstall=yes\r\ninstall_service=yes\r\n") +
                                            "[Install]\r\ninstall_file=" + c.szPackage + "\r\ninstall_mode=/qn\r\n");
        EXPECT_EQ(std::string(kBanner) + "Install " + c.szPackage +
                      "...\r\nInstall successfully.\r\n"
                      "Installing Service...\r\nInstalled Service Successfully.\r\n"
                      "Starting Service...\r\nStarted Service Successfully.\r\n",
                  install.output);
        EXPECT_EQ(0u, install.dwExitCode);
        EXPECT_EQ(c.szFolder, InstalledFolderIn(c.samView));
        EXPECT_EQ(L"", InstalledFolderIn(c.samOtherView));
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

TEST_F(DeployTest, TheInstallerExitCodeDecidesTheOutcome)
{
    struct CASE {
        const char* szPackage;
        const char* szLines;
        bool bInstalled;
    } cases[] = {
        {"QuorvaneRejected.msi", "Error: Installer exit code 1633!\r\nInstall failed.\r\n", false},
        {"QuorvaneRestart.msi", "Installer asks for a restart, exit code 3010.\r\nInstall successfully.\r\n", true},
    };
    for (const CASE& c : cases) {
        kvtest::RUN_RESULT result = Deploy(std::string("[Setup]\r\ninstall=yes\r\nrestart_service=no\r\n") +
                                           "[Install]\r\ninstall_file=" + c.szPackage + "\r\ninstall_mode=/qn\r\n");
        EXPECT_EQ(std::string(kBanner) + "Install " + c.szPackage + "...\r\n" + c.szLines, result.output);
        EXPECT_EQ(c.bInstalled, InstalledFolder() == kInstallDir) << c.szPackage;
        RemoveProduct();
    }
}

}  // namespace
