// The argument text that MsiExec.exe gets, and the runner's refusal of a
// missing package.
#include <gtest/gtest.h>

#include <string>

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
    BOOL bInstalled = RunInstaller(L"setup.msi", L"/qn", FALSE);
    SetShellLaunchHooks(pPrevious);

    EXPECT_FALSE(bInstalled);
    EXPECT_EQ(g_launch.nLaunches, 1);
    EXPECT_EQ(kvtest::ToUtf8(g_launch.file), kvtest::ToUtf8(std::wstring(szSystem) + L"\\MsiExec.exe"));
    EXPECT_EQ(g_launch.parameters, L"/qn /i C:\\Deploy\\setup.msi");
}

TEST_F(InstallerTest, NoPackageStartsNothing)
{
    kvtest::CStdoutCapture capture;
    EXPECT_FALSE(RunInstaller(nullptr, L"/qn", FALSE));
    EXPECT_EQ("Error: installer_file is absent!\r\n", capture.Finish());
}

}  // namespace
