#include "CopyStep.h"

#include <cwchar>

#include "../appctl/AppControl.h"
#include "../appctl/InstallDir.h"
#include "../appctl/Product.h"
#include "../base/Console.h"
#include "../base/StartFolder.h"
#include "../base/Text.h"
#include "../service/ServiceMngr.h"
#include "DeployProject.h"

namespace {

// Room for the join of any two project texts, so that a path too long to copy
// is shown whole in its failure line rather than cut.
const size_t kJoinUnits = 2 * MAX_PATH + 8;

// The destination before expansion: the target folder and the file name, or
// the install folder (maybe empty) immediately followed by the file name.
BOOL JoinDestination(const COPY_FILE_ITEM& item, LPCWSTR szInstallDir, LPWSTR szCmdLine)
{
    LPCWSTR szFolder = item.szTargetFolder;
    if (!szFolder[0])
        return FormatText(szCmdLine, kJoinUnits, L"%ls%ls", szInstallDir, item.szFileName);
    BOOL bSeparator = szFolder[wcslen(szFolder) - 1] == L'\\';
    return FormatText(szCmdLine, kJoinUnits, bSeparator ? L"%ls%ls" : L"%ls\\%ls", szFolder, item.szFileName);
}

// Only a target folder can carry %VARIABLE% references; the whole joined
// text is expanded. FALSE when the expansion does not fit.
BOOL ExpandDestination(const COPY_FILE_ITEM& item, LPCWSTR szCmdLine, LPWSTR szFileDst)
{
    if (!item.szTargetFolder[0] || !wcschr(szCmdLine, L'%'))
        return CopyText(szFileDst, g_cchWorkPath, szCmdLine);
    DWORD cch = ExpandEnvironmentStringsW(szCmdLine, szFileDst, static_cast<DWORD>(g_cchWorkPath));
    return cch > 0 && cch <= g_cchWorkPath;
}

// Copies one item, replacing what is there. A path that does not fit is not
// acted on: the item fails with its destination shown unexpanded.
BOOL CopyItem(const COPY_FILE_ITEM& item, LPCWSTR szInstallDir)
{
    WCHAR szFileSrc[kJoinUnits] = {};
    WCHAR szCmdLine[kJoinUnits] = {};
    WCHAR szFileDst[g_cchWorkPath] = {};
    BOOL bReady = FormatText(szFileSrc, kJoinUnits, L"%ls%ls", szStartFolder, item.szFileName) &&
                  JoinDestination(item, szInstallDir, szCmdLine) && FitsWorkPath(szFileSrc) &&
                  FitsWorkPath(szCmdLine) && ExpandDestination(item, szCmdLine, szFileDst);
    LPCWSTR szShownDst = bReady ? szFileDst : szCmdLine;

    ConsolePrintW(L"Copying file %ls ...\r\n", szFileSrc);
    BOOL bCopied = bReady && CopyFileW(szFileSrc, szFileDst, FALSE);
    ConsolePrintW(bCopied ? L"Copy to %ls successfully!\r\n" : L"Copy to %ls failed!\r\n", szShownDst);
    return bCopied;
}

}  // namespace

BOOL RunCopyStep(CServiceMngr& svcMngr)
{
    const CArrayT<COPY_FILE_ITEM>& arrCopyFiles = DeployProject.arrCopyFiles;
    int n = arrCopyFiles.GetSize();
    ConsolePrintW(L"Copy files...\r\n");

    // Files in use by the application or the service cannot be replaced; the
    // copy goes ahead whatever these report.
    ConsolePrintW(L"Stopping Application...\r\n");
    StopApplication();
    ConsolePrintW(L"Stopping Service...\r\n");
    svcMngr.Stop(g_dwServiceStopTimeout);

    WCHAR szInstallDir[MAX_PATH] = {};
    GetInstallDir(szInstallDir, MAX_PATH);
    BOOL bAllCopied = TRUE;
    for (int i = 0; i < n; ++i) {
        if (!CopyItem(arrCopyFiles.GetAt(i), szInstallDir))
            bAllCopied = FALSE;
    }
    return bAllCopied;
}
