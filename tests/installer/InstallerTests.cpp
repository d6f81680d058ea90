// The argument text that MsiExec.exe gets, the runner's refusal of a missing
// package, and how it waits for the installer and weighs its exit code.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FakeClock.h"
#include "FakeInstaller.h"
#include "TestSupport.h"
#include "appctl/Installer.h"
#include "appctl/ShellLaunch.h"
#include "base/StartFolder.h"
#include "base/Text.h"

namespace {

class InstallerTest : public ::testing::Test {
protected:
    void SetUp() override { CopyText(m_szSaved, MAX_PATH, szStartFolder); }
    void TearDown() override { CopyText(szStartFolder, MAX_PATH, m_szSaved); }

private:
    WCHAR m_szSaved[MAX_PATH] = {};
};

TEST_F(InstallerTest, ArgumentsPutOptionsFirstAndTheFolderBeforeARelativePackage)
{
    struct CASE {
        const wchar_t* szOptions;
        const wchar_t* szPackage;
        const wchar_t* szStart;
        BOOL bUninstall;
        const wchar_t* szArguments;
    } cases[] = {
        {L"/qn", L"setup.msi", L"C:\\Deploy\\", FALSE, L"/qn /i C:\\Deploy\\setup.msi"},
        {nullptr, L"{6F221571-589E-48FF-BAAE-926A6A12A5A9}", L"C:\\My Deploy\\", TRUE,
         L"/x {6F221571-589E-48FF-BAAE-926A6A12A5A9}"},
        {L"", L"{6F221571-589E-48FF-BAAE-926A6A12A5A9}", L"C:\\Deploy\\", TRUE,
         L"/x {6F221571-589E-48FF-BAAE-926A6A12A5A9}"},
        // Only the default product code goes without a folder, and only as written.
        {nullptr, L"{11111111-2222-3333-4444-555555555555}", L"C:\\Deploy\\", TRUE,
         L"/x C:\\Deploy\\{11111111-2222-3333-4444-555555555555}"},
        {nullptr, L"{6f221571-589e-48ff-baae-926a6a12a5a9}", L"C:\\Deploy\\", TRUE,
         L"/x C:\\Deploy\\{6f221571-589e-48ff-baae-926a6a12a5a9}"},
        {nullptr, L"setup.msi", L"C:\\My Deploy\\", FALSE, L"/i \"C:\\My Deploy\\setup.msi\""},
        {nullptr, L"D:\\Pkg\\new setup.msi", L"C:\\Deploy\\", FALSE, L"/i \"D:\\Pkg\\new setup.msi\""},
        {nullptr, L"\\Pkg\\setup.msi", L"C:\\My Deploy\\", FALSE, L"/i \\Pkg\\setup.msi"},
        {L"/qn REBOOT=ReallySuppress", L"my setup.msi", L"C:\\Deploy\\", FALSE,
         L"/qn REBOOT=ReallySuppress /i \"C:\\Deploy\\my setup.msi\""},
        {L"/passive", L"a", L"C:\\Deploy\\", TRUE, L"/passive /x C:\\Deploy\\a"},
    };
    for (const CASE& c : cases) {
        ASSERT_TRUE(CopyText(szStartFolder, MAX_PATH, c.szStart));
        CHeapBlock argText;
        ASSERT_TRUE(BuildInstallerArguments(c.szPackage, c.szOptions, c.bUninstall, argText)) << c.szPackage;
        EXPECT_EQ(std::wstring(c.szArguments), static_cast<const wchar_t*>(argText.Get())) << c.szPackage;
    }
}

TEST_F(InstallerTest, ArgumentsHoldTheLongestFolderPackageAndOptions)
{
    std::wstring folder = L"C:\\" + std::wstring(250, L'f') + L" \\";
    std::wstring package(259, L'p');
    std::wstring options(127, L'o');
    ASSERT_TRUE(CopyText(szStartFolder, MAX_PATH, folder.c_str()));
    CHeapBlock argText;
    ASSERT_TRUE(BuildInstallerArguments(package.c_str(), options.c_str(), FALSE, argText));
    EXPECT_EQ(options + L" /i \"" + folder + package + L"\"", static_cast<const wchar_t*>(argText.Get()));
}

// What the installer runner asks the shell to start; nothing is started.
struct LAUNCH_RECORD {
    int nLaunches = 0;
    std::wstring file;
    std::wstring parameters;
};
LAUNCH_RECORD g_launch;

BOOL WINAPI RecordLaunch(SHELLEXECUTEINFOW* pInfo)
{
    ++g_launch.nLaunches;
    g_launch.file = pInfo->lpFile ? pInfo->lpFile : L"";
    g_launch.parameters = pInfo->lpParameters ? pInfo->lpParameters : L"";
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
}

// Wine's shell finds a bare name elsewhere than Windows does, so the path
// handed to the shell is what is checked: the system folder's installer,
// never one that a search could find in the current folder first.
TEST_F(InstallerTest, TheInstallerIsStartedByItsFullPathInTheSystemFolder)
{
    WCHAR szSystem[MAX_PATH] = {};
    ASSERT_GT(GetSystemDirectoryW(szSystem, MAX_PATH), 0u);
    ASSERT_TRUE(CopyText(szStartFolder, MAX_PATH, L"C:\\Deploy\\"));
    static const SHELL_LAUNCH_HOOKS kRecorder = {RecordLaunch};
    g_launch = LAUNCH_RECORD();
    const SHELL_LAUNCH_HOOKS* pPrevious = SetShellLaunchHooks(&kRecorder);
    const INSTALLER_LIMITS limits = {600000, 3300000, L""};
    INSTALLER_OUTCOME outcome = RunInstaller(L"setup.msi", L"/qn", FALSE, limits);
    SetShellLaunchHooks(pPrevious);

    EXPECT_EQ(KV_INSTALLER_FAILED, outcome);
    EXPECT_EQ(g_launch.nLaunches, 1);
    EXPECT_EQ(kvtest::ToUtf8(g_launch.file), kvtest::ToUtf8(std::wstring(szSystem) + L"\\MsiExec.exe"));
    EXPECT_EQ(g_launch.parameters, L"/qn /i C:\\Deploy\\setup.msi");
}

TEST_F(InstallerTest, NoPackageStartsNothing)
{
    kvtest::CStdoutCapture capture;
    const INSTALLER_LIMITS limits = {600000, 3300000, L""};
    EXPECT_EQ(KV_INSTALLER_FAILED, RunInstaller(nullptr, L"/qn", FALSE, limits));
    EXPECT_EQ("Error: installer_file is absent!\r\n", capture.Finish());
}

// The runner against a stand-in for MsiExec.exe; time runs on the fake
// clock, so waits of minutes take none.
using kvtest::FAKE_INSTALLER;
FAKE_INSTALLER& s_fake = kvtest::CFakeInstaller::State();

const wchar_t kProductCode[] = L"{6F221571-589E-48FF-BAAE-926A6A12A5A9}";

class InstallerRun : public ::testing::Test {
protected:
    INSTALLER_OUTCOME Run(BOOL bUninstall, DWORD dwBusyWaitMs = 600000, DWORD dwTimeoutMs = 3300000,
                          LPCWSTR szOptions = L"/qn")
    {
        const INSTALLER_LIMITS limits = {dwBusyWaitMs, dwTimeoutMs, L"C:\\logs\\"};
        kvtest::CStdoutCapture capture;
        INSTALLER_OUTCOME outcome = RunInstaller(kProductCode, szOptions, bUninstall, limits);
        m_output = kvtest::WithoutTimeStamps(capture.Finish());
        return outcome;
    }

    kvtest::CFakeInstaller m_installer;
    kvtest::CFakeClock m_clock;
    std::string m_output;
};

TEST_F(InstallerRun, TheExitCodeDecidesTheOutcomeAndAFailureNamesTheVerboseLog)
{
    struct CASE {
        DWORD dwExitCode;
        BOOL bUninstall;
        INSTALLER_OUTCOME outcome;
        const char* szLines;
    } cases[] = {
        {0, FALSE, KV_INSTALLER_DONE, ""},
        {3010, FALSE, KV_INSTALLER_RESTART_NEEDED, "Installer asks for a restart, exit code 3010.\r\n"},
        {1641, TRUE, KV_INSTALLER_RESTART_STARTED, "Installer asks for a restart, exit code 1641.\r\n"},
        {1605, TRUE, KV_INSTALLER_NOT_INSTALLED, "The product is not installed (installer exit code 1605).\r\n"},
        {1605, FALSE, KV_INSTALLER_FAILED,
         "Error: Installer exit code 1605!\r\nInstaller log: C:\\logs\\Kovalimber_Install_T.log\r\n"},
        {1603, TRUE, KV_INSTALLER_FAILED,
         "Error: Installer exit code 1603!\r\nInstaller log: C:\\logs\\Kovalimber_Uninstall_T.log\r\n"},
    };
    for (const CASE& c : cases) {
        s_fake = FAKE_INSTALLER();
        s_fake.exitCodes = {c.dwExitCode};
        EXPECT_EQ(Run(c.bUninstall), c.outcome) << c.dwExitCode;
        EXPECT_EQ(m_output, c.szLines) << c.dwExitCode;
        ASSERT_EQ(s_fake.arguments.size(), 1u);
        EXPECT_EQ(kvtest::WithoutTimeStamps(kvtest::ToUtf8(s_fake.arguments[0])),
                  std::string("/qn /L*V \"C:\\logs\\Kovalimber_") + (c.bUninstall ? "Uninstall" : "Install") +
                      "_T.log\" " + (c.bUninstall ? "/x " : "/i ") + kvtest::ToUtf8(kProductCode));
    }
}

TEST_F(InstallerRun, OptionsWithTheirOwnLogSwitchGetNoOther)
{
    struct CASE {
        const wchar_t* szOptions;
        BOOL bHolds;
    } cases[] = {
        {L"/qn /l*v C:\\x.log", TRUE}, {L"/qn -Lv x.log", TRUE},
        {L"/L*V x.log", TRUE},         {L"/qn", FALSE},
        {L"/qn NAME=/lx", FALSE},      {L"", FALSE},
    };
    for (const CASE& c : cases)
        EXPECT_EQ(OptionsHoldLogSwitch(c.szOptions), c.bHolds) << kvtest::ToUtf8(c.szOptions);
    EXPECT_FALSE(OptionsHoldLogSwitch(nullptr));

    EXPECT_EQ(Run(FALSE, 600000, 3300000, L"/qn /l* mine.log"), KV_INSTALLER_DONE);
    ASSERT_EQ(s_fake.arguments.size(), 1u);
    EXPECT_EQ(s_fake.arguments[0], std::wstring(L"/qn /l* mine.log /i ") + kProductCode);
}

TEST_F(InstallerRun, WaitsForAnotherInstallationThenRuns)
{
    s_fake.nBusyPolls = 3;
    EXPECT_EQ(Run(FALSE), KV_INSTALLER_DONE);
    EXPECT_EQ(m_output, "Another installation is in progress: waiting up to 600 seconds for it to end...\r\n");
    EXPECT_EQ(s_fake.arguments.size(), 1u);
    EXPECT_EQ(m_clock.Slept(), 3000u);
}

TEST_F(InstallerRun, AnotherInstallationPastTheBoundRunsNothing)
{
    s_fake.nBusyPolls = -1;
    EXPECT_EQ(Run(FALSE, 5000), KV_INSTALLER_BUSY);
    EXPECT_EQ(m_output,
              "Another installation is in progress: waiting up to 5 seconds for it to end...\r\n"
              "Error: another installation is still in progress after 5 seconds, installer exit code 1618!\r\n");
    EXPECT_TRUE(s_fake.arguments.empty());
    EXPECT_EQ(m_clock.Slept(), 5000u);
}

TEST_F(InstallerRun, An1618IsTriedAgainWithinTheBusyWait)
{
    s_fake.exitCodes = {1618, 1618, 0};
    EXPECT_EQ(Run(FALSE), KV_INSTALLER_DONE);
    EXPECT_EQ(m_output,
              "Installer exit code 1618: another installation is in progress, trying again...\r\n"
              "Installer exit code 1618: another installation is in progress, trying again...\r\n");
    EXPECT_EQ(s_fake.arguments.size(), 3u);

    s_fake = FAKE_INSTALLER();
    s_fake.exitCodes = {1618};
    DWORD dwSlept = m_clock.Slept();
    EXPECT_EQ(Run(FALSE, 12000), KV_INSTALLER_BUSY);
    EXPECT_LE(m_clock.Slept() - dwSlept, 12000u);
    EXPECT_GE(s_fake.arguments.size(), 2u);
    EXPECT_LE(s_fake.arguments.size(), 4u);
    const std::string ending =
        "Error: another installation is still in progress after 12 seconds, installer exit code 1618!\r\n"
        "Installer log: C:\\logs\\Kovalimber_Install_T.log\r\n";
    ASSERT_GE(m_output.size(), ending.size());
    EXPECT_EQ(m_output.substr(m_output.size() - ending.size()), ending);
}

TEST_F(InstallerRun, AnInstallerPastTheTimeOutIsLeftRunning)
{
    s_fake.bHang = true;
    EXPECT_EQ(Run(FALSE), KV_INSTALLER_TIMED_OUT);
    EXPECT_EQ(m_output,
              "Error: the installer has not ended within 3300 seconds and is left running!\r\n"
              "Installer log: C:\\logs\\Kovalimber_Install_T.log\r\n");
    EXPECT_EQ(m_clock.Slept(), 3300000u);
    ASSERT_NE(s_fake.hHung, nullptr);
    EXPECT_EQ(WaitForSingleObject(s_fake.hHung, 0), static_cast<DWORD>(WAIT_TIMEOUT));
}

}  // namespace
