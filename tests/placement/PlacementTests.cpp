// Kovalimber.exe placing the user's and the service's project into the data
// folders that the shell names, with the registry values of the user's
// project; console output compared byte for byte.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "appctl/Product.h"

namespace {

using kvtest::CRegValueRestore;
using kvtest::CScratchDir;

const char kBanner[] = "Quorvane Kovalimber by Talwick Software\r\n";
const wchar_t kUserShellFoldersKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
const wchar_t kShellFoldersKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const wchar_t kUserDataValue[] = L"AppData";
const wchar_t kCommonDataValue[] = L"Common AppData";
// The product's own paths hold at most this many characters.
const size_t kProductPathLimit = 291;

std::wstring ShellFolder(int nFolder)
{
    WCHAR szPath[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, nFolder | CSIDL_FLAG_CREATE, nullptr, 0, szPath);
    return szPath;
}

std::wstring ProductFolder(const std::wstring& dataFolder)
{
    return dataFolder + L"\\" + g_szDataFolderMaker + L"\\" + g_szDataFolderProduct + L"\\";
}

// The product's folders below a data folder as they were: what a run adds
// there is removed again when the object goes.
class CDataFolderRestore {
public:
    explicit CDataFolderRestore(const std::wstring& dataFolder)
        : m_maker(dataFolder + L"\\" + g_szDataFolderMaker + L"\\"), m_product(ProductFolder(dataFolder))
    {
        m_bMakerExisted = kvtest::FolderExists(m_maker);
        m_bProductExisted = kvtest::FolderExists(m_product);
        m_entries = kvtest::ListFolder(m_product);
    }
    ~CDataFolderRestore()
    {
        if (!m_bMakerExisted || !m_bProductExisted) {
            kvtest::RemoveTree(m_bMakerExisted ? m_product : m_maker);
            return;
        }
        for (const std::wstring& name : kvtest::ListFolder(m_product)) {
            if (m_entries.count(name))
                continue;
            std::wstring path = m_product + name;
            if (kvtest::FolderExists(path))
                kvtest::RemoveTree(path);
            else
                DeleteFileW(path.c_str());
        }
    }
    CDataFolderRestore(const CDataFolderRestore&) = delete;
    CDataFolderRestore& operator=(const CDataFolderRestore&) = delete;

    // With a trailing backslash.
    const std::wstring& Product() const { return m_product; }

private:
    std::wstring m_maker;
    std::wstring m_product;
    bool m_bMakerExisted;
    bool m_bProductExisted;
    std::set<std::wstring> m_entries;
};

// One copy of a placement: the same name below the tool's folder and below
// the product's data folder.
struct COPY_LINE {
    const wchar_t* szName;
    bool bCopied;
};

std::wstring CopyLines(const std::wstring& from, const std::wstring& to, const std::vector<COPY_LINE>& lines)
{
    std::wstring text;
    for (const COPY_LINE& line : lines) {
        std::wstring source = from + line.szName;
        std::wstring target = to + line.szName;
        text += line.bCopied ? L"Copy " + source + L" to " + target + L" successfully.\r\n"
                             : L"Failed to copy " + source + L" to " + target + L".\r\n";
    }
    return text;
}

// One placement between the driver's start and outcome lines.
std::wstring StepLines(const std::wstring& whose, const std::wstring& body, bool bPlaced)
{
    return L"Set " + whose + L" project...\r\n" + body + L"Set " + whose +
           (bPlaced ? L" project Successfully.\r\n" : L" project failed.\r\n");
}

std::string Content(const std::wstring& name)
{
    return "placed " + kvtest::ToUtf8(name);
}

class Placement : public ::testing::Test {
protected:
    Placement()
        : m_userData(ShellFolder(CSIDL_APPDATA)),
          m_serviceData(ShellFolder(CSIDL_COMMON_APPDATA)),
          m_dataFile(HKEY_CURRENT_USER, g_szProductRegKey, g_szDataFileValue),
          m_logFile(HKEY_CURRENT_USER, g_szProductRegKey, g_szLogFileValue),
          m_dir(L"plc")
    {
        EXPECT_TRUE(kvtest::CopyInto(kvtest::BinDir() + L"Kovalimber.exe", m_dir / L"Kovalimber.exe"));
    }

    // Places the same project for the user and for the service.
    kvtest::RUN_RESULT Run(const std::wstring& project)
    {
        std::string text = "[Setup]\r\nrestart_service=no\r\nuser_project=" + kvtest::ToAnsi(project) +
                           "\r\nservice_project=" + kvtest::ToAnsi(project) + "\r\n";
        EXPECT_TRUE(kvtest::WriteBytes(m_dir / L"deploy.prj", text));
        kvtest::RUN_RESULT result = kvtest::RunCapture(L"\"" + (m_dir / L"Kovalimber.exe") + L"\"", m_dir.Path());
        EXPECT_TRUE(result.bStarted);
        // A placement that failed makes the run a failed one.
        bool bFailed = result.output.find(" project failed.\r\n") != std::string::npos;
        EXPECT_EQ(result.dwExitCode, bFailed ? 1603u : 0u);
        return result;
    }

    std::string Expected(const std::wstring& userLines, bool bUserPlaced, const std::wstring& serviceLines,
                         bool bServicePlaced)
    {
        return kBanner + kvtest::ToChildOutput(StepLines(L"user", userLines, bUserPlaced) +
                                               StepLines(L"service", serviceLines, bServicePlaced));
    }

    static std::wstring RegisteredValue(const wchar_t* szValue)
    {
        std::wstring data;
        return kvtest::GetRegString(HKEY_CURRENT_USER, g_szProductRegKey, szValue, &data) ? data : L"(none)";
    }

    CDataFolderRestore m_userData;
    CDataFolderRestore m_serviceData;
    CRegValueRestore m_dataFile;
    CRegValueRestore m_logFile;
    CScratchDir m_dir;
};

TEST_F(Placement, ProjectAndCompanionIntoBothDataFolders)
{
    struct CASE {
        const wchar_t* szProject;
        std::vector<const wchar_t*> besideFolders;
        std::vector<const wchar_t*> besideFiles;
        const wchar_t* szDataSubfolder;  // made in both product folders first
        std::vector<COPY_LINE> lines;
        bool bPlaced;
        const wchar_t* szLogFile;
    };
    const CASE cases[] = {
        {L"kvtest.prj",
         {},
         {L"kvtest.prj", L"kvtest.fsn"},
         nullptr,
         {{L"kvtest.prj", true}, {L"kvtest.fsn", true}},
         true,
         L"kvtest.fsl"},
        {L"kvtest-alone.prj",
         {},
         {L"kvtest-alone.prj"},
         nullptr,
         {{L"kvtest-alone.prj", true}},
         true,
         L"kvtest-alone.fsl"},
        {L"kvtest-noext",
         {},
         {L"kvtest-noext", L"kvtest-noext.fsn"},
         nullptr,
         {{L"kvtest-noext", true}, {L"kvtest-noext.fsn", true}},
         true,
         L"kvtest-noext.fsl"},
        // Its own companion: copied twice.
        {L"kvtest-self.fsn",
         {},
         {L"kvtest-self.fsn"},
         nullptr,
         {{L"kvtest-self.fsn", true}, {L"kvtest-self.fsn", true}},
         true,
         L"kvtest-self.fsl"},
        // The subfolder is not made below the data folder; the registry
        // values are written all the same.
        {L"kvsub\\kvtest.prj",
         {L"kvsub"},
         {L"kvsub\\kvtest.prj", L"kvsub\\kvtest.fsn"},
         nullptr,
         {{L"kvsub\\kvtest.prj", false}, {L"kvsub\\kvtest.fsn", false}},
         false,
         L"kvsub\\kvtest.fsl"},
        {L"kvmade\\kvtest.prj",
         {L"kvmade"},
         {L"kvmade\\kvtest.prj"},
         L"kvmade",
         {{L"kvmade\\kvtest.prj", true}},
         true,
         L"kvmade\\kvtest.fsl"},
        // A missing project still has its companion placed.
        {L"kvtest-missing.prj",
         {},
         {L"kvtest-missing.fsn"},
         nullptr,
         {{L"kvtest-missing.prj", false}, {L"kvtest-missing.fsn", true}},
         false,
         L"kvtest-missing.fsl"},
        // A folder at the companion's path counts as one; its copy fails alone.
        {L"kvtest-dir.prj",
         {L"kvtest-dir.fsn"},
         {L"kvtest-dir.prj"},
         nullptr,
         {{L"kvtest-dir.prj", true}, {L"kvtest-dir.fsn", false}},
         true,
         L"kvtest-dir.fsl"},
        {L"kvtest-J\u00fcrgen-\u20ac.prj",
         {},
         {L"kvtest-J\u00fcrgen-\u20ac.prj"},
         nullptr,
         {{L"kvtest-J\u00fcrgen-\u20ac.prj", true}},
         true,
         L"kvtest-J\u00fcrgen-\u20ac.fsl"},
    };
    for (const CASE& c : cases) {
        SCOPED_TRACE(kvtest::ToUtf8(c.szProject));
        for (const wchar_t* szFolder : c.besideFolders)
            ASSERT_TRUE(CreateDirectoryW((m_dir / szFolder).c_str(), nullptr));
        for (const wchar_t* szFile : c.besideFiles)
            ASSERT_TRUE(kvtest::WriteBytes(m_dir / szFile, Content(szFile)));
        for (const CDataFolderRestore* pData : {&m_userData, &m_serviceData}) {
            if (c.szDataSubfolder) {
                SHCreateDirectoryExW(nullptr, (pData->Product() + c.szDataSubfolder).c_str(), nullptr);
                ASSERT_TRUE(kvtest::FolderExists(pData->Product() + c.szDataSubfolder));
            }
        }

        kvtest::RUN_RESULT result = Run(c.szProject);

        EXPECT_EQ(result.output, Expected(CopyLines(m_dir.Path(), m_userData.Product(), c.lines), c.bPlaced,
                                          CopyLines(m_dir.Path(), m_serviceData.Product(), c.lines), c.bPlaced));
        for (const CDataFolderRestore* pData : {&m_userData, &m_serviceData}) {
            for (const COPY_LINE& line : c.lines) {
                if (!line.bCopied)
                    continue;
                std::string placed;
                EXPECT_TRUE(kvtest::ReadBytes(pData->Product() + line.szName, &placed));
                EXPECT_EQ(placed, Content(line.szName));
            }
        }
        EXPECT_EQ(RegisteredValue(g_szDataFileValue), m_userData.Product() + c.szProject);
        EXPECT_EQ(RegisteredValue(g_szLogFileValue), m_userData.Product() + c.szLogFile);
    }
}

TEST_F(Placement, PathTooLongForTheProductIsRefusedWhole)
{
    const std::wstring name = L"kvlong\\" + std::wstring(246, L'L') + L".prj";
    ASSERT_TRUE(CreateDirectoryW((m_dir / L"kvlong").c_str(), nullptr));
    ASSERT_TRUE(kvtest::WriteBytes(m_dir / name, Content(name)));
    ASSERT_TRUE(kvtest::WriteBytes(m_dir / (L"kvlong\\" + std::wstring(246, L'L') + L".fsn"), "companion"));
    for (const CDataFolderRestore* pData : {&m_userData, &m_serviceData}) {
        SHCreateDirectoryExW(nullptr, (pData->Product() + L"kvlong").c_str(), nullptr);
        ASSERT_GT((pData->Product() + name).size(), kProductPathLimit);
    }
    ASSERT_TRUE(kvtest::SetRegString(HKEY_CURRENT_USER, g_szProductRegKey, g_szDataFileValue, L"before"));

    kvtest::RUN_RESULT result = Run(name);

    const std::vector<COPY_LINE> refused = {{name.c_str(), false}};
    EXPECT_EQ(result.output, Expected(CopyLines(m_dir.Path(), m_userData.Product(), refused), false,
                                      CopyLines(m_dir.Path(), m_serviceData.Product(), refused), false));
    // Nothing copied, not even to a cut path, and the product not pointed at one.
    EXPECT_TRUE(kvtest::ListFolder(m_userData.Product() + L"kvlong\\").empty());
    EXPECT_TRUE(kvtest::ListFolder(m_serviceData.Product() + L"kvlong\\").empty());
    EXPECT_EQ(RegisteredValue(g_szDataFileValue), L"before");
}

// The shell's data folders moved elsewhere for the length of a test.
class CShellFolderRedirect {
public:
    CShellFolderRedirect(const std::wstring& userData, const std::wstring& commonData)
        : m_user(HKEY_CURRENT_USER, kUserShellFoldersKey, kUserDataValue),
          m_userCache(HKEY_CURRENT_USER, kShellFoldersKey, kUserDataValue),
          m_common(HKEY_LOCAL_MACHINE, kUserShellFoldersKey, kCommonDataValue),
          m_commonCache(HKEY_LOCAL_MACHINE, kShellFoldersKey, kCommonDataValue)
    {
        m_bSet = kvtest::SetRegString(HKEY_CURRENT_USER, kUserShellFoldersKey, kUserDataValue, userData.c_str(),
                                      REG_EXPAND_SZ) &&
                 kvtest::SetRegString(HKEY_LOCAL_MACHINE, kUserShellFoldersKey, kCommonDataValue, commonData.c_str(),
                                      REG_EXPAND_SZ);
    }
    bool IsSet() const { return m_bSet; }

private:
    CRegValueRestore m_user;
    CRegValueRestore m_userCache;
    CRegValueRestore m_common;
    CRegValueRestore m_commonCache;
    bool m_bSet;
};

TEST_F(Placement, DataFoldersWhereverTheShellPutsThem)
{
    CScratchDir elsewhere(L"J\u00fcrgen \u00d8deg\u00e5rd");
    ASSERT_TRUE(kvtest::WriteBytes(elsewhere / L"blocker", "a file where a folder should be"));
    ASSERT_TRUE(kvtest::WriteBytes(m_dir / L"kvtest.prj", Content(L"kvtest.prj")));
    const std::vector<COPY_LINE> placed = {{L"kvtest.prj", true}};

    struct CASE {
        const char* szName;
        std::wstring userData;
        std::wstring commonData;
        bool bAvailable;
    } const cases[] = {
        {"folders named outside ASCII", elsewhere / L"Roaming", elsewhere / L"Common", true},
        {"folders that cannot be made", elsewhere / L"blocker\\Roaming", elsewhere / L"blocker\\Common", false},
    };
    for (const CASE& c : cases) {
        SCOPED_TRACE(c.szName);
        ASSERT_TRUE(kvtest::SetRegString(HKEY_CURRENT_USER, g_szProductRegKey, g_szDataFileValue, L"before"));
        CShellFolderRedirect redirect(c.userData, c.commonData);
        ASSERT_TRUE(redirect.IsSet());

        kvtest::RUN_RESULT result = Run(L"kvtest.prj");

        if (c.bAvailable) {
            EXPECT_EQ(result.output, Expected(CopyLines(m_dir.Path(), ProductFolder(c.userData), placed), true,
                                              CopyLines(m_dir.Path(), ProductFolder(c.commonData), placed), true));
            EXPECT_EQ(RegisteredValue(g_szDataFileValue), ProductFolder(c.userData) + L"kvtest.prj");
            EXPECT_TRUE(kvtest::FileExists(ProductFolder(c.userData) + L"kvtest.prj"));
            EXPECT_TRUE(kvtest::FileExists(ProductFolder(c.commonData) + L"kvtest.prj"));
        } else {
            EXPECT_EQ(
                result.output,
                kBanner + kvtest::ToChildOutput(StepLines(L"user", L"Failed to get user profile folder.\r\n", false) +
                                                StepLines(L"service", L"Failed to get service folder.\r\n", false)));
            EXPECT_EQ(RegisteredValue(g_szDataFileValue), L"before");
        }
    }
}

}  // namespace
