// base/Console.h for the host: what the profile engine and the project reader
// print, formatted as on Windows and written as UTF-8.
#include "HostConsole.h"

#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <vector>

#include "base/Console.h"
#include "profile/ProfilePlatform.h"

namespace {

std::string* g_pSink = nullptr;

std::string WideToUtf8(LPCWSTR szText, size_t cch)
{
    if (cch == 0 || cch > static_cast<size_t>(INT32_MAX))
        return std::string();
    int cb = ProfileWideToMultiByte(CP_UTF8, szText, static_cast<int>(cch), nullptr, 0);
    std::string text(static_cast<size_t>(cb > 0 ? cb : 0), '\0');
    if (cb > 0)
        ProfileWideToMultiByte(CP_UTF8, szText, static_cast<int>(cch), &text[0], cb);
    return text;
}

void Write(const std::string& text)
{
    if (g_pSink) {
        g_pSink->append(text);
        return;
    }
    fwrite(text.data(), 1, text.size(), stdout);
    fflush(stdout);
}

}  // namespace

void HostConsoleRedirect(std::string* pSink)
{
    g_pSink = pSink;
}

void ConsoleWriteW(LPCWSTR szText, size_t cch)
{
    Write(WideToUtf8(szText, cch));
}

void ConsolePrintW(LPCWSTR szFormat, ...)
{
    std::vector<WCHAR> buffer(512);
    for (;;) {
        va_list args;
        va_start(args, szFormat);
        int n = vswprintf(buffer.data(), buffer.size(), szFormat, args);
        va_end(args);
        if (n >= 0) {
            ConsoleWriteW(buffer.data(), static_cast<size_t>(n));
            return;
        }
        if (buffer.size() >= (1u << 20))
            return;
        buffer.resize(buffer.size() * 2);
    }
}

// The 8-bit text is in the ANSI code page, 1252 on the host.
void ConsolePrintA(LPCSTR szFormat, ...)
{
    va_list args;
    va_start(args, szFormat);
    int n = vsnprintf(nullptr, 0, szFormat, args);
    va_end(args);
    if (n <= 0)
        return;
    std::vector<char> text(static_cast<size_t>(n) + 1);
    va_start(args, szFormat);
    vsnprintf(text.data(), text.size(), szFormat, args);
    va_end(args);
    int cch = ProfileMultiByteToWide(ProfileAnsiCodePage(), text.data(), n, nullptr, 0);
    std::vector<WCHAR> wide(static_cast<size_t>(cch > 0 ? cch : 1));
    if (cch > 0 && ProfileMultiByteToWide(ProfileAnsiCodePage(), text.data(), n, wide.data(), cch) == cch)
        ConsoleWriteW(wide.data(), static_cast<size_t>(cch));
}
