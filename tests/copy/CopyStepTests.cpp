// Kovalimber.exe running the copy step of a project: each listed file beside
// the tool copied into its target folder; console output compared byte for
// byte.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "appctl/Product.h"

namespace {

using kvtest::CScratchDir;

const char kBanner[] = "Quorvane Kovalimber by Talwick Software\r\n";
const wchar_t kStepLines[] = L"Copy files...\r\nStopping Application...\r\nStopping Service...\r\n";
const wchar_t kTargetVariable[] = L"KVTEST_COPY_TARGET";
const wchar_t kLongVariable[] = L"KVTEST_COPY_LONG";
// A copy path holds at most this many characters.
const size_t kCopyPathLimit = 291;

struct ITEM {
    std::wstring fileName;
    std::wstring targetFolder;
    std::wstring shownTarget;  // the destination as its outcome line shows it
    bool bCopied;
};

std::string Content(const std::wstring& name)
{
    return "copied " + kvtest::ToUtf8(name);
}

std::wstring Environment(const wchar_t* szName)
{
    WCHAR szValue[MAX_PATH] = {};
    GetEnvironmentVariableW(szName, szValue, MAX_PATH);
    return szValue;
}

std::string ProjectText(const std::vector<ITEM>& items)
{
    std::string text =
        "[Setup]\r\ndo_copy_files=yes\r\nrestart_service=no\r\n[CopyFiles]\r\nFileNum=" + std::to_string(items.size()) +
        "\r\n";
    for (size_t i = 0; i < items.size(); ++i) {
        std::string n = std::to_string(i + 1);
        text += "File" + n + "=" + kvtest::ToAnsi(items[i].fileName) + "\r\n";
        text += "TargetFolder" + n + "=" + kvtest::ToAnsi(items[i].targetFolder) + "\r\n";
    }
    return text;
}

class CopyStep : public ::testing::Test {
protected:
    CopyStep() : m_dir(L"cpy"), m_target(L"cpt"), m_work(L"cpw"), m_toolDir(m_dir.Path())
    {
        EXPECT_TRUE(kvtest::CopyInto(kvtest::BinDir() + L"Kovalimber.exe", m_toolDir + L"Kovalimber.exe"));
        // The tool inherits this process's environment.
        SetEnvironmentVariableW(kTargetVariable, Target().c_str());
    }
    ~CopyStep() override
    {
        SetEnvironmentVariableW(kTargetVariable, nullptr);
        SetEnvironmentVariableW(kLongVariable, nullptr);
    }

    // The target scratch folder without its trailing backslash.
    std::wstring Target() const { return m_target.Path().substr(0, m_target.Path().size() - 1); }

    // The tool in a folder of its own below the first one.
    void MoveToolTo(const std::wstring& folderName)
    {
        m_toolDir = m_dir / folderName + L"\\";
        ASSERT_TRUE(CreateDirectoryW(m_toolDir.c_str(), nullptr));
        ASSERT_TRUE(kvtest::CopyInto(kvtest::BinDir() + L"Kovalimber.exe", m_toolDir + L"Kovalimber.exe"));
    }

    // Writes each item's file beside the tool and runs the copy step in the work folder.
    kvtest::RUN_RESULT Run(const std::vector<ITEM>& items)
    {
        for (const ITEM& item : items)
            EXPECT_TRUE(kvtest::WriteBytes(m_toolDir + item.fileName, Content(item.fileName)));
        EXPECT_TRUE(kvtest::WriteBytes(m_toolDir + L"deploy.prj", ProjectText(items)));
        kvtest::RUN_RESULT result = kvtest::RunCapture(L"\"" + m_toolDir + L"Kovalimber.exe\"", m_work.Path());
        EXPECT_TRUE(result.bStarted);
        // A file that was not copied makes the run a failed one.
        bool bAllCopied = true;
        for (const ITEM& item : items)
            bAllCopied = bAllCopied && item.bCopied;
        EXPECT_EQ(result.dwExitCode, bAllCopied ? 0u : 1603u);
        return result;
    }

    std::string Expected(const std::vector<ITEM>& items) const
    {
        std::wstring text = kStepLines;
        for (const ITEM& item : items) {
            text += L"Copying file " + m_toolDir + item.fileName + L" ...\r\n";
            text += L"Copy to " + item.shownTarget + (item.bCopied ? L" successfully!\r\n" : L" failed!\r\n");
        }
        return kBanner + kvtest::ToChildOutput(text);
    }

    CScratchDir m_dir;
    CScratchDir m_target;
    CScratchDir m_work;
    std::wstring m_toolDir;  // with a trailing backslash
};

TEST_F(CopyStep, EachFileIntoItsTargetFolder)
{
    const std::wstring target = Target();
    const std::wstring systemRoot = Environment(L"SystemRoot");
    ASSERT_FALSE(systemRoot.empty());
    for (const wchar_t* szFolder : {L"bin", L"lib"})
        ASSERT_TRUE(CreateDirectoryW((m_toolDir + szFolder).c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((m_target / L"bin").c_str(), nullptr));
    ASSERT_TRUE(kvtest::WriteBytes(m_target / L"h.txt", "an older h.txt"));

    const std::vector<ITEM> items = {
        {L"a.txt", target, target + L"\\a.txt", true},
        {L"b.txt", target + L"\\", target + L"\\b.txt", true},
        {L"c.txt", target + L"/", target + L"/\\c.txt", true},
        {L"d.txt", L"%KVTEST_COPY_TARGET%", target + L"\\d.txt", true},
        {L"bin\\e.dll", target, target + L"\\bin\\e.dll", true},
        {L"lib\\f.dll", target, target + L"\\lib\\f.dll", false},
        {L"g.txt", target + L"\\missing", target + L"\\missing\\g.txt", false},
        {L"h.txt", target, target + L"\\h.txt", true},
        {L"i.txt", L"%SystemRoot%\\kv-no-such-folder", systemRoot + L"\\kv-no-such-folder\\i.txt", false},
    };
    kvtest::RUN_RESULT result = Run(items);

    EXPECT_EQ(result.output, Expected(items));
    for (const ITEM& item : items) {
        SCOPED_TRACE(kvtest::ToUtf8(item.fileName));
        std::string copied;
        EXPECT_EQ(kvtest::ReadBytes(item.shownTarget, &copied), item.bCopied);
        if (item.bCopied) {
            EXPECT_EQ(copied, Content(item.fileName));
        }
    }
    // A missing folder is not made.
    EXPECT_FALSE(kvtest::FolderExists(m_target / L"missing"));
    EXPECT_FALSE(kvtest::FolderExists(m_target / L"lib"));
}

TEST_F(CopyStep, EmptyTargetFolderMeansTheInstallFolder)
{
    kvtest::CRegValueRestore installDir(HKEY_LOCAL_MACHINE, g_szProductRegKey, g_szInstallDirValue);
    CScratchDir install(L"cpi");
    // A percent sign in the install folder is part of its name.
    const std::wstring percentFolder = install / L"100%KVTEST_COPY_TARGET%";
    ASSERT_TRUE(CreateDirectoryW(percentFolder.c_str(), nullptr));

    struct CASE {
        const char* szName;
        const wchar_t* szRegistered;  // null: none registered
        std::wstring shownTarget;
        std::wstring landed;
    } const cases[] = {
        {"registered", install.Path().c_str(), install / L"x.txt", install / L"x.txt"},
        {"registered without its backslash", percentFolder.c_str(), percentFolder + L"\\x.txt",
         percentFolder + L"\\x.txt"},
        {"none registered: the current folder", nullptr, L"x.txt", m_work / L"x.txt"},
    };
    for (const CASE& c : cases) {
        SCOPED_TRACE(c.szName);
        ASSERT_TRUE(kvtest::SetRegString(HKEY_LOCAL_MACHINE, g_szProductRegKey, g_szInstallDirValue, c.szRegistered));
        const std::vector<ITEM> items = {{L"x.txt", L"", c.shownTarget, true}};

        kvtest::RUN_RESULT result = Run(items);

        EXPECT_EQ(result.output, Expected(items));
        std::string copied;
        EXPECT_TRUE(kvtest::ReadBytes(c.landed, &copied));
        EXPECT_EQ(copied, Content(L"x.txt"));
        DeleteFileW(c.landed.c_str());
    }
}

TEST_F(CopyStep, EmptyListStillStopsApplicationAndService)
{
    kvtest::RUN_RESULT result = Run({});
    EXPECT_EQ(result.output, Expected({}));
}

TEST_F(CopyStep, PathTooLongForTheCopyBuffersSkipsItsItem)
{
    const std::wstring longFolder = m_target / std::wstring(200, L'F');
    const std::wstring longName = L"kvlong-" + std::wstring(53, L'N') + L".txt";
    const std::wstring longSource = L"kvsrc\\" + std::wstring(250, L'S');
    MoveToolTo(std::wstring(40, L'T'));
    ASSERT_TRUE(CreateDirectoryW(longFolder.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((m_toolDir + L"kvsrc").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((m_work / L"kvsrc").c_str(), nullptr));
    ASSERT_TRUE(SetEnvironmentVariableW(kLongVariable, (Target() + L"\\" + std::wstring(300, L'E')).c_str()));
    ASSERT_GT(longFolder.size() + 1 + longName.size(), kCopyPathLimit);
    ASSERT_GT(m_toolDir.size() + longSource.size(), kCopyPathLimit);

    // Each one would copy if the limit were not kept: the folders exist.
    const std::vector<ITEM> items = {
        {longName, longFolder, longFolder + L"\\" + longName, false},
        {L"k.txt", L"%KVTEST_COPY_LONG%", L"%KVTEST_COPY_LONG%\\k.txt", false},
        {longSource, L".", L".\\" + longSource, false},
    };
    kvtest::RUN_RESULT result = Run(items);

    EXPECT_EQ(result.output, Expected(items));
    EXPECT_TRUE(kvtest::ListFolder(longFolder).empty());
    EXPECT_TRUE(kvtest::ListFolder(m_work / L"kvsrc").empty());
}

}  // namespace
