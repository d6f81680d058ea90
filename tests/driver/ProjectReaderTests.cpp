#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "driver/DeployProject.h"

namespace {

using kvtest::CScratchDir;

class ProjectReader : public ::testing::Test {
protected:
    void SetUp() override { ResetDeployProject(); }
    void TearDown() override { ResetDeployProject(); }

    // Reads the project text; the console output of the reader in *pOutput.
    BOOL Read(const std::string& text, std::string* pOutput = nullptr)
    {
        EXPECT_TRUE(kvtest::WriteBytes(m_path, text));
        kvtest::CStdoutCapture capture;
        BOOL bResult = ReadDeployProject(m_path.c_str());
        std::string output = capture.Finish();
        if (pOutput)
            *pOutput = output;
        return bResult;
    }

    std::vector<std::wstring> CopyList()
    {
        std::vector<std::wstring> list;
        for (int i = 0; i < DeployProject.arrCopyFiles.GetSize(); ++i) {
            const COPY_FILE_ITEM& item = DeployProject.arrCopyFiles.GetAt(i);
            list.push_back(std::wstring(item.szFileName) + L">" + item.szTargetFolder);
        }
        return list;
    }

    CScratchDir m_dir{L"prj"};
    std::wstring m_path = m_dir / L"deploy.prj";
};

TEST_F(ProjectReader, YesNoSwitches)
{
    struct {
        const char* szValue;
        BOOL bExpected;
    } cases[] = {{"yes", TRUE}, {"YES", TRUE},   {"Yes", TRUE}, {" yes", FALSE}, {"yes ", FALSE},
                 {"1", FALSE},  {"true", FALSE}, {"no", FALSE}, {"", FALSE}};
    for (const auto& c : cases) {
        ResetDeployProject();
        ASSERT_TRUE(Read(std::string("[Setup]\r\nstop_app=") + c.szValue + "\r\n"));
        EXPECT_EQ(DeployProject.bStopApp, c.bExpected) << '"' << c.szValue << '"';
    }
}

TEST_F(ProjectReader, DefaultsAndWhatIsReadOnlyWhenSwitchedOn)
{
    ASSERT_TRUE(
        Read("[Setup]\r\n[Uninstall]\r\nuninstall_file=old.msi\r\n[Install]\r\ninstall_file=new.msi\r\n"
             "[CopyFiles]\r\nFileNum=1\r\nFile1=a.dll\r\n"));
    const DEPLOY_PROJECT& p = DeployProject;
    EXPECT_FALSE(p.bStopApp || p.bStopService || p.bUninstall || p.bInstall || p.bInstallService || p.bCopyFiles ||
                 p.bRestartApp);
    EXPECT_TRUE(p.bRestartService);
    EXPECT_STREQ(p.szUninstallFile, L"");
    EXPECT_STREQ(p.szInstallFile, L"");
    EXPECT_EQ(p.arrCopyFiles.GetSize(), 0);

    ResetDeployProject();
    ASSERT_TRUE(Read("[setup]\r\nrestart_service=no\r\n[Setup]\r\nStop_App=yes\r\nrestart_service=no\r\n"));
    EXPECT_FALSE(p.bStopApp);
    EXPECT_FALSE(p.bRestartService);
}

TEST_F(ProjectReader, EverySectionWhenSwitchedOn)
{
    ASSERT_TRUE(
        Read("[Setup]\r\nstop_app=yes\r\nstop_service=yes\r\nuninstall=yes\r\ninstall=yes\r\n"
             "install_service=yes\r\ndo_copy_files=yes\r\nuser_project=user.ffp\r\n"
             "service_project=svc.ffp\r\nrestart_service=yes\r\nrestart_app=yes\r\n"
             "[Uninstall]\r\nuninstall_file=old.msi\r\nuninstall_mode=/qn\r\n"
             "[Install]\r\ninstall_file=new setup.msi\r\ninstall_mode=/qb /norestart\r\n"
             "[CopyFiles]\r\nFileNum=2\r\nFile1=a.dll\r\nTargetFolder1=%ProgramFiles%\\X\r\nFile2=b.txt\r\n"));
    const DEPLOY_PROJECT& p = DeployProject;
    EXPECT_TRUE(p.bStopApp && p.bStopService && p.bUninstall && p.bInstall && p.bInstallService && p.bCopyFiles &&
                p.bRestartService && p.bRestartApp);
    EXPECT_STREQ(p.szUserProject, L"user.ffp");
    EXPECT_STREQ(p.szServiceProject, L"svc.ffp");
    EXPECT_STREQ(p.szUninstallFile, L"old.msi");
    EXPECT_STREQ(p.szUninstallMode, L"/qn");
    EXPECT_STREQ(p.szInstallFile, L"new setup.msi");
    EXPECT_STREQ(p.szInstallMode, L"/qb /norestart");
    EXPECT_EQ(CopyList(), (std::vector<std::wstring>{L"a.dll>%ProgramFiles%\\X", L"b.txt>"}));
}

TEST_F(ProjectReader, CopyFilesNumbering)
{
    struct {
        const char* szName;
        std::string body;
        std::vector<std::wstring> expected;
    } cases[] = {
        {"gap", "FileNum=3\r\nFile1=a\r\nFile3=c\r\nTargetFolder3=T\r\n", {L"a>", L"c>T"}},
        {"beyond FileNum", "FileNum=3\r\nFile1=a\r\nFile4=d\r\n", {L"a>"}},
        {"hex count", "FileNum=0x10\r\nFile16=p\r\nFile17=q\r\nFile10=j\r\n", {L"j>", L"p>"}},
        {"order of numbers, not of lines", "FileNum=2\r\nFile2=b\r\nFile1=a\r\n", {L"a>", L"b>"}},
        {"leading zero is another key", "FileNum=2\r\nFile01=x\r\nFile2=b\r\n", {L"b>"}},
        {"first of duplicates", "FileNum=1\r\nFile1=a\r\nFile1=z\r\n", {L"a>"}},
        {"empty file skipped", "FileNum=2\r\nFile1=\r\nTargetFolder1=T\r\nFile2=b\r\n", {L"b>"}},
        {"zero", "FileNum=0\r\nFile1=a\r\n", {}},
        {"negative", "FileNum=-3\r\nFile1=a\r\n", {}},
        {"absent", "File1=a\r\n", {}},
        {"huge count reads only what is there",
         "FileNum=2147483647\r\nFile2000000000=z\r\nFile5=e\r\n",
         {L"e>", L"z>"}},
    };
    for (const auto& c : cases) {
        ResetDeployProject();
        ASSERT_TRUE(Read("[Setup]\r\ndo_copy_files=yes\r\n[CopyFiles]\r\n" + c.body)) << c.szName;
        EXPECT_EQ(CopyList(), c.expected) << c.szName;
    }
}

TEST_F(ProjectReader, MissingProjectIsRejectedWithItsLine)
{
    std::wstring path = m_dir / L"absent.prj";
    kvtest::CStdoutCapture capture;
    EXPECT_FALSE(ReadDeployProject(path.c_str()));
    EXPECT_EQ(capture.Finish(), "Failed to open project file [" + kvtest::ToAnsi(path) + "]\r\n");
    EXPECT_FALSE(DeployProject.bRestartService);
}

TEST_F(ProjectReader, ValueLongerThanItsFieldRejectsTheProject)
{
    const std::string fits(259, 'a');
    std::string output;
    ASSERT_TRUE(Read("[Setup]\r\nuser_project=" + fits + "\r\n", &output));
    EXPECT_EQ(output, "");
    EXPECT_EQ(std::wstring(DeployProject.szUserProject), std::wstring(259, L'a'));

    struct {
        std::string text;
        const char* szLine;
    } cases[] = {
        {"[Setup]\r\nuser_project=" + fits + "b\r\n",
         "Error: the value of user_project in section [Setup] is longer than 259 characters.\r\n"},
        {"[Setup]\r\ninstall=yes\r\n[Install]\r\ninstall_mode=" + std::string(128, 'm') + "\r\n",
         "Error: the value of install_mode in section [Install] is longer than 127 characters.\r\n"},
        {"[Setup]\r\ndo_copy_files=yes\r\n[CopyFiles]\r\nFileNum=1\r\nFile1=x\r\nTargetFolder1=" +
             std::string(600, 't') + "\r\n",
         "Error: the value of TargetFolder1 in section [CopyFiles] is longer than 259 characters.\r\n"},
    };
    for (const auto& c : cases) {
        ResetDeployProject();
        EXPECT_FALSE(Read(c.text, &output));
        EXPECT_EQ(output, c.szLine);
        EXPECT_FALSE(DeployProject.bRestartService);
        EXPECT_EQ(DeployProject.arrCopyFiles.GetSize(), 0);
    }
}

TEST_F(ProjectReader, ByteOrderMarkedProjectsReadTheirFirstSection)
{
    ASSERT_TRUE(Read("\xEF\xBB\xBF[Setup]\r\nstop_app=yes\r\nuser_project=Donn\xC3\xA9\x65s.ffp\r\n"));
    EXPECT_TRUE(DeployProject.bStopApp);
    EXPECT_STREQ(DeployProject.szUserProject, L"Donn\u00e9es.ffp");
}

// UTF-16 text, each unit in the given byte order, after its mark when bMark.
std::string Utf16(const std::wstring& text, bool bBigEndian, bool bMark)
{
    std::string bytes;
    for (wchar_t ch : (bMark ? L"\uFEFF" : L"") + text) {
        char low = static_cast<char>(ch & 0xFF);
        char high = static_cast<char>((ch >> 8) & 0xFF);
        bytes += bBigEndian ? high : low;
        bytes += bBigEndian ? low : high;
    }
    return bytes;
}

// A project is read as its editor wrote it, or not at all: never as a
// project whose keys went missing, which would still start the service.
TEST_F(ProjectReader, ProjectTextAsItsEditorWroteItOrRejected)
{
    const std::wstring wide = L"[Setup]\r\nstop_app=yes\r\nuser_project=Donn\u00e9es \u65e5\u672c.ffp\r\n";
    const std::string ansiName = kvtest::ToAnsi(L"Donn\u00e9es.ffp");
    const std::wstring mixedName = L"\u00c3\u00a9Donn\u00e9es.ffp";
    struct {
        const char* szWhat;
        std::string text;
        const wchar_t* szProject;  // null: rejected with the line
        std::string line;
    } const cases[] = {
        {"UTF-8 without a mark", kvtest::ToUtf8(wide), L"Donn\u00e9es \u65e5\u672c.ffp", ""},
        {"UTF-16 big-endian with its mark", Utf16(wide, true, true), L"Donn\u00e9es \u65e5\u672c.ffp", ""},
        {"ANSI text", "[Setup]\r\nstop_app=yes\r\nuser_project=" + ansiName + "\r\n", L"Donn\u00e9es.ffp", ""},
        // "\xC3\xA9" would be valid UTF-8, the "\xE9" after it is not: the
        // whole text is ANSI.
        {"ANSI text that holds a UTF-8 sequence too",
         "[Setup]\r\nstop_app=yes\r\nuser_project=" + kvtest::ToAnsi(mixedName) + "\r\n", mixedName.c_str(), ""},
        {"UTF-16 without a mark", Utf16(wide, false, false), nullptr,
         "Error: the project file holds a zero byte at offset 1: it is no 8-bit text.\r\n"},
        {"zero byte in ANSI text", std::string("[Setup]\r\nstop_app=yes\r\n\0restart_app=yes\r\n", 38), nullptr,
         "Error: the project file holds a zero byte at offset 23: it is no 8-bit text.\r\n"},
        {"zero byte after a UTF-8 mark", std::string("\xEF\xBB\xBF[Setup]\r\n\0", 13), nullptr,
         "Error: the project file holds a zero byte at offset 12: it is no 8-bit text.\r\n"},
        {"zero unit in UTF-16", Utf16(std::wstring(L"[Setup]\r\n\0x", 11), false, true), nullptr,
         "Error: the project file holds a zero byte at offset 20: it is no 8-bit text.\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.szWhat);
        ResetDeployProject();
        std::string output;
        BOOL bRead = Read(c.text, &output);
        EXPECT_EQ(bRead, c.szProject != nullptr);
        EXPECT_EQ(output, c.line);
        EXPECT_EQ(DeployProject.bStopApp, c.szProject != nullptr);
        EXPECT_EQ(DeployProject.bRestartService, c.szProject != nullptr) << "a rejected project starts nothing";
        if (c.szProject) {
            EXPECT_EQ(kvtest::ToUtf8(DeployProject.szUserProject), kvtest::ToUtf8(c.szProject));
        }
    }
}

// Unpaired quotes make the installer show its usage box, which nobody would
// see and which would wait for ever.
TEST_F(ProjectReader, InstallerOptionsWithUnpairedQuotesRejectTheProject)
{
    struct {
        const char* szSection;
        const char* szKey;
        const char* szValue;
        bool bRead;
    } const cases[] = {
        {"Install", "install_mode", "/qn TARGETDIR=\"C:\\My Apps\"", true},
        {"Install", "install_mode", "/qn TARGETDIR=\"C:\\My Apps", false},
        {"Uninstall", "uninstall_mode", "/qn \"\"\"", false},
        {"Uninstall", "uninstall_mode", "/qn", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.szValue);
        ResetDeployProject();
        std::string output;
        std::string text = std::string("[Setup]\r\nuninstall=yes\r\ninstall=yes\r\n[") + c.szSection + "]\r\n" +
                           c.szKey + "=" + c.szValue + "\r\n";
        EXPECT_EQ(Read(text, &output), c.bRead);
        EXPECT_EQ(output, c.bRead ? std::string()
                                  : std::string("Error: the value of ") + c.szKey + " in section [" + c.szSection +
                                        "] has an odd number of double quotes.\r\n");
        EXPECT_EQ(DeployProject.bInstall, c.bRead);
    }
}

}  // namespace
