#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <regex>
#include <thread>
#include <vector>

#include "base/Handles.h"

namespace kvtest {

std::wstring BinDir()
{
    WCHAR sz[MAX_PATH * 2] = {};
    DWORD cch = GetModuleFileNameW(nullptr, sz, MAX_PATH * 2);
    std::wstring path(sz, cch);
    size_t pos = path.find_last_of(L"\\/");
    return pos == std::wstring::npos ? std::wstring() : path.substr(0, pos + 1);
}

CScratchDir::CScratchDir(const std::wstring& szHint)
{
    static LONG s_nCounter = 0;
    WCHAR szTemp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, szTemp);
    for (;;) {
        WCHAR szName[64];
        swprintf(szName, 64, L"-%lu-%ld\\", GetCurrentProcessId(), InterlockedIncrement(&s_nCounter));
        m_path = std::wstring(szTemp) + szHint + szName;
        if (CreateDirectoryW(m_path.c_str(), nullptr))
            break;
    }
}

CScratchDir::~CScratchDir()
{
    RemoveTree(m_path);
}

void RemoveTree(const std::wstring& path)
{
    std::wstring folder = path;
    if (!folder.empty() && folder.back() != L'\\')
        folder += L'\\';
    WIN32_FIND_DATAW data;
    CFindHandle hFind(FindFirstFileW((folder + L"*").c_str(), &data));
    if (hFind.IsValid()) {
        do {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::wstring child = folder + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(hFind.Get(), &data));
    }
    hFind.Reset();
    RemoveDirectoryW(folder.c_str());
}

bool WriteBytes(const std::wstring& path, const std::string& bytes)
{
    CFileHandle hFile(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!hFile.IsValid())
        return false;
    DWORD dwWritten = 0;
    return WriteFile(hFile.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &dwWritten, nullptr) &&
           dwWritten == bytes.size();
}

bool ReadBytes(const std::wstring& path, std::string* pBytes)
{
    CFileHandle hFile(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!hFile.IsValid())
        return false;
    pBytes->clear();
    char buffer[65536];
    DWORD dwRead = 0;
    while (ReadFile(hFile.Get(), buffer, sizeof(buffer), &dwRead, nullptr) && dwRead > 0)
        pBytes->append(buffer, dwRead);
    return true;
}

bool FileExists(const std::wstring& path)
{
    DWORD dwAttributes = GetFileAttributesW(path.c_str());
    return dwAttributes != INVALID_FILE_ATTRIBUTES && !(dwAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::wstring& path)
{
    DWORD dwAttributes = GetFileAttributesW(path.c_str());
    return dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::set<std::wstring> ListFolder(const std::wstring& folder)
{
    std::wstring pattern = folder;
    if (!pattern.empty() && pattern.back() != L'\\')
        pattern += L'\\';
    std::set<std::wstring> names;
    WIN32_FIND_DATAW data;
    CFindHandle hFind(FindFirstFileW((pattern + L"*").c_str(), &data));
    if (hFind.IsValid()) {
        do {
            std::wstring name = data.cFileName;
            if (name != L"." && name != L"..")
                names.insert(name);
        } while (FindNextFileW(hFind.Get(), &data));
    }
    return names;
}

bool CopyInto(const std::wstring& source, const std::wstring& target)
{
    return CopyFileW(source.c_str(), target.c_str(), FALSE) != FALSE;
}

RUN_RESULT RunCapture(const std::wstring& commandLine, const std::wstring& workDir, DWORD dwTimeout,
                      const std::wstring& application, DWORD dwCreationFlags)
{
    RUN_RESULT result;
    SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
    HANDLE hReadRaw = nullptr;
    HANDLE hWriteRaw = nullptr;
    if (!CreatePipe(&hReadRaw, &hWriteRaw, &sa, 0))
        return result;
    CHandle hRead(hReadRaw);
    CHandle hWrite(hWriteRaw);
    SetHandleInformation(hRead.Get(), HANDLE_FLAG_INHERIT, 0);
    CFileHandle hNull(CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                                  OPEN_EXISTING, 0, nullptr));

    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = hNull.Get();
    si.hStdOutput = hWrite.Get();
    si.hStdError = hNull.Get();
    PROCESS_INFORMATION pi = {};
    std::vector<WCHAR> cmd(commandLine.begin(), commandLine.end());
    cmd.push_back(L'\0');
    if (!CreateProcessW(application.empty() ? nullptr : application.c_str(), cmd.data(), nullptr, nullptr, TRUE,
                        dwCreationFlags, nullptr, workDir.empty() ? nullptr : workDir.c_str(), &si, &pi))
        return result;
    result.bStarted = true;
    CHandle hProcess(pi.hProcess);
    CHandle hThread(pi.hThread);
    hWrite.Reset();

    std::string output;
    std::thread reader([&output, &hRead] {
        char buffer[4096];
        DWORD dwRead = 0;
        while (ReadFile(hRead.Get(), buffer, sizeof(buffer), &dwRead, nullptr) && dwRead > 0)
            output.append(buffer, dwRead);
    });
    if (WaitForSingleObject(hProcess.Get(), dwTimeout) != WAIT_OBJECT_0) {
        TerminateProcess(hProcess.Get(), 0xDEAD);
        WaitForSingleObject(hProcess.Get(), INFINITE);
    }
    reader.join();
    GetExitCodeProcess(hProcess.Get(), &result.dwExitCode);
    result.output = output;
    return result;
}

CStdoutCapture::CStdoutCapture() : m_hPrevious(GetStdHandle(STD_OUTPUT_HANDLE)), m_hRead(nullptr), m_hWrite(nullptr)
{
    // Large enough that the writer never blocks before Finish reads.
    if (CreatePipe(&m_hRead, &m_hWrite, nullptr, 1 << 20))
        SetStdHandle(STD_OUTPUT_HANDLE, m_hWrite);
}

CStdoutCapture::~CStdoutCapture()
{
    Finish();
}

std::string CStdoutCapture::Finish()
{
    std::string output;
    if (!m_hWrite)
        return output;
    SetStdHandle(STD_OUTPUT_HANDLE, m_hPrevious);
    CloseHandle(m_hWrite);
    m_hWrite = nullptr;
    char buffer[4096];
    DWORD dwRead = 0;
    while (ReadFile(m_hRead, buffer, sizeof(buffer), &dwRead, nullptr) && dwRead > 0)
        output.append(buffer, dwRead);
    CloseHandle(m_hRead);
    m_hRead = nullptr;
    return output;
}

std::string ToCodePage(const std::wstring& text, UINT uCodePage)
{
    if (text.empty())
        return std::string();
    DWORD dwFlags = uCodePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    int cb = WideCharToMultiByte(uCodePage, dwFlags, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                 nullptr);
    std::string bytes(static_cast<size_t>(cb), '\0');
    WideCharToMultiByte(uCodePage, dwFlags, text.data(), static_cast<int>(text.size()), &bytes[0], cb, nullptr,
                        nullptr);
    return bytes;
}

std::string ToAnsi(const std::wstring& text)
{
    return ToCodePage(text, GetACP());
}

std::string ToChildOutput(const std::wstring& text)
{
    return ToCodePage(text, GetOEMCP());
}

std::string ToUtf8(const std::wstring& text)
{
    return ToCodePage(text, CP_UTF8);
}

namespace {

bool KeyExists(HKEY hRoot, const std::wstring& key, REGSAM samView)
{
    CRegKeyHandle hKey;
    return RegOpenKeyExW(hRoot, key.c_str(), 0, KEY_READ | samView, hKey.Receive()) == ERROR_SUCCESS;
}

bool KeyIsEmpty(HKEY hRoot, const std::wstring& key, REGSAM samView)
{
    CRegKeyHandle hKey;
    if (RegOpenKeyExW(hRoot, key.c_str(), 0, KEY_READ | samView, hKey.Receive()) != ERROR_SUCCESS)
        return false;
    DWORD dwSubKeys = 0;
    DWORD dwValues = 0;
    return RegQueryInfoKeyW(hKey.Get(), nullptr, nullptr, nullptr, &dwSubKeys, nullptr, nullptr, &dwValues, nullptr,
                            nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
           dwSubKeys == 0 && dwValues == 0;
}

}  // namespace

CRegValueRestore::CRegValueRestore(HKEY hRoot, const std::wstring& key, const std::wstring& value, REGSAM samView)
    : m_hRoot(hRoot), m_samView(samView), m_key(key), m_value(value), m_bExisted(false), m_dwType(REG_NONE)
{
    for (size_t pos = 0; pos != std::wstring::npos;) {
        pos = key.find(L'\\', pos + 1);
        std::wstring level = key.substr(0, pos);
        if (!KeyExists(hRoot, level, samView)) {
            m_firstMissingKey = level;
            return;
        }
    }
    CRegKeyHandle hKey;
    DWORD cbData = 0;
    if (RegOpenKeyExW(hRoot, key.c_str(), 0, KEY_READ | samView, hKey.Receive()) != ERROR_SUCCESS ||
        RegQueryValueExW(hKey.Get(), value.c_str(), nullptr, &m_dwType, nullptr, &cbData) != ERROR_SUCCESS)
        return;
    m_data.resize(cbData);
    m_bExisted = RegQueryValueExW(hKey.Get(), value.c_str(), nullptr, &m_dwType, reinterpret_cast<BYTE*>(&m_data[0]),
                                  &cbData) == ERROR_SUCCESS;
    m_data.resize(cbData);
}

CRegValueRestore::~CRegValueRestore()
{
    CRegKeyHandle hKey;
    if (RegOpenKeyExW(m_hRoot, m_key.c_str(), 0, KEY_SET_VALUE | m_samView, hKey.Receive()) == ERROR_SUCCESS) {
        if (m_bExisted)
            RegSetValueExW(hKey.Get(), m_value.c_str(), 0, m_dwType, reinterpret_cast<const BYTE*>(m_data.data()),
                           static_cast<DWORD>(m_data.size()));
        else
            RegDeleteValueW(hKey.Get(), m_value.c_str());
    }
    hKey.Reset();
    if (m_firstMissingKey.empty())
        return;
    for (std::wstring level = m_key; level.size() >= m_firstMissingKey.size();) {
        if (!KeyIsEmpty(m_hRoot, level, m_samView) ||
            RegDeleteKeyExW(m_hRoot, level.c_str(), m_samView, 0) != ERROR_SUCCESS)
            return;
        size_t pos = level.rfind(L'\\');
        if (pos == std::wstring::npos)
            return;
        level.resize(pos);
    }
}

bool SetRegString(HKEY hRoot, const std::wstring& key, const std::wstring& value, const wchar_t* data, DWORD dwType,
                  REGSAM samView)
{
    CRegKeyHandle hKey;
    if (RegCreateKeyExW(hRoot, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE | samView, nullptr, hKey.Receive(), nullptr) !=
        ERROR_SUCCESS)
        return false;
    if (!data) {
        LONG lResult = RegDeleteValueW(hKey.Get(), value.c_str());
        return lResult == ERROR_SUCCESS || lResult == ERROR_FILE_NOT_FOUND;
    }
    DWORD cbData = static_cast<DWORD>((wcslen(data) + 1) * sizeof(wchar_t));
    return RegSetValueExW(hKey.Get(), value.c_str(), 0, dwType, reinterpret_cast<const BYTE*>(data), cbData) ==
           ERROR_SUCCESS;
}

bool GetRegString(HKEY hRoot, const std::wstring& key, const std::wstring& value, std::wstring* pData, REGSAM samView)
{
    CRegKeyHandle hKey;
    if (RegOpenKeyExW(hRoot, key.c_str(), 0, KEY_READ | samView, hKey.Receive()) != ERROR_SUCCESS)
        return false;
    WCHAR sz[2048] = {};
    DWORD cbData = sizeof(sz) - sizeof(WCHAR);
    if (RegQueryValueExW(hKey.Get(), value.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(sz), &cbData) !=
        ERROR_SUCCESS)
        return false;
    pData->assign(sz);
    return true;
}

std::vector<LOG_ENTRY> ReadLogEntries(const std::wstring& path)
{
    std::vector<LOG_ENTRY> entries;
    std::string bytes;
    EXPECT_TRUE(ReadBytes(path, &bytes)) << ToUtf8(path);
    EXPECT_EQ(bytes.compare(0, 3, "\xEF\xBB\xBF"), 0) << "no UTF-8 mark";
    static const std::regex kEntry(
        "<!\\[LOG\\[(.*)\\]LOG\\]!><time=\"\\d\\d:\\d\\d:\\d\\d\\.\\d{3}[+-]\\d+\" date=\"\\d\\d-\\d\\d-\\d{4}\" "
        "component=\"Kovalimber\" context=\"[^\"]*\" type=\"([123])\" thread=\"(\\d+)\" file=\"\">");
    for (size_t pos = 3; pos < bytes.size();) {
        size_t end = bytes.find("\r\n", pos);
        EXPECT_NE(end, std::string::npos) << "an entry without its line end";
        if (end == std::string::npos)
            break;
        std::string line = bytes.substr(pos, end - pos);
        std::smatch match;
        EXPECT_TRUE(std::regex_match(line, match, kEntry)) << line;
        if (match.size() == 4)
            entries.push_back(
                {match[1].str(), std::stoi(match[2].str()), static_cast<DWORD>(std::stoul(match[3].str()))});
        pos = end + 2;
    }
    return entries;
}

std::string WithoutTimeStamps(const std::string& text)
{
    return std::regex_replace(text, std::regex("\\d{8}_\\d{6}"), "T");
}

}  // namespace kvtest
