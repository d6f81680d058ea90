// What the tool relies on of the product it deploys: the names, registry
// places and messages of the application, the service and the installer
// package. Defined here once; the stand-in product built for the tests uses
// the same definitions.
#pragma once

#include "../base/WinTypes.h"

// The installer package's product code: "/x" with it removes the product.
inline constexpr WCHAR g_szDefaultProductCode[] = L"{6F221571-589E-48FF-BAAE-926A6A12A5A9}";

// HKLM\<key>\InstallDir is the install folder; HKCU\<key> holds the user's
// project and log file.
inline constexpr WCHAR g_szProductRegKey[] = L"SOFTWARE\\Talwick\\Quorvane 2012";
inline constexpr WCHAR g_szInstallDirValue[] = L"InstallDir";
inline constexpr WCHAR g_szDataFileValue[] = L"DataFileV6";
inline constexpr WCHAR g_szLogFileValue[] = L"LogFileV6";

// The data folders below the user's and the all-users application data.
inline constexpr WCHAR g_szDataFolderMaker[] = L"Talwick";
inline constexpr WCHAR g_szDataFolderProduct[] = L"Quorvane 2012";

inline constexpr WCHAR g_szExeExtension[] = L".exe";

inline constexpr WCHAR g_szAppBaseName[] = L"QuorvaneApp";
inline constexpr WCHAR g_szAppMainWndClass[] = L"Quorvane_MainWnd_Class";
// Further instances' main windows: "%ls:%d" of the class above, 1 to 9.
inline constexpr int g_nAppMaxInstanceNumber = 9;
// An instance closes when its main window gets WM_CLOSE with these values as
// wParam and lParam.
inline constexpr int g_nAppCloseParam = 927;

inline constexpr WCHAR g_szServiceBaseName[] = L"QuorvaneSvc";
inline constexpr WCHAR g_szServiceName[] = L"QuorvaneSvc";
inline constexpr WCHAR g_szServiceDisplayName[] = L"Quorvane Service";
inline constexpr WCHAR g_szServiceDescription[] = L"Synchronize and backup file to folders, FTP server, network drive.";
