#include "Console.h"

#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "Log.h"

namespace {

std::wstring FormatWide(LPCWSTR szFormat, va_list args)
{
    std::vector<WCHAR> buffer(512);
    for (;;) {
        va_list copy;
        va_copy(copy, args);
        int n = vswprintf(buffer.data(), buffer.size(), szFormat, copy);
        va_end(copy);
        if (n >= 0 && static_cast<size_t>(n) < buffer.size())
            return std::wstring(buffer.data(), static_cast<size_t>(n));
        if (buffer.size() >= (1u << 20))
            return std::wstring();  // a malformed format, not a long line
        buffer.resize(buffer.size() * 2);
    }
}

std::string FormatNarrow(LPCSTR szFormat, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    int n = vsnprintf(nullptr, 0, szFormat, copy);
    va_end(copy);
    if (n <= 0)
        return std::string();
    std::vector<char> buffer(static_cast<size_t>(n) + 1);
    vsnprintf(buffer.data(), buffer.size(), szFormat, args);
    return std::string(buffer.data(), static_cast<size_t>(n));
}

std::wstring AnsiToWideLine(const std::string& text)
{
    if (text.empty())
        return std::wstring();
    int cch = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (cch <= 0)
        return std::wstring();
    std::wstring wide(static_cast<size_t>(cch), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], cch);
    return wide;
}

// Best-fit mapping could show a different character than the one in the text
// (a full-width backslash as a real one); a plain replacement is honest.
DWORD ConversionFlags(UINT uCodePage)
{
    return (uCodePage == CP_UTF8 || uCodePage == CP_UTF7) ? 0 : WC_NO_BEST_FIT_CHARS;
}

void WriteAll(HANDLE hOut, const char* p, size_t cb)
{
    while (cb > 0) {
        DWORD dwChunk = cb > 65536 ? 65536 : static_cast<DWORD>(cb);
        DWORD dwWritten = 0;
        if (!WriteFile(hOut, p, dwChunk, &dwWritten, nullptr) || dwWritten == 0)
            return;
        p += dwWritten;
        cb -= dwWritten;
    }
}

void WriteRedirected(HANDLE hOut, LPCWSTR szText, int cch)
{
    UINT uCodePage = GetConsoleOutputCP();
    if (uCodePage == 0)
        uCodePage = GetACP();
    DWORD dwFlags = ConversionFlags(uCodePage);
    int cb = WideCharToMultiByte(uCodePage, dwFlags, szText, cch, nullptr, 0, nullptr, nullptr);
    if (cb <= 0 && dwFlags != 0) {
        dwFlags = 0;
        cb = WideCharToMultiByte(uCodePage, dwFlags, szText, cch, nullptr, 0, nullptr, nullptr);
    }
    if (cb <= 0)
        return;
    std::vector<char> bytes(static_cast<size_t>(cb));
    cb = WideCharToMultiByte(uCodePage, dwFlags, szText, cch, bytes.data(), cb, nullptr, nullptr);
    if (cb > 0)
        WriteAll(hOut, bytes.data(), static_cast<size_t>(cb));
}

}  // namespace

void ConsoleWriteW(LPCWSTR szText, size_t cch)
{
    // The log sees every line, also when standard output goes nowhere.
    LogConsoleText(szText, cch);
    HANDLE hOut = GetStdHandle(STD_OUTPUT_HANDLE);
    if (hOut == nullptr || hOut == INVALID_HANDLE_VALUE || cch == 0)
        return;
    DWORD dwMode = 0;
    if (GetConsoleMode(hOut, &dwMode)) {
        while (cch > 0) {
            DWORD dwChunk = cch > 8192 ? 8192 : static_cast<DWORD>(cch);
            DWORD dwWritten = 0;
            if (!WriteConsoleW(hOut, szText, dwChunk, &dwWritten, nullptr) || dwWritten == 0)
                return;
            szText += dwWritten;
            cch -= dwWritten;
        }
        return;
    }
    while (cch > 0) {
        int nChunk = cch > (1u << 24) ? (1 << 24) : static_cast<int>(cch);
        WriteRedirected(hOut, szText, nChunk);
        szText += nChunk;
        cch -= static_cast<size_t>(nChunk);
    }
}

void ConsolePrintW(LPCWSTR szFormat, ...)
{
    va_list args;
    va_start(args, szFormat);
    std::wstring line = FormatWide(szFormat, args);
    va_end(args);
    ConsoleWriteW(line.data(), line.size());
}

void ConsolePrintA(LPCSTR szFormat, ...)
{
    va_list args;
    va_start(args, szFormat);
    std::string line = FormatNarrow(szFormat, args);
    va_end(args);
    std::wstring wide = AnsiToWideLine(line);
    ConsoleWriteW(wide.data(), wide.size());
}
