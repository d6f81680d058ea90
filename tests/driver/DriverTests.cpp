// Kovalimber.exe itself, run in a scratch folder with a project beside it or
// named on its command line; console output compared byte for byte.
#include <gtest/gtest.h>

#include <string>

#include "TestSupport.h"
#include "appctl/Product.h"
#include "base/Handles.h"

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

// A cut argument could name another existing file: here the file whose name
// is the argument's first 259 characters.
TEST_F(Driver, ArgumentOfMoreThan259CharactersIsRefused)
{
    std::wstring path = m_dir.Path();
    path += std::wstring(259 - path.size() - 4, L'p') + L".prj";
    ASSERT_EQ(path.size(), 259u);
    ASSERT_TRUE(kvtest::WriteBytes(path, "[Setup]\r\nrestart_service=no\r\ninstall=yes\r\n"));
    kvtest::RUN_RESULT fits = Run(L"\"" + path + L"\"");
    EXPECT_EQ(fits.output, std::string(kBanner) + "Error:install_file is absent.\r\n");
    EXPECT_EQ(fits.dwExitCode, 0u);

    kvtest::RUN_RESULT longer = Run(L"\"" + path + L"xyz\"");
    EXPECT_EQ(longer.output, std::string(kBanner) + "Error: the project argument is longer than 259 characters.\r\n");
    EXPECT_EQ(longer.dwExitCode, 2u);
}

// A device or a pipe is no project: read, it would give an empty project
// that still starts the service, or a read that never ends.
TEST_F(Driver, ProjectThatIsNoFileOnADiskIsRefused)
{
    const std::wstring pipe = L"\\\\.\\pipe\\kvtest-project-" + std::to_wstring(GetCurrentProcessId());
    CFileHandle hPipe(CreateNamedPipeW(pipe.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT,
                                       PIPE_UNLIMITED_INSTANCES, 4096, 4096, 0, nullptr));
    ASSERT_TRUE(hPipe.IsValid());
    for (const std::wstring& project : {std::wstring(L"NUL"), pipe}) {
        SCOPED_TRACE(kvtest::ToUtf8(project));
        kvtest::RUN_RESULT result = Run(project);
        const std::string path = kvtest::ToAnsi(project);
        EXPECT_EQ(result.output, std::string(kBanner) + "Error: the project [" + path +
                                     "] is not a file on a disk.\r\nFailed to open project file [" + path +
                                     "]\r\nFailed to read project " + path + ".\r\n");
        EXPECT_EQ(result.dwExitCode, 2u);
    }
    // A serial port the bench may not have: refused either way.
    kvtest::RUN_RESULT port = Run(L"COM1");
    EXPECT_NE(port.output.find("Failed to read project COM1.\r\n"), std::string::npos);
    EXPECT_EQ(port.dwExitCode, 2u);
}

TEST_F(Driver, ProjectTextThatIsNo8BitTextEndsTheRunWithExitCode2)
{
    // "[Setup]" saved as UTF-16 without its mark.
    Write(L"utf16.prj", std::string("[\0S\0e\0t\0u\0p\0]\0", 14));
    kvtest::RUN_RESULT result = Run(L"utf16.prj");
    EXPECT_EQ(result.output, std::string(kBanner) +
                                 "Error: the project file holds a zero byte at offset 1: it is no 8-bit text.\r\n"
                                 "Failed to read project utf16.prj.\r\n");
    EXPECT_EQ(result.dwExitCode, 2u);
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
    EXPECT_EQ(result.dwExitCode, 0u);
}

bool ServiceExists()
{
    CServiceHandle hManager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    CServiceHandle hService(OpenServiceW(hManager.Get(), g_szServiceName, SERVICE_QUERY_STATUS));
    return hService.IsValid();
}

bool ApplicationRuns()
{
    return FindWindowW(g_szAppMainWndClass, nullptr) != nullptr;
}

// Programs of the product's names planted where a search would look (the
// tool's folder and the current folder) are never run, and without a usable
// install folder nothing is started and no service is registered.
TEST_F(Driver, PlantedProgramsAreNeverRunAndNothingStartsWithoutAUsableInstallFolder)
{
    ASSERT_FALSE(ServiceExists()) << "the product's service is installed";
    ASSERT_FALSE(ApplicationRuns()) << "the product's application runs";
    kvtest::CRegValueRestore restore(HKEY_LOCAL_MACHINE, g_szProductRegKey, g_szInstallDirValue);
    CScratchDir cwd(L"cwd");
    const std::wstring app = std::wstring(g_szAppBaseName) + g_szExeExtension;
    const std::wstring service = std::wstring(g_szServiceBaseName) + g_szExeExtension;
    for (const CScratchDir* pDir : {&m_dir, &cwd}) {
        // Run as the installer, the tool itself would end with 2 (usage);
        // the system's installer ends with 1605 for a product not installed.
        ASSERT_TRUE(kvtest::CopyInto(m_tool, *pDir / L"MsiExec.exe"));
        ASSERT_TRUE(kvtest::CopyInto(kvtest::BinDir() + app, *pDir / app));
        ASSERT_TRUE(kvtest::CopyInto(kvtest::BinDir() + service, *pDir / service));
    }
    auto run = [&](const std::string& project) {
        Write(L"planted.prj", project);
        kvtest::RUN_RESULT result =
            kvtest::RunCapture(L"\"" + m_tool + L"\" \"" + (m_dir / L"planted.prj") + L"\"", cwd.Path());
        EXPECT_TRUE(result.bStarted);
        return result;
    };

    kvtest::RUN_RESULT uninstall = run("[Setup]\r\nrestart_service=no\r\nuninstall=yes\r\n");
    EXPECT_EQ(uninstall.output, std::string(kBanner) +
                                    "Uninstall {6F221571-589E-48FF-BAAE-926A6A12A5A9}...\r\n"
                                    "Error: Installer exit code 1605!\r\n"
                                    "Uninstall failed.\r\n"
                                    "uninstall==yes,install==no, ignore left actions.\r\n");

    const std::wstring missing = cwd / L"missing\\";
    struct {
        const char* szWhat;
        const wchar_t* szFolder;  // null: no value
        std::string line;
    } const cases[] = {
        {"none registered", nullptr, "Error: no install folder of the product is registered.\r\n"},
        {"relative", L"Talwick\\", "Error: the install folder Talwick\\ is not a full path.\r\n"},
        {"missing", missing.c_str(),
         "Error: the install folder " + kvtest::ToAnsi(missing) + " is not an existing folder.\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.szWhat);
        ASSERT_TRUE(kvtest::SetRegString(HKEY_LOCAL_MACHINE, g_szProductRegKey, g_szInstallDirValue, c.szFolder));
        kvtest::RUN_RESULT result = run("[Setup]\r\nrestart_service=no\r\ninstall_service=yes\r\nrestart_app=yes\r\n");
        EXPECT_EQ(result.output, std::string(kBanner) + "Installing Service...\r\n" + c.line +
                                     "Install Service failed.\r\nStart Application...\r\n" + c.line +
                                     "Start Application failed.\r\n");
        EXPECT_EQ(result.dwExitCode, 0u);
        EXPECT_FALSE(ServiceExists());
    }
    Sleep(1000);
    EXPECT_FALSE(ApplicationRuns()) << "a planted application was started";
}

}  // namespace
