#include "Driver.h"

#include <cwchar>

#include "../appctl/AppControl.h"
#include "../appctl/InstallDir.h"
#include "../appctl/Installer.h"
#include "../appctl/Product.h"
#include "../base/Console.h"
#include "../base/Handles.h"
#include "../base/Log.h"
#include "../base/StartFolder.h"
#include "../base/Text.h"
#include "../placement/Placement.h"
#include "../service/ServiceMngr.h"
#include "CopyStep.h"
#include "DeployProject.h"
#include "RunLog.h"

namespace {

const int kProjectPathUnits = 522;  // the start folder and a found file name

void PrintUsage()
{
    ConsolePrintA("Command Line:\r\n");
    ConsolePrintA("   Kovalimber depoly.prj\r\n");
    ConsolePrintA("Or use the first prj file in the started folder:\r\n");
    ConsolePrintA("   Kovalimber\r\n");
}

// Sets szStartFolder to the path up to and with its last '\\', '/' or ':';
// FALSE, leaving it alone, when there is none.
BOOL CutAfterLastSeparator(LPCWSTR szPath)
{
    WCHAR szFolder[MAX_PATH] = {};
    CopyText(szFolder, MAX_PATH, szPath ? szPath : L"");
    WCHAR* pLast = nullptr;
    for (WCHAR* p = szFolder; *p; ++p) {
        if (*p == L'\\' || *p == L'/' || *p == L':')
            pLast = p;
    }
    if (!pLast)
        return FALSE;
    pLast[1] = L'\0';
    CopyText(szStartFolder, MAX_PATH, szFolder);
    return TRUE;
}

// The folder of the tool as it was started, with its separator. A first word
// without any separator (cmd.exe passes a program typed without its folder
// that way) names no folder: the folder of the running executable is taken
// instead, so that relative names still resolve beside the tool.
void SetStartFolder(LPCWSTR szSelf)
{
    if (!CutAfterLastSeparator(szSelf)) {
        WCHAR szModule[MAX_PATH] = {};
        DWORD cch = GetModuleFileNameW(nullptr, szModule, MAX_PATH);
        if (cch == 0 || cch >= MAX_PATH || !CutAfterLastSeparator(szModule))
            CopyText(szStartFolder, MAX_PATH, szSelf ? szSelf : L"");
    }
}

// Windows matches a pattern against short 8.3 names too, so "*.prj" also
// finds "deploy.prjold" (DEPLOY~1.PRJ); only a name that really ends in
// ".prj" is a project.
BOOL HasProjectExtension(LPCWSTR szName)
{
    size_t cch = wcslen(szName);
    return cch >= 4 && _wcsicmp(szName + cch - 4, L".prj") == 0;
}

// The first "*.prj" entry beside the tool that is not a folder.
LPWSTR FindProjectBesideTool(LPWSTR szProjectFile)
{
    if (!CopyText(szProjectFile, kProjectPathUnits, szStartFolder) ||
        !AppendText(szProjectFile, kProjectPathUnits, L"*.prj"))
        return nullptr;
    WIN32_FIND_DATAW FindData;
    CFindHandle hFind(FindFirstFileW(szProjectFile, &FindData));
    if (!hFind.IsValid())
        return nullptr;
    do {
        if (!(FindData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && HasProjectExtension(FindData.cFileName)) {
            if (!CopyText(szProjectFile, kProjectPathUnits, szStartFolder) ||
                !AppendText(szProjectFile, kProjectPathUnits, FindData.cFileName))
                return nullptr;
            return szProjectFile;
        }
    } while (FindNextFileW(hFind.Get(), &FindData));
    return nullptr;
}

// The argument, of at most 259 characters; a leading double quote starts the
// path, the next one (if any) ends it. A longer argument is refused, with a
// line, rather than cut: the cut path could name another existing file.
LPWSTR TakeProjectArgument(LPWSTR szProjectFile, LPCWSTR szArgument)
{
    if (!CopyText(szProjectFile, MAX_PATH, szArgument)) {
        ConsolePrintW(L"Error: the project argument is longer than %d characters.\r\n", MAX_PATH - 1);
        return nullptr;
    }
    if (szProjectFile[0] != L'"')
        return szProjectFile;
    WCHAR* pClose = wcschr(szProjectFile + 1, L'"');
    if (pClose)
        *pClose = L'\0';
    return szProjectFile + 1;
}

// Nothing was deployed: the default log still records why, with the
// project's path when there is one.
int EndNothingDeployed(LPCWSTR szProject)
{
    StartRunLog(szProject, L"");
    return EndRunLog(KV_EXIT_NOTHING_DEPLOYED);
}

// The worst outcome so far, and whether the actions still to come may run.
int s_nExitCode = KV_EXIT_DONE;
BOOL s_bNoFurtherAction = FALSE;

void NoteExitCode(int nExitCode)
{
    s_nExitCode = WorseExitCode(s_nExitCode, nExitCode);
}

void PrintOutcome(BOOL bSuccess, LPCWSTR szSuccess, LPCWSTR szFailure)
{
    ConsolePrintW(L"%ls", bSuccess ? szSuccess : szFailure);
    if (!bSuccess)
        NoteExitCode(KV_EXIT_ACTION_FAILED);
}

// Nothing is waited for after a restart has begun: Windows is going down.
// An installer past its time-out still holds the Windows Installer, so no
// later action would find the product in a known state.
void PrintInstallerOutcome(INSTALLER_OUTCOME outcome, LPCWSTR szSuccess, LPCWSTR szFailure)
{
    switch (outcome) {
        case KV_INSTALLER_DONE:
        case KV_INSTALLER_NOT_INSTALLED:
            PrintOutcome(TRUE, szSuccess, szFailure);
            break;
        case KV_INSTALLER_RESTART_NEEDED:
            PrintOutcome(TRUE, szSuccess, szFailure);
            NoteExitCode(KV_EXIT_RESTART_NEEDED);
            break;
        case KV_INSTALLER_RESTART_STARTED:
            PrintOutcome(TRUE, szSuccess, szFailure);
            NoteExitCode(KV_EXIT_RESTART_STARTED);
            ConsolePrintW(L"The installer started a restart: no further action runs.\r\n");
            s_bNoFurtherAction = TRUE;
            break;
        case KV_INSTALLER_BUSY:
            ConsolePrintW(L"%ls", szFailure);
            NoteExitCode(KV_EXIT_INSTALLER_BUSY);
            break;
        case KV_INSTALLER_TIMED_OUT:
            PrintOutcome(FALSE, szSuccess, szFailure);
            ConsolePrintW(L"The installer is still running: no further action runs.\r\n");
            s_bNoFurtherAction = TRUE;
            break;
        default:
            PrintOutcome(FALSE, szSuccess, szFailure);
            break;
    }
}

INSTALLER_LIMITS InstallerLimits()
{
    INSTALLER_LIMITS limits = {DeployProject.dwInstallerBusyWait * 1000, DeployProject.dwInstallerTimeout * 1000,
                               RunLogFolder()};
    return limits;
}

void StopApplicationStep()
{
    ConsolePrintW(L"Stopping Application...\r\n");
    PrintOutcome(StopApplication(), L"Stopped Application Successfully.\r\n", L"Stop Application failed.\r\n");
}

void StopServiceStep(CServiceMngr& svcMngr)
{
    ConsolePrintW(L"Stopping Service...\r\n");
    // Nothing to stop is no failure: a first deployment finds no service.
    if (!svcMngr.IsInstalled() && GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST) {
        ConsolePrintW(L"The service is not installed: nothing to stop.\r\n");
        PrintOutcome(TRUE, L"Stopped Service Successfully.\r\n", L"Stop Service failed.\r\n");
        return;
    }
    PrintOutcome(svcMngr.Stop(g_dwServiceStopTimeout), L"Stopped Service Successfully.\r\n",
                 L"Stop Service failed.\r\n");
}

void UninstallStep()
{
    DEPLOY_PROJECT& project = DeployProject;
    if (!project.szUninstallFile[0])
        CopyText(project.szUninstallFile, MAX_PATH, g_szDefaultProductCode);
    ConsolePrintW(L"Uninstall %ls...\r\n", project.szUninstallFile);
    PrintInstallerOutcome(RunInstaller(project.szUninstallFile, project.szUninstallMode, TRUE, InstallerLimits()),
                          L"Uninstall successfully.\r\n", L"Uninstall failed.\r\n");
}

void InstallStep()
{
    DEPLOY_PROJECT& project = DeployProject;
    if (!project.szInstallFile[0]) {
        ConsolePrintW(L"Error:install_file is absent.\r\n");
        NoteExitCode(KV_EXIT_ACTION_FAILED);
        return;
    }
    ConsolePrintW(L"Install %ls...\r\n", project.szInstallFile);
    PrintInstallerOutcome(RunInstaller(project.szInstallFile, project.szInstallMode, FALSE, InstallerLimits()),
                          L"Install successfully.\r\n", L"Install failed.\r\n");
}

void UserProjectStep()
{
    ConsolePrintW(L"Set user project...\r\n");
    PrintOutcome(SetUserProject(DeployProject.szUserProject), L"Set user project Successfully.\r\n",
                 L"Set user project failed.\r\n");
}

void ServiceProjectStep()
{
    ConsolePrintW(L"Set service project...\r\n");
    PrintOutcome(SetServiceProject(DeployProject.szServiceProject), L"Set service project Successfully.\r\n",
                 L"Set service project failed.\r\n");
}

// Without a usable install folder no service is registered: one created by
// its bare name would run whatever program the search found, and would never
// be repaired, since an existing service is left alone.
void InstallServiceStep(CServiceMngr& svcMngr)
{
    ConsolePrintW(L"Installing Service...\r\n");
    WCHAR szCmdLine[g_cchWorkPath] = {};
    BOOL bInstalled = ComposeProgramPath(g_szServiceBaseName, szCmdLine, MAX_PATH) && svcMngr.Install(szCmdLine);
    PrintOutcome(bInstalled, L"Installed Service Successfully.\r\n", L"Install Service failed.\r\n");
}

void StartServiceStep(CServiceMngr& svcMngr)
{
    ConsolePrintW(L"Starting Service...\r\n");
    PrintOutcome(svcMngr.Start(), L"Started Service Successfully.\r\n", L"Started Service failed.\r\n");
}

void StartApplicationStep()
{
    ConsolePrintW(L"Start Application...\r\n");
    PrintOutcome(StartApplication(), L"Start Application Successfully.\r\n", L"Start Application failed.\r\n");
}

// Steps 4 to 16 of a run, once the project has been read; the exit code
// is the worst of what ran.
int RunSequence()
{
    const DEPLOY_PROJECT& project = DeployProject;
    s_nExitCode = KV_EXIT_DONE;
    s_bNoFurtherAction = FALSE;
    if (project.bStopApp)
        StopApplicationStep();

    CServiceMngr svcMngr;
    svcMngr.Init(g_szServiceName, g_szServiceDisplayName, g_szServiceDescription);
    if (project.bStopService)
        StopServiceStep(svcMngr);
    if (project.bUninstall)
        UninstallStep();
    if (s_bNoFurtherAction)
        return s_nExitCode;
    if (project.bUninstall && !project.bInstall) {
        ConsolePrintW(L"uninstall==yes,install==no, ignore left actions.\r\n");
        NoteExitCode(KV_EXIT_UNINSTALL_ONLY);
        return s_nExitCode;
    }
    if (project.bInstall)
        InstallStep();
    if (s_bNoFurtherAction)
        return s_nExitCode;
    if (project.bCopyFiles && !RunCopyStep(svcMngr))
        NoteExitCode(KV_EXIT_ACTION_FAILED);
    if (project.szUserProject[0])
        UserProjectStep();
    if (project.szServiceProject[0])
        ServiceProjectStep();
    if (project.bInstallService)
        InstallServiceStep(svcMngr);
    if (project.bRestartService)
        StartServiceStep(svcMngr);
    if (project.bRestartApp)
        StartApplicationStep();
    return s_nExitCode;
}

}  // namespace

int RunDeployment(int argc, WCHAR** argv)
{
    LogCollect();
    ConsolePrintA("Quorvane Kovalimber by Talwick Software\r\n");
    SetStartFolder(argc > 0 ? argv[0] : nullptr);

    WCHAR szProjectFile[kProjectPathUnits] = {};
    LPWSTR szProject = nullptr;
    if (argc == 1) {
        szProject = FindProjectBesideTool(szProjectFile);
    } else if (argc == 2) {
        szProject = TakeProjectArgument(szProjectFile, argv[1]);
        if (!szProject)  // refused with its line
            return EndNothingDeployed(nullptr);
    }
    if (!szProject) {
        PrintUsage();
        return EndNothingDeployed(nullptr);
    }

    if (!ReadDeployProject(szProject)) {
        ConsolePrintW(L"Failed to read project %ls.\r\n", szProject);
        return EndNothingDeployed(szProject);
    }
    StartRunLog(szProject, DeployProject.szLogFile);
    return EndRunLog(RunSequence());
}
