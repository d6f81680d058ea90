// What a deployment project asks for: filled once by the project reader,
// read by the driver.
#pragma once

#include "../base/WinTypes.h"
#include "ArrayT.h"

// The defaults of the installer's waits: ten minutes for another
// installation to end, and 55 minutes for one run, which ends before the
// hour a fleet tool gives a deployment by default.
inline constexpr DWORD g_dwInstallerBusyWaitSeconds = 600;
inline constexpr DWORD g_dwInstallerTimeoutSeconds = 3300;

struct COPY_FILE_ITEM {
    WCHAR szTargetFolder[MAX_PATH];  // may be empty; may hold %VARIABLE% references
    WCHAR szFileName[MAX_PATH];      // relative to the tool's folder; never empty in the list
};

struct DEPLOY_PROJECT {
    BOOL bStopApp;
    BOOL bStopService;
    BOOL bUninstall;
    BOOL bInstall;
    BOOL bInstallService;
    BOOL bCopyFiles;
    BOOL bRestartService;
    BOOL bRestartApp;
    WCHAR szUserProject[MAX_PATH];
    WCHAR szServiceProject[MAX_PATH];
    WCHAR szUninstallFile[MAX_PATH];
    WCHAR szUninstallMode[128];
    WCHAR szInstallFile[MAX_PATH];
    WCHAR szInstallMode[128];
    WCHAR szLogFile[MAX_PATH];  // empty: the default log; "no" in any case: none
    DWORD dwInstallerBusyWait;  // seconds to wait for another installation to end
    DWORD dwInstallerTimeout;   // seconds to wait for one installer run
    CArrayT<COPY_FILE_ITEM> arrCopyFiles;
};

extern DEPLOY_PROJECT DeployProject;

// TRUE when DeployProject has been filled; FALSE, with a line saying why, when
// the project file cannot be used.
BOOL ReadDeployProject(LPCWSTR szPath);

// Switches off, texts empty, waits at their defaults, copy list empty: the
// state before reading.
void ResetDeployProject();
