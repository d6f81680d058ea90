#include "Log.h"

#include <cwchar>
#include <vector>

#include "Handles.h"
#include "Text.h"

namespace {

const WCHAR kComponent[] = L"Kovalimber";
// Lines kept before the log opens: the banner and the project reader's few.
// A bound all the same, since the console feeds every line.
const size_t kMaxKeptEntries = 4096;
const BYTE kUtf8Mark[] = {0xEF, 0xBB, 0xBF};

enum LOG_STATE { LOG_IDLE, LOG_COLLECTING, LOG_OPEN, LOG_OFF };

struct KEPT_ENTRY {
    LOG_STAMP stamp;
    int nType;
    std::wstring text;
};

struct LOG_FILE {
    LOG_STATE state = LOG_IDLE;
    CFileHandle hFile;
    std::vector<KEPT_ENTRY> kept;
    std::wstring pending;
    LOG_STAMP started = {};  // the header's, so that it comes first in time too
    WCHAR szUser[257] = {};
};

// Built on first use, once the run starts, so that it goes before the
// process-wide objects built ahead of the run, whose clean-up may print.
LOG_FILE& TheLog()
{
    static LOG_FILE s_Log;
    return s_Log;
}

LOG_STAMP NowStamp()
{
    LOG_STAMP stamp = {};
    GetLocalTime(&stamp.time);
    TIME_ZONE_INFORMATION tzi = {};
    DWORD dwZone = GetTimeZoneInformation(&tzi);
    if (dwZone == TIME_ZONE_ID_DAYLIGHT)
        stamp.lBias = tzi.Bias + tzi.DaylightBias;
    else if (dwZone == TIME_ZONE_ID_STANDARD)
        stamp.lBias = tzi.Bias + tzi.StandardBias;
    else if (dwZone != TIME_ZONE_ID_INVALID)
        stamp.lBias = tzi.Bias;
    return stamp;
}

BOOL WriteUtf8(HANDLE hFile, const std::wstring& text)
{
    if (text.empty())
        return TRUE;
    int cb = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    if (cb <= 0)
        return FALSE;
    std::vector<char> bytes(static_cast<size_t>(cb));
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), cb, nullptr, nullptr);
    DWORD dwWritten = 0;
    return WriteFile(hFile, bytes.data(), static_cast<DWORD>(cb), &dwWritten, nullptr) &&
           dwWritten == static_cast<DWORD>(cb);
}

// A write that fails (a full disk, a share gone) ends the log quietly: the
// run goes on as it would without one.
void WriteEntry(const std::wstring& text, int nType, const LOG_STAMP& stamp)
{
    LOG_FILE& log = TheLog();
    std::wstring entry = LogFormatEntry(text, nType, stamp, log.szUser, GetCurrentProcessId()) + L"\r\n";
    if (!WriteUtf8(log.hFile.Get(), entry)) {
        log.hFile.Reset();
        log.state = LOG_OFF;
    }
}

void AddEntry(const std::wstring& text, int nType)
{
    LOG_FILE& log = TheLog();
    if (log.state == LOG_OPEN)
        WriteEntry(text, nType, NowStamp());
    else if (log.state == LOG_COLLECTING && log.kept.size() < kMaxKeptEntries)
        log.kept.push_back({NowStamp(), nType, text});
}

void AddLine(const std::wstring& line)
{
    AddEntry(line, LogLineType(line.data(), line.size()));
}

// Each missing folder of the path, from the root down; those that exist or
// cannot be made are left to the open that follows.
void CreateParentFolders(LPCWSTR szPath)
{
    std::wstring path(szPath);
    for (size_t pos = path.find_first_of(L"\\/", 3); pos != std::wstring::npos;
         pos = path.find_first_of(L"\\/", pos + 1))
        CreateDirectoryW(path.substr(0, pos).c_str(), nullptr);
}

void RotateWhenLarge(LPCWSTR szPath)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(szPath, GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (data.nFileSizeHigh == 0 && data.nFileSizeLow < g_cbLogRotateSize))
        return;
    WCHAR szRotated[g_cchWorkPath];
    if (LogRotatedName(szPath, szRotated, g_cchWorkPath))
        MoveFileExW(szPath, szRotated, MOVEFILE_REPLACE_EXISTING);
}

bool StartsWith(const std::wstring& text, LPCWSTR szStart)
{
    return text.compare(0, wcslen(szStart), szStart) == 0;
}

bool EndsWith(const std::wstring& text, LPCWSTR szEnd)
{
    size_t cch = wcslen(szEnd);
    return text.size() >= cch && text.compare(text.size() - cch, cch, szEnd) == 0;
}

}  // namespace

void LogCollect()
{
    LOG_FILE& log = TheLog();
    DWORD cchUser = sizeof(log.szUser) / sizeof(log.szUser[0]);
    if (!GetUserNameW(log.szUser, &cchUser))
        log.szUser[0] = L'\0';
    log.kept.clear();
    log.pending.clear();
    log.started = NowStamp();
    log.state = LOG_COLLECTING;
}

BOOL LogOpen(LPCWSTR szPath, LPCWSTR szHeader)
{
    LOG_FILE& log = TheLog();
    CreateParentFolders(szPath);
    RotateWhenLarge(szPath);
    log.hFile.Reset(CreateFileW(szPath, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size = {};
    DWORD dwWritten = 0;
    if (!log.hFile.IsValid() || !GetFileSizeEx(log.hFile.Get(), &size) ||
        (size.QuadPart == 0 && !WriteFile(log.hFile.Get(), kUtf8Mark, sizeof(kUtf8Mark), &dwWritten, nullptr))) {
        DWORD dwError = GetLastError();
        log.hFile.Reset();
        LogOff();
        SetLastError(dwError);
        return FALSE;
    }
    log.state = LOG_OPEN;
    WriteEntry(szHeader, KV_LOG_INFO, log.started);
    for (const KEPT_ENTRY& entry : log.kept) {
        if (log.state == LOG_OPEN)
            WriteEntry(entry.text, entry.nType, entry.stamp);
    }
    log.kept.clear();
    return log.state == LOG_OPEN;
}

void LogOff()
{
    LOG_FILE& log = TheLog();
    log.state = LOG_OFF;
    log.kept.clear();
    log.pending.clear();
    log.hFile.Reset();
}

void LogClose()
{
    LOG_FILE& log = TheLog();
    if (!log.pending.empty())
        AddLine(log.pending);
    LogOff();
}

BOOL LogIsOpen()
{
    return TheLog().state == LOG_OPEN;
}

void LogEntry(LPCWSTR szText, int nType)
{
    AddEntry(szText, nType);
}

void LogConsoleText(LPCWSTR szText, size_t cch)
{
    LOG_FILE& log = TheLog();
    if (log.state != LOG_COLLECTING && log.state != LOG_OPEN)
        return;
    log.pending.append(szText, cch);
    for (size_t pos = log.pending.find(L'\n'); pos != std::wstring::npos; pos = log.pending.find(L'\n')) {
        size_t cchLine = (pos > 0 && log.pending[pos - 1] == L'\r') ? pos - 1 : pos;
        AddLine(log.pending.substr(0, cchLine));
        log.pending.erase(0, pos + 1);
    }
}

int LogLineType(LPCWSTR szLine, size_t cch)
{
    std::wstring line(szLine, cch);
    if (StartsWith(line, L"Error") || StartsWith(line, L"Failed") || EndsWith(line, L"failed.") ||
        EndsWith(line, L"failed!"))
        return KV_LOG_ERROR;
    if (line.find(L"a restart") != std::wstring::npos)
        return KV_LOG_WARNING;
    return KV_LOG_INFO;
}

BOOL LogRotatedName(LPCWSTR szPath, LPWSTR szRotated, size_t cchRotated)
{
    if (!CopyText(szRotated, cchRotated, szPath))
        return FALSE;
    LPWSTR pName = szRotated;
    for (LPWSTR p = szRotated; *p; ++p) {
        if (*p == L'\\' || *p == L'/' || *p == L':')
            pName = p + 1;
    }
    LPWSTR pDot = wcsrchr(pName, L'.');
    if (pDot)
        *pDot = L'\0';
    return AppendText(szRotated, cchRotated, L".lo_");
}

std::wstring LogFormatEntry(const std::wstring& text, int nType, const LOG_STAMP& stamp, LPCWSTR szContext,
                            DWORD dwThread)
{
    const SYSTEMTIME& t = stamp.time;
    WCHAR szTail[512];
    FormatText(szTail, 512,
               L"]LOG]!><time=\"%02u:%02u:%02u.%03u%ls%ld\" date=\"%02u-%02u-%04u\" component=\"%ls\" "
               L"context=\"%ls\" type=\"%d\" thread=\"%lu\" file=\"\">",
               t.wHour, t.wMinute, t.wSecond, t.wMilliseconds, stamp.lBias < 0 ? L"-" : L"+",
               stamp.lBias < 0 ? -stamp.lBias : stamp.lBias, t.wMonth, t.wDay, t.wYear, kComponent, szContext, nType,
               dwThread);
    return L"<![LOG[" + text + szTail;
}
