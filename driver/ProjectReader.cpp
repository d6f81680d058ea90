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

struct SECONDS_KEY {
    const char* szKey;
    DWORD DEPLOY_PROJECT::*pSeconds;
    DWORD dwDefault;
    DWORD dwMinimum;
};

// A day at most; a time-out of 0 would leave every installer running.
const DWORD kMaxSeconds = 86400;
const int kMaxSecondsDigits = 9;

const SECONDS_KEY kSeconds[] = {
    {"installer_busy_wait", &DEPLOY_PROJECT::dwInstallerBusyWait, g_dwInstallerBusyWaitSeconds, 0},
    {"installer_timeout", &DEPLOY_PROJECT::dwInstallerTimeout, g_dwInstallerTimeoutSeconds, 1},
};

// Decimal digits only, within the key's bounds; absent or empty gives the
// default. Anything else rejects the project: a wait misread as 0 would end
// each installer run at once.
BOOL ReadSeconds(CIniFile& setFile, const SECONDS_KEY& key)
{
    char szTemp[128] = {};
    int cch = setFile.GetString(kSetup, key.szKey, "", szTemp, sizeof(szTemp));
    DWORD dwSeconds = 0;
    BOOL bValid = cch <= kMaxSecondsDigits;
    for (int i = 0; bValid && szTemp[i]; ++i) {
        bValid = szTemp[i] >= '0' && szTemp[i] <= '9';
        if (bValid)
            dwSeconds = dwSeconds * 10 + static_cast<DWORD>(szTemp[i] - '0');
    }
    if (!szTemp[0] && bValid) {
        DeployProject.*key.pSeconds = key.dwDefault;
        return TRUE;
    }
    if (bValid && dwSeconds >= key.dwMinimum && dwSeconds <= kMaxSeconds) {
        DeployProject.*key.pSeconds = dwSeconds;
        return TRUE;
    }
    ConsolePrintA("Error: the value of %s in section [%s] is not a number of seconds from %lu to %lu.\r\n", key.szKey,
                  kSetup, key.dwMinimum, kMaxSeconds);
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
        !ReadText(setFile, kSetup, "service_project", project.szServiceProject, MAX_PATH) ||
        !ReadText(setFile, kSetup, "log_file", project.szLogFile, MAX_PATH))
        return FALSE;
    for (const SECONDS_KEY& key : kSeconds) {
        if (!ReadSeconds(setFile, key))
            return FALSE;
    }
    if (project.bUninstall && (!ReadText(setFile, kUninstall, "uninstall_file", project.szUninstallFile, MAX_PATH) ||
                               !ReadText(setFile, kUninstall, "uninstall_mode", project.szUninstallMode, 128)))
        return FALSE;
    if (project.bInstall && (!ReadText(setFile, kInstall, "install_file", project.szInstallFile, MAX_PATH) ||
                             !ReadText(setFile, kInstall, "install_mode", project.szInstallMode, 128)))
        return FALSE;
    return !project.bCopyFiles || ReadCopyFiles(setFile);
}

// Load reports a file that cannot be opened as an empty document; a project
// must exist and be readable.
BOOL CanOpenForReading(LPCWSTR szPath)
{
    PROFILE_FILE* pFile = ProfileOpenFile(szPath);
    if (!pFile)
        return FALSE;
    ProfileCloseFile(pFile);
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
    project.szLogFile[0] = L'\0';
    for (const SECONDS_KEY& key : kSeconds)
        project.*key.pSeconds = key.dwDefault;
    project.arrCopyFiles.RemoveAll();
}

BOOL ReadDeployProject(LPCWSTR szPath)
{
    CIniFile setFile;
    if (!szPath || !CanOpenForReading(szPath) || !setFile.Load(szPath)) {
        ConsolePrintW(L"Failed to open project file [%ls]\r\n", szPath ? szPath : L"");
        return FALSE;
    }
    if (!ReadSections(setFile)) {
        ResetDeployProject();
        return FALSE;
    }
    return TRUE;
}
