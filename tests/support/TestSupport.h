// Helpers shared by the test programs: scratch folders, files, running a
// program and capturing its output.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "base/WinTypes.h"

namespace kvtest {

// The folder of the running test program, with a trailing backslash; the
// build puts Kovalimber.exe and the stand-in product there too.
std::wstring BinDir();

// A fresh folder below the temp folder, removed with all it holds when the
// object goes. The name may carry spaces or characters outside ASCII.
class CScratchDir {
public:
    explicit CScratchDir(const std::wstring& szHint = L"kv");
    ~CScratchDir();
    CScratchDir(const CScratchDir&) = delete;
    CScratchDir& operator=(const CScratchDir&) = delete;

    // With a trailing backslash.
    const std::wstring& Path() const { return m_path; }
    std::wstring operator/(const std::wstring& name) const { return m_path + name; }

private:
    std::wstring m_path;
};

void RemoveTree(const std::wstring& path);
bool WriteBytes(const std::wstring& path, const std::string& bytes);
bool ReadBytes(const std::wstring& path, std::string* pBytes);
bool FileExists(const std::wstring& path);
bool FolderExists(const std::wstring& path);
// The names in a folder (trailing backslash optional), without "." and "..".
std::set<std::wstring> ListFolder(const std::wstring& folder);
bool CopyInto(const std::wstring& source, const std::wstring& target);

struct RUN_RESULT {
    bool bStarted = false;
    DWORD dwExitCode = 0;
    std::string output;  // standard output, byte for byte
};

// Runs a command line with standard output captured through a pipe (and
// standard error discarded); waits up to dwTimeout ms, then kills it. The
// program is the command line's first word unless application names it.
// By default the program gets a console without a window, as a scheduled
// task or a fleet agent's child does; its redirected output is then in that
// console's output code page (see ToChildOutput). DETACHED_PROCESS gives it
// no console: the ANSI code page.
RUN_RESULT RunCapture(const std::wstring& commandLine, const std::wstring& workDir = L"", DWORD dwTimeout = 120000,
                      const std::wstring& application = L"", DWORD dwCreationFlags = CREATE_NO_WINDOW);

// Captures what this process writes to its standard output handle (the
// tool's console module writes there) while the object lives.
class CStdoutCapture {
public:
    CStdoutCapture();
    ~CStdoutCapture();
    CStdoutCapture(const CStdoutCapture&) = delete;
    CStdoutCapture& operator=(const CStdoutCapture&) = delete;

    // Ends the capture and returns the bytes written.
    std::string Finish();

private:
    HANDLE m_hPrevious;
    HANDLE m_hRead;
    HANDLE m_hWrite;
};

// UTF-16 to 8-bit text in a code page, unmappable characters as '?'.
std::string ToCodePage(const std::wstring& text, UINT uCodePage);
// The ANSI code page: what a program without a console writes into a pipe.
std::string ToAnsi(const std::wstring& text);
// What a program started by RunCapture's default writes into its pipe: a new
// console's output code page, the OEM code page.
std::string ToChildOutput(const std::wstring& text);
std::string ToUtf8(const std::wstring& text);

// Puts a registry value back as it was when the object was made, when the
// object goes: its type and data, or its absence. Keys of its path that did
// not exist then are removed again once nothing is left in them. samView
// (KEY_WOW64_32KEY or KEY_WOW64_64KEY) names a registry view; 0 is the
// test program's own.
class CRegValueRestore {
public:
    CRegValueRestore(HKEY hRoot, const std::wstring& key, const std::wstring& value, REGSAM samView = 0);
    ~CRegValueRestore();
    CRegValueRestore(const CRegValueRestore&) = delete;
    CRegValueRestore& operator=(const CRegValueRestore&) = delete;

private:
    HKEY m_hRoot;
    REGSAM m_samView;
    std::wstring m_key;
    std::wstring m_value;
    bool m_bExisted;
    DWORD m_dwType;
    std::string m_data;
    std::wstring m_firstMissingKey;  // empty when the whole path existed
};

// Sets (or, with a null data, deletes) a string value, creating its key.
bool SetRegString(HKEY hRoot, const std::wstring& key, const std::wstring& value, const wchar_t* data,
                  DWORD dwType = REG_SZ, REGSAM samView = 0);
// A string value, or false when it is missing.
bool GetRegString(HKEY hRoot, const std::wstring& key, const std::wstring& value, std::wstring* pData,
                  REGSAM samView = 0);

// One entry of the tool's log file.
struct LOG_ENTRY {
    std::string text;  // UTF-8
    int nType;
    DWORD dwThread;
};

// The entries of a log file as the tool writes them (a UTF-8 mark, then one
// entry per line); a line that is no such entry fails the calling test.
std::vector<LOG_ENTRY> ReadLogEntries(const std::wstring& path);

// A text with each yyyyMMdd_HHmmss time stamp (the verbose installer logs'
// names) replaced by T, so that lines compare whole.
std::string WithoutTimeStamps(const std::string& text);

}  // namespace kvtest
