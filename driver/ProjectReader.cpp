#include <cstdio>
#include <cstring>

#include "../base/Console.h"
#include "../profile/IniFile.h"
#include "../profile/ProfilePlatform.h"
#include "DeployProject.h"

DEPLOY_PROJECT DeployProject;

namespace {

const char kSetup[] = "Setup";
const char kUninstall[] = "Uninstall";
const char kInstall[] = "Install";
const char kCopyFiles[] = "CopyFiles";

struct SWITCH_KEY {
    const char* szKey;
    BOOL DEPLOY_PROJECT::*pSwitch;
    const char* szDefault;
};

const SWITCH_KEY kSwitches[] = {
    {"stop_app", &DEPLOY_PROJECT::bStopApp, ""},
    {"stop_service", &DEPLOY_PROJECT::bStopService, ""},
    {"uninstall", &DEPLOY_PROJECT::bUninstall, ""},
    {"install", &DEPLOY_PROJECT::bInstall, ""},
    {"install_service", &DEPLOY_PROJECT::bInstallService, ""},
    {"do_copy_files", &DEPLOY_PROJECT::bCopyFiles, ""},
    {"restart_service", &DEPLOY_PROJECT::bRestartService, "yes"},
    {"restart_app", &DEPLOY_PROJECT::bRestartApp, ""},
};

bool EqualsNoCase(const char* a, const char* b)
{
    for (;; ++a, ++b) {
        char ca = (*a >= 'A' && *a <= 'Z') ? static_cast<char>(*a - 'A' + 'a') : *a;
        char cb = (*b >= 'A' && *b <= 'Z') ? static_cast<char>(*b - 'A' + 'a') : *b;
        if (ca != cb)
            return false;
        if (ca == '\0')
            return true;
    }
}

BOOL ReadSwitch(CIniFile& setFile, const SWITCH_KEY& key)
{
    char szTemp[128] = {};
    setFile.GetString(kSetup, key.szKey, key.szDefault, szTemp, sizeof(szTemp));
    return EqualsNoCase(szTemp, "yes") ? TRUE : FALSE;
}

// A value that does not fit its field rejects the project: a cut path would
// act on the wrong file.
BOOL ReadText(CIniFile& setFile, const char* szSection, const char* szKey, LPWSTR szOut, int cchOut)
{
    if (setFile.GetStringW(szSection, szKey, L"", szOut, cchOut) > 0)
        return TRUE;
    ConsolePrintA("Error: the value of %s in section [%s] is longer than %d characters.\r\n", szKey, szSection,
                  cchOut - 1);
    return FALSE;
}

// Options whose double quotes do not pair up make the installer show its
// usage box, which nobody sees in a silent deployment and which waits for
// ever.
BOOL ReadOptions(CIniFile& setFile, const char* szSection, const char* szKey, LPWSTR szOut, int cchOut)
{
    if (!ReadText(setFile, szSection, szKey, szOut, cchOut))
        return FALSE;
    int nQuotes = 0;
    for (LPCWSTR p = szOut; *p; ++p)
        nQuotes += *p == L'"';
    if (nQuotes % 2 == 0)
        return TRUE;
    ConsolePrintA("Error: the value of %s in section [%s] has an odd number of double quotes.\r\n", szKey, szSection);
    return FALSE;
}

// The numbers n for which the section has a key "File<n>" (decimal, no
// leading zero) with 1 <= n <= nFileNum, ascending, each once. Reading only
// these gives the list that reading File1 to File<FileNum> gives, without a
// walk of billions of absent keys when FileNum is large.
struct FILE_NUMBERS {
    int nFileNum;
    CArrayT<int>* pNumbers;
};

BOOL CollectFileNumber(LPCSTR pKey, int cchKey, void* pContext)
{
    FILE_NUMBERS* p = static_cast<FILE_NUMBERS*>(pContext);
    if (cchKey < 5 || memcmp(pKey, "File", 4) != 0 || pKey[4] == '0')
        return TRUE;
    long long llNumber = 0;
    for (int i = 4; i < cchKey; ++i) {
        if (pKey[i] < '0' || pKey[i] > '9')
            return TRUE;
        llNumber = llNumber * 10 + (pKey[i] - '0');
        if (llNumber > p->nFileNum)
            return TRUE;
    }
    int nNumber = static_cast<int>(llNumber);
    int iAt = p->pNumbers->GetSize();
    while (iAt > 0 && p->pNumbers->GetAt(iAt - 1) >= nNumber) {
        if (p->pNumbers->GetAt(iAt - 1) == nNumber)
            return TRUE;
        --iAt;
    }
    return p->pNumbers->InsertAt(nNumber, iAt) >= 0;
}

BOOL ReadCopyFiles(CIniFile& setFile)
{
    int nFileNum = setFile.GetInt(kCopyFiles, "FileNum", 0);
    if (nFileNum <= 0)
        return TRUE;
    CArrayT<int> arrNumbers;
    FILE_NUMBERS numbers = {nFileNum, &arrNumbers};
    setFile.EnumKeys(kCopyFiles, CollectFileNumber, &numbers);

    for (int i = 0; i < arrNumbers.GetSize(); ++i) {
        char szKey[64];
        COPY_FILE_ITEM item = {};
        snprintf(szKey, sizeof(szKey), "File%d", arrNumbers.GetAt(i));
        if (!ReadText(setFile, kCopyFiles, szKey, item.szFileName, MAX_PATH))
            return FALSE;
        snprintf(szKey, sizeof(szKey), "TargetFolder%d", arrNumbers.GetAt(i));
        if (!ReadText(setFile, kCopyFiles, szKey, item.szTargetFolder, MAX_PATH))
            return FALSE;
        if (item.szFileName[0])
            DeployProject.arrCopyFiles.Add(item);
    }
    return TRUE;
}

BOOL ReadSections(CIniFile& setFile)
{
    DEPLOY_PROJECT& project = DeployProject;
    for (const SWITCH_KEY& key : kSwitches)
        project.*key.pSwitch = ReadSwitch(setFile, key);
    if (!ReadText(setFile, kSetup, "user_project", project.szUserProject, MAX_PATH) ||
        !ReadText(setFile, kSetup, "service_project", project.szServiceProject, MAX_PATH))
        return FALSE;
    if (project.bUninstall && (!ReadText(setFile, kUninstall, "uninstall_file", project.szUninstallFile, MAX_PATH) ||
                               !ReadOptions(setFile, kUninstall, "uninstall_mode", project.szUninstallMode, 128)))
        return FALSE;
    if (project.bInstall && (!ReadText(setFile, kInstall, "install_file", project.szInstallFile, MAX_PATH) ||
                             !ReadOptions(setFile, kInstall, "install_mode", project.szInstallMode, 128)))
        return FALSE;
    return !project.bCopyFiles || ReadCopyFiles(setFile);
}

// Load reports a file that cannot be opened as an empty document; a project
// must exist and be readable, and be a file on a disk: a device (NUL, COM1)
// or a pipe would read as an empty project, or never end its read.
BOOL CanOpenForReading(LPCWSTR szPath, BOOL* pbDiskFile)
{
    *pbDiskFile = TRUE;
    PROFILE_FILE* pFile = ProfileOpenFile(szPath);
    if (!pFile)
        return FALSE;
    *pbDiskFile = ProfileIsDiskFile(pFile);
    ProfileCloseFile(pFile);
    return *pbDiskFile;
}

// A zero byte is no part of 8-bit text: the file is UTF-16 without its mark,
// or damaged, and would read as a project with its keys missing.
BOOL HoldsZeroByte(const CIniFile& setFile)
{
    DWORD iOffset = 0;
    if (!setFile.FindZeroByte(&iOffset))
        return FALSE;
    ConsolePrintA("Error: the project file holds a zero byte at offset %lu: it is no 8-bit text.\r\n",
                  static_cast<unsigned long>(iOffset));
    return TRUE;
}

}  // namespace

void ResetDeployProject()
{
    DEPLOY_PROJECT& project = DeployProject;
    for (const SWITCH_KEY& key : kSwitches)
        project.*key.pSwitch = FALSE;
    project.szUserProject[0] = L'\0';
    project.szServiceProject[0] = L'\0';
    project.szUninstallFile[0] = L'\0';
    project.szUninstallMode[0] = L'\0';
    project.szInstallFile[0] = L'\0';
    project.szInstallMode[0] = L'\0';
    project.arrCopyFiles.RemoveAll();
}

BOOL ReadDeployProject(LPCWSTR szPath)
{
    CIniFile setFile;
    BOOL bDiskFile = TRUE;
    if (!szPath || !CanOpenForReading(szPath, &bDiskFile) || !setFile.Load(szPath)) {
        if (!bDiskFile)
            ConsolePrintW(L"Error: the project [%ls] is not a file on a disk.\r\n", szPath);
        ConsolePrintW(L"Failed to open project file [%ls]\r\n", szPath ? szPath : L"");
        return FALSE;
    }
    if (HoldsZeroByte(setFile))
        return FALSE;
    if (!ReadSections(setFile)) {
        ResetDeployProject();
        return FALSE;
    }
    return TRUE;
}
