#include <gtest/gtest.h>

#include <string>

#include "TestSupport.h"
#include "base/Console.h"
#include "base/Handles.h"

namespace {

UINT RedirectedCodePage()
{
    UINT uCodePage = GetConsoleOutputCP();
    return uCodePage ? uCodePage : GetACP();
}

TEST(Console, RedirectedLinesComeOutInOrderWithOneLineEnd)
{
    kvtest::CStdoutCapture capture;
    ConsolePrintA("Quorvane %s\r\n", "Kovalimber");
    ConsolePrintA("Error:Unable to start the service.");
    ConsolePrintW(L"Started Service failed.\r\n");
    ConsolePrintW(L"Copy to %ls successfully!\r\n", L"C:\\Donn\u00e9es\\\u65e5\u672c\\x.dll");
    ConsolePrintW(L"%ls\r\n", std::wstring(3000, L'w').c_str());
    EXPECT_EQ(capture.Finish(),
              "Quorvane Kovalimber\r\n"
              "Error:Unable to start the service.Started Service failed.\r\n" +
                  kvtest::ToCodePage(L"Copy to C:\\Donn\u00e9es\\\u65e5\u672c\\x.dll successfully!\r\n",
                                     RedirectedCodePage()) +
                  std::string(3000, 'w') + "\r\n");
}

TEST(Console, FileOutputIsTheSameBytes)
{
    kvtest::CScratchDir dir(L"con");
    std::wstring path = dir / L"out.txt";
    {
        CFileHandle hFile(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(hFile.IsValid());
        HANDLE hPrevious = GetStdHandle(STD_OUTPUT_HANDLE);
        SetStdHandle(STD_OUTPUT_HANDLE, hFile.Get());
        ConsolePrintA("Command Line:\r\n");
        ConsolePrintW(L"Stopping Service...\r\n");
        SetStdHandle(STD_OUTPUT_HANDLE, hPrevious);
    }
    std::string bytes;
    ASSERT_TRUE(kvtest::ReadBytes(path, &bytes));
    EXPECT_EQ(bytes, "Command Line:\r\nStopping Service...\r\n");
}

// On a console the wide API is used: every character arrives, none is
// converted away, and a line end moves to the next row once.
TEST(Console, ConsoleGetsTheWideTextWhole)
{
    FreeConsole();
    ASSERT_TRUE(AllocConsole());
    CFileHandle hConsole(CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(hConsole.IsValid());
    HANDLE hPrevious = GetStdHandle(STD_OUTPUT_HANDLE);
    SetStdHandle(STD_OUTPUT_HANDLE, hConsole.Get());
    COORD home = {0, 0};
    SetConsoleCursorPosition(hConsole.Get(), home);

    const std::wstring path = L"C:\\caf\u00e9\\\u00fc\\\u65e5\u672c\\deploy.prj";
    ConsolePrintW(L"Failed to read project %ls.\r\n", path.c_str());
    ConsolePrintA("second line\r\n");
    SetStdHandle(STD_OUTPUT_HANDLE, hPrevious);

    CONSOLE_SCREEN_BUFFER_INFO info = {};
    ASSERT_TRUE(GetConsoleScreenBufferInfo(hConsole.Get(), &info));
    EXPECT_EQ(info.dwCursorPosition.Y, 2);
    EXPECT_EQ(info.dwCursorPosition.X, 0);
    auto row = [&](SHORT y, DWORD cch) {
        std::wstring text(cch, L'\0');
        DWORD dwRead = 0;
        COORD at = {0, y};
        ReadConsoleOutputCharacterW(hConsole.Get(), &text[0], cch, at, &dwRead);
        text.resize(dwRead);
        return text;
    };
    const std::wstring first = L"Failed to read project " + path + L".";
    EXPECT_EQ(row(0, static_cast<DWORD>(first.size())), first);
    EXPECT_EQ(row(1, 11), L"second line");
    hConsole.Reset();
    FreeConsole();
}

}  // namespace
