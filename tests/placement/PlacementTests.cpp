// Kovalimber.exe placing the user's and the service's project into the data
// folders that the shell names, with the registry values of the user's
// project; console output compared byte for byte.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "appctl/Product.h"
#include "base/StartFolder.h"
#include "base/Text.h"
#include "placement/FolderSafety.h"
#include "placement/Placement.h"
// It needs <windows.h> first.
#include <sddl.h>

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

// What the all-users folder would show on Windows, where Wine shows no
// owners and no links: one path with another owner or as a link; every
// folder made is recorded with the descriptor it was made with.
struct FAKE_FOLDERS {
    std::wstring strange;  // the path that is not as it should be
    enum { kForeignOwner, kLink, kNoOwner } kind = kForeignOwner;
    std::vector<std::wstring> made;
    std::vector<std::wstring> madeSDDL;  // the DACL each was made with
};
FAKE_FOLDERS g_folders;

bool IsStrange(LPCWSTR szPath)
{
    return kvtest::ToUtf8(szPath) == kvtest::ToUtf8(g_folders.strange);
}

DWORD WINAPI FakeGetFileAttributesW(LPCWSTR szPath)
{
    DWORD dwAttributes = GetFileAttributesW(szPath);
    if (dwAttributes != INVALID_FILE_ATTRIBUTES && g_folders.kind == FAKE_FOLDERS::kLink && IsStrange(szPath))
        dwAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    return dwAttributes;
}

BOOL WINAPI RecordCreateDirectoryW(LPCWSTR szPath, LPSECURITY_ATTRIBUTES pAttributes)
{
    BOOL bMade = CreateDirectoryW(szPath, pAttributes);
    if (!bMade)
        return FALSE;
    g_folders.made.push_back(szPath);
    LPWSTR szSDDL = nullptr;
    if (pAttributes && pAttributes->lpSecurityDescriptor &&
        ConvertSecurityDescriptorToStringSecurityDescriptorW(pAttributes->lpSecurityDescriptor, SDDL_REVISION_1,
                                                             DACL_SECURITY_INFORMATION, &szSDDL, nullptr)) {
        g_folders.madeSDDL.push_back(szSDDL);
        LocalFree(szSDDL);
    } else {
        g_folders.madeSDDL.push_back(L"(none)");
    }
    return TRUE;
}

// A user's own SID stands for a folder that user made; everything else is
// the administrators'.
BOOL FakeGetOwner(LPCWSTR szPath, PSID pSid, DWORD cbSid)
{
    if (IsStrange(szPath) && g_folders.kind == FAKE_FOLDERS::kNoOwner)
        return FALSE;
    PSID pUser = nullptr;
    if (IsStrange(szPath) && g_folders.kind == FAKE_FOLDERS::kForeignOwner) {
        if (!ConvertStringSidToSidW(L"S-1-5-21-1-2-3-1001", &pUser))
            return FALSE;
        BOOL bCopied = CopySid(cbSid, pSid, pUser);
        LocalFree(pUser);
        return bCopied;
    }
    return CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, pSid, &cbSid);
}

const FOLDER_SAFETY_HOOKS kFakeFolders = {FakeGetFileAttributesW, RecordCreateDirectoryW, FakeGetOwner};

// The service's project placed by this process itself, through the hooks.
class ServiceFolderSafety : public Placement {
protected:
    void SetUp() override
    {
        g_folders = FAKE_FOLDERS();
        m_pPrevious = SetFolderSafetyHooks(&kFakeFolders);
        CopyText(m_szStartBefore, MAX_PATH, szStartFolder);
        CopyText(szStartFolder, MAX_PATH, m_dir.Path().c_str());
    }
    void TearDown() override
    {
        SetFolderSafetyHooks(m_pPrevious);
        CopyText(szStartFolder, MAX_PATH, m_szStartBefore);
    }

    BOOL Place(const std::wstring& project, std::string* pOutput)
    {
        kvtest::CStdoutCapture capture;
        BOOL bPlaced = SetServiceProject(project.c_str());
        *pOutput = capture.Finish();
        return bPlaced;
    }

    const std::wstring& Common() const { return m_commonData; }

private:
    const FOLDER_SAFETY_HOOKS* m_pPrevious = nullptr;
    WCHAR m_szStartBefore[MAX_PATH] = {};
    std::wstring m_commonData = ShellFolder(CSIDL_COMMON_APPDATA);
};

TEST_F(ServiceFolderSafety, NothingIsPlacedThroughAFolderAnotherUserOwnsOrALink)
{
    ASSERT_TRUE(CreateDirectoryW((m_dir / L"kvsub").c_str(), nullptr));
    for (const wchar_t* szFile : {L"kvtest.prj", L"kvtest.fsn", L"kvsub\\kvtest.prj"})
        ASSERT_TRUE(kvtest::WriteBytes(m_dir / szFile, Content(szFile)));
    const std::wstring maker = Common() + L"\\" + g_szDataFolderMaker;
    const std::wstring product = m_serviceData.Product();
    SHCreateDirectoryExW(nullptr, (product + L"kvsub").c_str(), nullptr);
    const std::wstring productFolder = product.substr(0, product.size() - 1);
    const char* kTrusted = ", not by Administrators, SYSTEM, TrustedInstaller or this tool's account.\r\n";

    struct {
        const char* szWhat;
        std::wstring project;
        std::wstring strange;
        int kind;
        std::string line;
    } const cases[] = {
        {"the maker's folder made by a user", L"kvtest.prj", maker, FAKE_FOLDERS::kForeignOwner,
         "Error: the folder " + kvtest::ToAnsi(maker) + " is owned by S-1-5-21-1-2-3-1001" + kTrusted},
        {"the product's folder a link", L"kvtest.prj", productFolder, FAKE_FOLDERS::kLink,
         "Error: the folder " + kvtest::ToAnsi(productFolder) + " is a link to another place.\r\n"},
        {"an owner that cannot be read", L"kvtest.prj", maker, FAKE_FOLDERS::kNoOwner,
         "Error: the owner of the folder " + kvtest::ToAnsi(maker) + " cannot be read.\r\n"},
        {"the project's subfolder a link", L"kvsub\\kvtest.prj", product + L"kvsub", FAKE_FOLDERS::kLink,
         "Error: the folder " + kvtest::ToAnsi(product + L"kvsub") + " is a link to another place.\r\n"},
        {"the project's subfolder made by a user", L"kvsub\\kvtest.prj", product + L"kvsub",
         FAKE_FOLDERS::kForeignOwner,
         "Error: the folder " + kvtest::ToAnsi(product + L"kvsub") + " is owned by S-1-5-21-1-2-3-1001" + kTrusted},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.szWhat);
        g_folders.strange = c.strange;
        g_folders.kind = static_cast<decltype(g_folders.kind)>(c.kind);
        std::string output;
        EXPECT_FALSE(Place(c.project, &output));
        EXPECT_EQ(output, c.line);
        EXPECT_FALSE(kvtest::FileExists(product + c.project)) << "nothing is copied";
        EXPECT_FALSE(kvtest::FileExists(product + L"kvtest.fsn"));
    }

    // A file to be replaced that is a link is not written through.
    ASSERT_TRUE(kvtest::WriteBytes(product + L"kvtest.prj", "before"));
    g_folders.strange = product + L"kvtest.prj";
    g_folders.kind = FAKE_FOLDERS::kLink;
    std::string output;
    EXPECT_FALSE(Place(L"kvtest.prj", &output));
    EXPECT_EQ(output, "Error: " + kvtest::ToAnsi(product) + "kvtest.prj is a link to another place.\r\n");
    std::string content;
    EXPECT_TRUE(kvtest::ReadBytes(product + L"kvtest.prj", &content));
    EXPECT_EQ(content, "before");

    // Trusted folders: placed.
    g_folders.strange.clear();
    EXPECT_TRUE(Place(L"kvtest.prj", &output));
    EXPECT_TRUE(kvtest::ReadBytes(product + L"kvtest.prj", &content));
    EXPECT_EQ(content, Content(L"kvtest.prj"));
}

// Folders the tool makes there keep other users out, whatever the all-users
// folder lets them do, and pass that on to what is made inside.
TEST_F(ServiceFolderSafety, FoldersTheToolMakesGetTheirOwnProtectedDacl)
{
    const std::wstring maker = Common() + L"\\" + g_szDataFolderMaker;
    ASSERT_FALSE(kvtest::FolderExists(maker)) << "the product's data folder is there already";
    ASSERT_TRUE(kvtest::WriteBytes(m_dir / L"kvtest.prj", Content(L"kvtest.prj")));
    std::string output;
    EXPECT_TRUE(Place(L"kvtest.prj", &output));
    const std::wstring product = m_serviceData.Product();
    EXPECT_EQ(g_folders.made, (std::vector<std::wstring>{maker, product.substr(0, product.size() - 1)}));
    // Protected; Administrators and SYSTEM full control, Users read and
    // execute, each inherited by files and folders inside.
    const std::wstring dacl = L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)";
    EXPECT_EQ(g_folders.madeSDDL, (std::vector<std::wstring>{dacl, dacl}));
}

}  // namespace
