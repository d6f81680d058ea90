#include <cstdio>
#include <cstdlib>
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

void ReportTooLong(const char* szSection, const char* szKey, int cchField)
{
    ConsolePrintA("Error: the value of %s in section [%s] is longer than %d characters.\r\n", szKey, szSection,
                  cchField - 1);
}

// A value that does not fit its field rejects the project: a cut path would
// act on the wrong file.
BOOL ReadText(CIniFile& setFile, const char* szSection, const char* szKey, LPWSTR szOut, int cchOut)
{
    if (setFile.GetStringW(szSection, szKey, L"", szOut, cchOut) > 0)
        return TRUE;
    ReportTooLong(szSection, szKey, cchOut);
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

// One "File<n>" or "TargetFolder<n>" line of the copy list, its value still
// the document's 8-bit text.
struct COPY_KEY {
    int nNumber;
    int nKind;   // kFileKey or kFolderKey
    int iOrder;  // position in the section: the first of duplicates counts
    LPCSTR pValue;
    int cchValue;
};

const int kFileKey = 0;
const int kFolderKey = 1;

struct COPY_KEYS {
    int nFileNum;
    CArrayT<COPY_KEY>* pKeys;
    BOOL bNoMemory;
};

// n of a key "<szPrefix><n>" with 1 <= n <= nFileNum, written in decimal
// without a leading zero as the reader forms it; 0 for any other key.
int NumberOfKey(LPCSTR pKey, int cchKey, const char* szPrefix, int nFileNum)
{
    int cchPrefix = static_cast<int>(strlen(szPrefix));
    if (cchKey <= cchPrefix || memcmp(pKey, szPrefix, static_cast<size_t>(cchPrefix)) != 0 || pKey[cchPrefix] == '0')
        return 0;
    long long llNumber = 0;
    for (int i = cchPrefix; i < cchKey; ++i) {
        if (pKey[i] < '0' || pKey[i] > '9')
            return 0;
        llNumber = llNumber * 10 + (pKey[i] - '0');
        if (llNumber > nFileNum)
            return 0;
    }
    return static_cast<int>(llNumber);
}

BOOL CollectCopyKey(LPCSTR pKey, int cchKey, LPCSTR pValue, int cchValue, void* pContext)
{
    COPY_KEYS* p = static_cast<COPY_KEYS*>(pContext);
    COPY_KEY key = {NumberOfKey(pKey, cchKey, "File", p->nFileNum), kFileKey, p->pKeys->GetSize(), pValue, cchValue};
    if (key.nNumber == 0) {
        key.nNumber = NumberOfKey(pKey, cchKey, "TargetFolder", p->nFileNum);
        key.nKind = kFolderKey;
    }
    if (key.nNumber != 0 && p->pKeys->Add(key) < 0) {
        p->bNoMemory = TRUE;
        return FALSE;
    }
    return TRUE;
}

int CompareCopyKeys(const void* pLeft, const void* pRight)
{
    const COPY_KEY* a = static_cast<const COPY_KEY*>(pLeft);
    const COPY_KEY* b = static_cast<const COPY_KEY*>(pRight);
    if (a->nNumber != b->nNumber)
        return a->nNumber < b->nNumber ? -1 : 1;
    if (a->nKind != b->nKind)
        return a->nKind < b->nKind ? -1 : 1;
    return a->iOrder < b->iOrder ? -1 : (a->iOrder > b->iOrder ? 1 : 0);
}

// The numbers that have a "File<n>" key, the keys ordered by number and
// kind: a number's first key is its file's, when it has one.
int CountFileNumbers(const CArrayT<COPY_KEY>& arrKeys)
{
    int nFiles = 0;
    for (int i = 0; i < arrKeys.GetSize(); ++i) {
        const COPY_KEY& key = arrKeys.GetAt(i);
        if (key.nKind == kFileKey && (i == 0 || arrKeys.GetAt(i - 1).nNumber != key.nNumber))
            ++nFiles;
    }
    return nFiles;
}

BOOL ReadCopyValue(CIniFile& setFile, const COPY_KEY* pKey, const char* szPrefix, LPWSTR szOut)
{
    if (!pKey || setFile.ValueToWide(pKey->pValue, pKey->cchValue, szOut, MAX_PATH) > 0)
        return TRUE;
    char szKey[64];
    snprintf(szKey, sizeof(szKey), "%s%d", szPrefix, pKey->nNumber);
    ReportTooLong(kCopyFiles, szKey, MAX_PATH);
    return FALSE;
}

// The keys of the section that can be part of the list, in one walk,
// ordered by number, kind and position.
BOOL CollectCopyKeys(CIniFile& setFile, int nFileNum, CArrayT<COPY_KEY>& arrKeys)
{
    COPY_KEYS keys = {nFileNum, &arrKeys, FALSE};
    setFile.EnumKeys(kCopyFiles, CollectCopyKey, &keys);
    if (keys.bNoMemory) {
        ConsolePrintA("Error: no memory for the %s section.\r\n", kCopyFiles);
        return FALSE;
    }
    if (arrKeys.GetSize() > 1)
        qsort(arrKeys.GetData(), static_cast<size_t>(arrKeys.GetSize()), sizeof(COPY_KEY), CompareCopyKeys);
    return TRUE;
}

// The first "File<n>" and the first "TargetFolder<n>" key of the number that
// starts at i, null where it has none; the index of the next number.
int FirstKeysOfNumber(const CArrayT<COPY_KEY>& arrKeys, int i, const COPY_KEY** ppFile, const COPY_KEY** ppFolder)
{
    *ppFile = nullptr;
    *ppFolder = nullptr;
    int nNumber = arrKeys.GetAt(i).nNumber;
    for (; i < arrKeys.GetSize() && arrKeys.GetAt(i).nNumber == nNumber; ++i) {
        const COPY_KEY& key = arrKeys.GetAt(i);
        const COPY_KEY** ppFirst = key.nKind == kFileKey ? ppFile : ppFolder;
        if (!*ppFirst)
            *ppFirst = &key;
    }
    return i;
}

// The list that reading File1 to File<FileNum> and their TargetFolder<n>
// one by one gives, from one walk of the section. Lookups key by key scan
// the section once per key, and walk billions of absent keys when FileNum
// is large.
BOOL ReadCopyFiles(CIniFile& setFile)
{
    int nFileNum = setFile.GetInt(kCopyFiles, "FileNum", 0);
    if (nFileNum <= 0)
        return TRUE;
    CArrayT<COPY_KEY> arrKeys;
    if (!CollectCopyKeys(setFile, nFileNum, arrKeys))
        return FALSE;

    // The list's entries are large: grown entry by entry, it would be copied
    // again and again.
    CArrayT<COPY_FILE_ITEM>& list = DeployProject.arrCopyFiles;
    list.Reserve(list.GetSize() + CountFileNumbers(arrKeys));
    for (int i = 0; i < arrKeys.GetSize();) {
        const COPY_KEY* pFile = nullptr;
        const COPY_KEY* pFolder = nullptr;
        i = FirstKeysOfNumber(arrKeys, i, &pFile, &pFolder);
        if (!pFile)
            continue;
        COPY_FILE_ITEM item = {};
        if (!ReadCopyValue(setFile, pFile, "File", item.szFileName) ||
            !ReadCopyValue(setFile, pFolder, "TargetFolder", item.szTargetFolder))
            return FALSE;
        if (item.szFileName[0])
            list.Add(item);
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
    project.szLogFile[0] = L'\0';
    for (const SECONDS_KEY& key : kSeconds)
        project.*key.pSeconds = key.dwDefault;
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
