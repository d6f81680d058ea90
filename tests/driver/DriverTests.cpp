// Kovalimber.exe itself, run in a scratch folder with a project beside it or
// named on its command line; console output compared byte for byte.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

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

    void Write(const std::wstring& name, const std::string& text)
    {
        ASSERT_TRUE(kvtest::WriteBytes(m_dir / name, text));
    }

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
    EXPECT_EQ(result.dwExitCode, 1603u);
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
        EXPECT_EQ(result.dwExitCode, 1603u);
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
    EXPECT_EQ(result.dwExitCode, 1603u);
}

TEST_F(Driver, UninstallWithoutInstallEndsEarlyWithExitCode1Or1603WhenItFailed)
{
    const char kRest[] =
        "[Setup]\r\nuninstall=yes\r\ninstall=no\r\ndo_copy_files=yes\r\nuser_project=x.ffp\r\n"
        "install_service=yes\r\nrestart_app=yes\r\n[Uninstall]\r\nuninstall_mode=/qn\r\n";
    Write(L"u.prj", kRest);
    kvtest::RUN_RESULT result = Run(L"u.prj");
    // The product is not installed (1605): nothing to remove is no failure.
    EXPECT_EQ(result.output, std::string(kBanner) +
                                 "Uninstall {6F221571-589E-48FF-BAAE-926A6A12A5A9}...\r\n"
                                 "The product is not installed (installer exit code 1605).\r\n"
                                 "Uninstall successfully.\r\n"
                                 "uninstall==yes,install==no, ignore left actions.\r\n");
    EXPECT_EQ(result.dwExitCode, 1u);

    // Wine's installer ends with 2 for a package that does not exist.
    Write(L"u.prj",
          "[Setup]\r\nlog_file=no\r\n" + std::string(kRest + strlen("[Setup]\r\n")) + "uninstall_file=absent.msi\r\n");
    result = Run(L"u.prj");
    EXPECT_EQ(result.output, std::string(kBanner) +
                                 "Uninstall absent.msi...\r\n"
                                 "Error: Installer exit code 2!\r\n"
                                 "Uninstall failed.\r\n"
                                 "uninstall==yes,install==no, ignore left actions.\r\n");
    EXPECT_EQ(result.dwExitCode, 1603u);
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
    const std::wstring lines =
        L"Failed to open project file [" + missing + L"]\r\nFailed to read project " + missing + L".\r\n";
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
    EXPECT_EQ(result.dwExitCode, 1603u);
}

std::string Describe(const std::vector<kvtest::LOG_ENTRY>& entries)
{
    std::string text;
    for (const kvtest::LOG_ENTRY& entry : entries)
        text += std::to_string(entry.nType) + " " + entry.text + "\n";
    return text;
}

const char kInstallWithoutPackage[] = "[Setup]\r\nrestart_service=no\r\ninstall=yes\r\n";

// The log beside the tool and through a variable: the header, each console
// line in order with its type, the closing entry.
TEST_F(Driver, TheLogHoldsTheHeaderEveryLineAndTheExitCode)
{
    ASSERT_TRUE(SetEnvironmentVariableW(L"KV_TEST_LOG_DIR", (m_dir / L"by variable").c_str()));
    struct CASE {
        const char* szSetting;
        std::wstring path;
    } cases[] = {
        {"logs\\run.log", m_dir / L"logs\\run.log"},
        {"%KV_TEST_LOG_DIR%\\deep\\run.log", m_dir / L"by variable\\deep\\run.log"},
    };
    for (const CASE& c : cases) {
        Write(L"log.prj", std::string(kInstallWithoutPackage) + "log_file=" + c.szSetting + "\r\n");
        kvtest::RUN_RESULT result = Run(L"log.prj");
        EXPECT_EQ(result.output, std::string(kBanner) + "Error:install_file is absent.\r\n");
        EXPECT_EQ(result.dwExitCode, 1603u);
        std::vector<kvtest::LOG_ENTRY> entries = kvtest::ReadLogEntries(c.path);
        ASSERT_EQ(entries.size(), 4u) << Describe(entries);
        const std::string& header = entries[0].text;
        EXPECT_EQ(header.find("Kovalimber 1.0.0.0 started. Command line: \"" + kvtest::ToUtf8(m_tool) + "\" log.prj."),
                  0u)
            << header;
        for (const char* szPart : {". Project: log.prj. User: ", "). Computer: ", ". Session: "})
            EXPECT_NE(header.find(szPart), std::string::npos) << szPart << " in " << header;
        entries.erase(entries.begin());
        EXPECT_EQ(Describe(entries),
                  "1 Quorvane Kovalimber by Talwick Software\n"
                  "3 Error:install_file is absent.\n"
                  "3 Kovalimber ended with exit code 1603: an action that ran failed.\n");
    }
    SetEnvironmentVariableW(L"KV_TEST_LOG_DIR", nullptr);
}

TEST_F(Driver, NoLogOrOneThatCannotBeWrittenChangesNothingElse)
{
    std::wstring defaultLog(MAX_PATH, L'\0');
    defaultLog.resize(
        ExpandEnvironmentStringsW(L"%SystemRoot%\\Logs\\Software\\Kovalimber.log", &defaultLog[0], MAX_PATH) - 1);
    std::string before;
    kvtest::ReadBytes(defaultLog, &before);

    Write(L"off.prj", std::string(kInstallWithoutPackage) + "log_file=No\r\n");
    kvtest::RUN_RESULT off = Run(L"off.prj");
    EXPECT_EQ(off.output, std::string(kBanner) + "Error:install_file is absent.\r\n");
    EXPECT_EQ(off.dwExitCode, 1603u);
    std::string after;
    kvtest::ReadBytes(defaultLog, &after);
    EXPECT_EQ(after.size(), before.size()) << "the default log was written";
    EXPECT_EQ(kvtest::ListFolder(m_dir.Path()), (std::set<std::wstring>{L"Kovalimber.exe", L"off.prj"}));

    // A folder that is a file: one line says so, the run is the same.
    Write(L"a file", "x");
    Write(L"bad.prj", std::string(kInstallWithoutPackage) + "log_file=a file\\run.log\r\n");
    kvtest::RUN_RESULT bad = Run(L"bad.prj");
    const std::wstring badPath = m_dir / L"a file\\run.log";
    EXPECT_EQ(bad.output.find(kBanner), 0u);
    EXPECT_EQ(bad.output.find("Warning: cannot write the log file " + kvtest::ToChildOutput(badPath) + " (error "),
              strlen(kBanner))
        << bad.output;
    EXPECT_NE(bad.output.find("); the deployment goes on without a log.\r\nError:install_file is absent.\r\n"),
              std::string::npos)
        << bad.output;
    EXPECT_EQ(bad.dwExitCode, off.dwExitCode);
}

}  // namespace
