// Kovalimber.exe itself, run in a scratch folder with a project beside it or
// named on its command line; console output compared byte for byte.
#include <gtest/gtest.h>

#include <string>

#include "TestSupport.h"

namespace {

using kvtest::CScratchDir;

const char kBanner[] = "Quorvane Kovalimber by Talwick Software\r\n";
const char kUsage[] =
    "Command Line:\r\n"
    "   Kovalimber depoly.prj\r\n"
    "Or use the first prj file in the started folder:\r\n"
    "   Kovalimber\r\n";
// Every switch off: the run prints nothing but the banner.
const char kQuietProject[] = "[Setup]\r\nrestart_service=no\r\n";

class Driver : public ::testing::Test {
protected:
    explicit Driver(const std::wstring& hint = L"drv") : m_dir(hint)
    {
        m_tool = m_dir / L"Kovalimber.exe";
        EXPECT_TRUE(kvtest::CopyInto(kvtest::BinDir() + L"Kovalimber.exe", m_tool));
    }

    kvtest::RUN_RESULT Run(const std::wstring& arguments = L"")
    {
        std::wstring commandLine = L"\"" + m_tool + L"\"";
        if (!arguments.empty())
            commandLine += L" " + arguments;
        kvtest::RUN_RESULT result = kvtest::RunCapture(commandLine, m_dir.Path());
        EXPECT_TRUE(result.bStarted);
        return result;
    }

    void Write(const std::wstring& name, const std::string& text) { ASSERT_TRUE(kvtest::WriteBytes(m_dir / name, text)); }

    CScratchDir m_dir;
    std::wstring m_tool;
};

TEST_F(Driver, UsageWhenThereIsNoProjectOrMoreThanOneArgument)
{
    kvtest::RUN_RESULT none = Run();
    EXPECT_EQ(none.output, std::string(kBanner) + kUsage);
    EXPECT_EQ(none.dwExitCode, 2u);

    Write(L"a.prj", kQuietProject);
    kvtest::RUN_RESULT two = Run(L"a.prj a.prj");
    EXPECT_EQ(two.output, std::string(kBanner) + kUsage);
    EXPECT_EQ(two.dwExitCode, 2u);
}

TEST_F(Driver, FirstProjectFileBesideTheToolNeverAFolder)
{
    ASSERT_TRUE(CreateDirectoryW((m_dir / L"old.prj").c_str(), nullptr));
    // Install switched on without a package: a line that only this project gives.
    Write(L"new.prj", "[Setup]\r\nrestart_service=no\r\ninstall=yes\r\n");
    kvtest::RUN_RESULT result = Run();
    EXPECT_EQ(result.output, std::string(kBanner) + "Error:install_file is absent.\r\n");
    EXPECT_EQ(result.dwExitCode, 0u);
}

TEST_F(Driver, ProjectArgument)
{
    Write(L"p.prj", "[Setup]\r\nrestart_service=no\r\ninstall=yes\r\n");
    const std::string expected = std::string(kBanner) + "Error:install_file is absent.\r\n";
    const std::wstring path = m_dir / L"p.prj";
    // The command line as Windows splits it; \" is a literal quote inside argv[1].
    const std::wstring arguments[] = {
        L"\"" + path + L"\"",
        L"\"\\\"" + path + L"\"",               // leading quote, no closing one
        L"\"\\\"" + path + L"\\\" trailing\"",  // leading quote, closing one, text after it
    };
    for (const std::wstring& argument : arguments) {
        kvtest::RUN_RESULT result = Run(argument);
        EXPECT_EQ(result.output, expected) << kvtest::ToAnsi(argument);
        EXPECT_EQ(result.dwExitCode, 0u);
    }
}

TEST_F(Driver, ArgumentIsCutAfter259Characters)
{
    std::wstring path = m_dir.Path();
    path += std::wstring(259 - path.size() - 4, L'p') + L".prj";
    ASSERT_EQ(path.size(), 259u);
    ASSERT_TRUE(kvtest::WriteBytes(path, "[Setup]\r\nrestart_service=no\r\ninstall=yes\r\n"));
    kvtest::RUN_RESULT result = Run(L"\"" + path + L"xyz\"");
    EXPECT_EQ(result.output, std::string(kBanner) + "Error:install_file is absent.\r\n");
}

TEST_F(Driver, UnreadableProjectEndsTheRunWithExitCode2)
{
    kvtest::RUN_RESULT result = Run(L"missing.prj");
    EXPECT_EQ(result.output, std::string(kBanner) + "Failed to open project file [missing.prj]\r\n" +
                                 "Failed to read project missing.prj.\r\n");
    EXPECT_EQ(result.dwExitCode, 2u);
}

TEST_F(Driver, EmptySetupOnlyStartsTheService)
{
    Write(L"empty.prj", "[Setup]\r\n");
    kvtest::RUN_RESULT result = Run(L"empty.prj");
    // No service is installed on the bench: the start fails without a line of its own.
    EXPECT_EQ(result.output, std::string(kBanner) + "Starting Service...\r\nStarted Service failed.\r\n");
    EXPECT_EQ(result.dwExitCode, 0u);
}

TEST_F(Driver, UninstallWithoutInstallEndsEarlyWithExitCode1)
{
    Write(L"u.prj",
          "[Setup]\r\nuninstall=yes\r\ninstall=no\r\ndo_copy_files=yes\r\nuser_project=x.ffp\r\n"
          "install_service=yes\r\nrestart_app=yes\r\n[Uninstall]\r\nuninstall_mode=/qn\r\n");
    kvtest::RUN_RESULT result = Run(L"u.prj");
    // The product is not installed: the installer refuses the removal (1605).
    EXPECT_EQ(result.output, std::string(kBanner) +
                                 "Uninstall {6F221571-589E-48FF-BAAE-926A6A12A5A9}...\r\n"
                                 "Error: Installer exit code 1605!\r\n"
                                 "Uninstall failed.\r\n"
                                 "uninstall==yes,install==no, ignore left actions.\r\n");
    EXPECT_EQ(result.dwExitCode, 1u);
}

class DriverInFolderWithWideName : public Driver {
protected:
    DriverInFolderWithWideName() : Driver(L"Deploy caf\u00e9 \u65e5\u672c") {}
};

TEST_F(DriverInFolderWithWideName, PathsPrintWholeInTheOutputCodePage)
{
    // The folder name holds characters of the 8-bit code pages and two they
    // cannot hold: those are replaced, the rest of the line still comes out.
    const std::wstring missing = m_dir / L"\u00fcber.prj";
    const std::wstring lines = L"Failed to open project file [" + missing + L"]\r\nFailed to read project " + missing +
                               L".\r\n";
    struct {
        DWORD dwFlags;
        UINT uCodePage;
    } cases[] = {{CREATE_NO_WINDOW, GetOEMCP()}, {DETACHED_PROCESS, GetACP()}};
    for (const auto& c : cases) {
        kvtest::RUN_RESULT result =
            kvtest::RunCapture(L"\"" + m_tool + L"\" \"" + missing + L"\"", m_dir.Path(), 120000, L"", c.dwFlags);
        EXPECT_EQ(result.output, kBanner + kvtest::ToCodePage(lines, c.uCodePage)) << c.uCodePage;
        EXPECT_NE(result.output.find(kvtest::ToCodePage(L"caf\u00e9 ?\?-", c.uCodePage)), std::string::npos);
        EXPECT_NE(result.output.find(kvtest::ToCodePage(L"\u00fcber.prj.\r\n", c.uCodePage)), std::string::npos);
    }

    Write(L"quiet.prj", kQuietProject);
    kvtest::RUN_RESULT quiet = Run();
    EXPECT_EQ(quiet.output, kBanner);
    EXPECT_EQ(quiet.dwExitCode, 0u);
}

TEST_F(Driver, StartedWithoutAPathFindsTheProjectBesideItself)
{
    // As cmd.exe starts a program typed without its folder: the first word has
    // no separator. The tool's own folder is still where it looks.
    Write(L"quiet.prj", "[Setup]\r\nrestart_service=no\r\ninstall=yes\r\n");
    CScratchDir elsewhere(L"cwd");
    kvtest::RUN_RESULT result = kvtest::RunCapture(L"Kovalimber", elsewhere.Path(), 120000, m_tool);
    EXPECT_EQ(result.output, std::string(kBanner) + "Error:install_file is absent.\r\n");
    EXPECT_EQ(result.dwExitCode, 0u);
}

}  // namespace
