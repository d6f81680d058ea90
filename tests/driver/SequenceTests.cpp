// The driver's sequence in-process, with a stand-in behind the installer
// runner: what an installer's outcome does to the actions after it and to
// the exit code. Nothing here touches the product.
#include <gtest/gtest.h>

#include <string>

#include "FakeClock.h"
#include "FakeInstaller.h"
#include "TestSupport.h"
#include "driver/DeployProject.h"
#include "driver/Driver.h"
#include "instance/InstanceMngr.h"

// The process-wide object the application stop relies on; the tool's own
// is in its entry point.
CInstanceMngr g_InstanceMngr;

namespace {

const char kBanner[] = "Quorvane Kovalimber by Talwick Software\r\n";
const char kUninstall[] = "Uninstall {6F221571-589E-48FF-BAAE-926A6A12A5A9}...\r\n";

class Sequence : public ::testing::Test {
protected:
    // Uninstall and install, then the placement of a project that does not
    // exist: a later action that fails when it runs.
    int Run(const std::string& extraSetup)
    {
        EXPECT_TRUE(kvtest::WriteBytes(
            m_dir / L"deploy.prj",
            "[Setup]\r\nuninstall=yes\r\ninstall=yes\r\nrestart_service=no\r\nlog_file=no\r\n" + extraSetup +
                "[Uninstall]\r\nuninstall_mode=/qn\r\n[Install]\r\ninstall_file=new.msi\r\ninstall_mode=/qn\r\n"));
        std::wstring tool = m_dir / L"Kovalimber.exe";
        std::wstring project = m_dir / L"deploy.prj";
        WCHAR* argv[] = {&tool[0], &project[0], nullptr};
        ResetDeployProject();
        kvtest::CStdoutCapture capture;
        int nExitCode = RunDeployment(2, argv);
        m_output = capture.Finish();
        ResetDeployProject();
        return nExitCode;
    }

    size_t Starts() const { return kvtest::CFakeInstaller::State().arguments.size(); }

    kvtest::CFakeInstaller m_installer;
    kvtest::CFakeClock m_clock;
    kvtest::CScratchDir m_dir{L"seq"};
    std::string m_output;
};

const char kPlaceAbsent[] = "user_project=absent.ffp\r\n";

TEST_F(Sequence, NothingRunsAfterAnInstallerStartedARestart)
{
    kvtest::CFakeInstaller::State().exitCodes = {1641};
    EXPECT_EQ(Run(kPlaceAbsent), 1641);
    EXPECT_EQ(m_output, std::string(kBanner) + kUninstall +
                            "Installer asks for a restart, exit code 1641.\r\nUninstall successfully.\r\n"
                            "The installer started a restart: no further action runs.\r\n");
    EXPECT_EQ(Starts(), 1u);

    kvtest::CFakeInstaller::State() = kvtest::FAKE_INSTALLER();
    kvtest::CFakeInstaller::State().exitCodes = {0, 1641};
    EXPECT_EQ(Run(kPlaceAbsent), 1641);
    EXPECT_EQ(m_output, std::string(kBanner) + kUninstall +
                            "Uninstall successfully.\r\nInstall new.msi...\r\n"
                            "Installer asks for a restart, exit code 1641.\r\nInstall successfully.\r\n"
                            "The installer started a restart: no further action runs.\r\n");
    EXPECT_EQ(Starts(), 2u);
}

TEST_F(Sequence, NothingRunsAfterAnInstallerPastItsTimeOut)
{
    kvtest::CFakeInstaller::State().bHang = true;
    EXPECT_EQ(Run(std::string(kPlaceAbsent) + "installer_timeout=60\r\n"), 1603);
    EXPECT_EQ(m_output, std::string(kBanner) + kUninstall +
                            "Error: the installer has not ended within 60 seconds and is left running!\r\n"
                            "Uninstall failed.\r\n"
                            "The installer is still running: no further action runs.\r\n");
    EXPECT_EQ(Starts(), 1u);
    EXPECT_EQ(m_clock.Slept(), 60000u);
}

// The run goes on after the other outcomes; the worst one is the exit code.
TEST_F(Sequence, OtherOutcomesLetTheRunGoOnAndTheWorstIsTheExitCode)
{
    struct CASE {
        const char* szName;
        std::vector<DWORD> exitCodes;
        int nBusyPolls;
        const char* szExtra;
        int nExitCode;
    } cases[] = {
        {"restart asked", {0, 3010}, 0, "", 3010},
        {"restart asked, then a failed action", {0, 3010}, 0, kPlaceAbsent, 1603},
        {"busy past the wait", {0}, -1, "installer_busy_wait=5\r\n", 1618},
        {"busy past the wait, then a failed action",
         {0},
         -1,
         "installer_busy_wait=5\r\nuser_project=absent.ffp\r\n",
         1603},
        {"nothing to remove, then installed", {1605, 0}, 0, "", 0},
    };
    for (const CASE& c : cases) {
        kvtest::CFakeInstaller::State() = kvtest::FAKE_INSTALLER();
        kvtest::CFakeInstaller::State().exitCodes = c.exitCodes;
        kvtest::CFakeInstaller::State().nBusyPolls = c.nBusyPolls;
        EXPECT_EQ(Run(c.szExtra), c.nExitCode) << c.szName;
        EXPECT_NE(m_output.find("Install new.msi...\r\n"), std::string::npos) << c.szName << "\n" << m_output;
        EXPECT_EQ(m_output.find("Set user project...") != std::string::npos,
                  std::string(c.szExtra).find("user_project") != std::string::npos)
            << c.szName;
    }
}

}  // namespace
