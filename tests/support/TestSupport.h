// Helpers shared by the test programs: scratch folders, files, running a
// program and capturing its output.
#pragma once

#include <string>

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
bool CopyInto(const std::wstring& source, const std::wstring& target);

struct RUN_RESULT {
    bool bStarted = false;
    DWORD dwExitCode = 0;
    std::string output;  // standard output, byte for byte
};

// Runs a command line with standard output captured through a pipe (and
// standard error discarded); waits up to dwTimeout ms, then kills it.
RUN_RESULT RunCapture(const std::wstring& commandLine, const std::wstring& workDir = L"", DWORD dwTimeout = 120000);

// UTF-16 to the text the tool writes into a pipe: the ANSI code page.
std::string ToAnsi(const std::wstring& text);
std::string ToUtf8(const std::wstring& text);

}  // namespace kvtest
