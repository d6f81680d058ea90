// The log file that every console line also goes to: its entries as the
// fleet log viewers read them, the lines kept until it opens, its rotation.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "base/Console.h"
#include "base/Log.h"

namespace {

std::vector<kvtest::LOG_ENTRY> ReadEntries(const std::wstring& path)
{
    std::vector<kvtest::LOG_ENTRY> entries = kvtest::ReadLogEntries(path);
    for (const kvtest::LOG_ENTRY& entry : entries)
        EXPECT_EQ(entry.dwThread, GetCurrentProcessId()) << entry.text;
    return entries;
}

std::string Describe(const std::vector<kvtest::LOG_ENTRY>& entries)
{
    std::string text;
    for (const kvtest::LOG_ENTRY& entry : entries)
        text += std::to_string(entry.nType) + " " + entry.text + "\n";
    return text;
}

TEST(Log, KeptLinesFollowTheHeaderThenEveryLineIsOneEntryWithItsType)
{
    kvtest::CScratchDir dir(L"log");
    const std::wstring path = dir / L"sub folder\\made\\Kovalimber.log";
    kvtest::CStdoutCapture capture;
    LogCollect();
    ConsolePrintA("Quorvane Kovalimber by Talwick Software\r\n");
    ASSERT_TRUE(LogOpen(path.c_str(), L"header"));
    EXPECT_TRUE(LogIsOpen());
    ConsolePrintW(L"Starting Service...\r\n");
    // A line printed in two parts is one entry.
    ConsolePrintA("Error:Unable to start the service.");
    ConsolePrintW(L"Started Service failed.\r\n");
    ConsolePrintA("Installer asks for a restart, exit code 3010.\r\n");
    ConsolePrintW(L"Copy to C:\\Donn\u00e9es\\\u65e5\u672c\\x.dll successfully!\r\nCopy to C:\\y failed!\r\n");
    LogEntry(L"closing", KV_LOG_WARNING);
    ConsolePrintW(L"a line without its end");
    LogClose();
    EXPECT_FALSE(LogIsOpen());
    ConsolePrintW(L"after the close\r\n");
    capture.Finish();

    EXPECT_EQ(Describe(ReadEntries(path)),
              "1 header\n"
              "1 Quorvane Kovalimber by Talwick Software\n"
              "1 Starting Service...\n"
              "3 Error:Unable to start the service.Started Service failed.\n"
              "2 Installer asks for a restart, exit code 3010.\n"
              "1 " +
                  kvtest::ToUtf8(L"Copy to C:\\Donn\u00e9es\\\u65e5\u672c\\x.dll successfully!") +
                  "\n"
                  "3 Copy to C:\\y failed!\n"
                  "2 closing\n"
                  "1 a line without its end\n");

    // A second run appends, without another mark.
    LogCollect();
    ASSERT_TRUE(LogOpen(path.c_str(), L"second"));
    LogClose();
    std::vector<kvtest::LOG_ENTRY> entries = ReadEntries(path);
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries.back().text, "second");
    EXPECT_EQ(entries.size(), 10u);
}

TEST(Log, EntryTypesOfConsoleLines)
{
    struct CASE {
        const wchar_t* szLine;
        int nType;
    } cases[] = {
        {L"Stop Application failed.", KV_LOG_ERROR},
        {L"Copy to C:\\x\\a.dll failed!", KV_LOG_ERROR},
        {L"Error: Installer exit code 1603!", KV_LOG_ERROR},
        {L"Failed to copy a to b.", KV_LOG_ERROR},
        {L"Installer asks for a restart, exit code 3010.", KV_LOG_WARNING},
        {L"The installer started a restart: no further action runs.", KV_LOG_WARNING},
        // Words in a path do not make a failure.
        {L"Copying file C:\\Error\\failed.txt ...", KV_LOG_INFO},
        {L"Stopped Service Successfully.", KV_LOG_INFO},
        {L"", KV_LOG_INFO},
    };
    for (const CASE& c : cases)
        EXPECT_EQ(LogLineType(c.szLine, wcslen(c.szLine)), c.nType) << kvtest::ToUtf8(c.szLine);
}

TEST(Log, OneEntryAsItStandsInTheFile)
{
    LOG_STAMP stamp = {};
    stamp.time.wYear = 2026;
    stamp.time.wMonth = 3;
    stamp.time.wDay = 7;
    stamp.time.wHour = 9;
    stamp.time.wMinute = 5;
    stamp.time.wSecond = 4;
    stamp.time.wMilliseconds = 31;
    stamp.lBias = -60;
    EXPECT_EQ(LogFormatEntry(L"Install successfully.", KV_LOG_INFO, stamp, L"SYSTEM", 4242),
              L"<![LOG[Install successfully.]LOG]!><time=\"09:05:04.031-60\" date=\"03-07-2026\" "
              L"component=\"Kovalimber\" context=\"SYSTEM\" type=\"1\" thread=\"4242\" file=\"\">");
    stamp.lBias = 480;
    EXPECT_NE(LogFormatEntry(L"x", KV_LOG_ERROR, stamp, L"", 1).find(L"time=\"09:05:04.031+480\""), std::wstring::npos);
}

TEST(Log, RotatedNameReplacesTheExtension)
{
    struct CASE {
        const wchar_t* szPath;
        const wchar_t* szRotated;
    } cases[] = {
        {L"C:\\Windows\\Logs\\Software\\Kovalimber.log", L"C:\\Windows\\Logs\\Software\\Kovalimber.lo_"},
        {L"C:\\logs.d\\deploy", L"C:\\logs.d\\deploy.lo_"},
        {L"C:\\a\\b.c.log", L"C:\\a\\b.c.lo_"},
    };
    for (const CASE& c : cases) {
        WCHAR szRotated[MAX_PATH] = {};
        ASSERT_TRUE(LogRotatedName(c.szPath, szRotated, MAX_PATH));
        EXPECT_STREQ(szRotated, c.szRotated);
    }
}

TEST(Log, ALogOf10MBOrMoreIsRenamedBeforeTheRunWrites)
{
    struct CASE {
        DWORD cbSize;
        bool bRotated;
    } cases[] = {{g_cbLogRotateSize - 1, false}, {g_cbLogRotateSize, true}};
    for (const CASE& c : cases) {
        kvtest::CScratchDir dir(L"log");
        const std::wstring path = dir / L"Kovalimber.log";
        const std::wstring rotated = dir / L"Kovalimber.lo_";
        ASSERT_TRUE(kvtest::WriteBytes(path, std::string(c.cbSize, 'x')));
        ASSERT_TRUE(kvtest::WriteBytes(rotated, "an older rotated log"));
        LogCollect();
        ASSERT_TRUE(LogOpen(path.c_str(), L"header"));
        LogClose();
        std::string log, old;
        ASSERT_TRUE(kvtest::ReadBytes(path, &log));
        ASSERT_TRUE(kvtest::ReadBytes(rotated, &old));
        if (c.bRotated) {
            EXPECT_EQ(old.size(), c.cbSize);
            EXPECT_EQ(ReadEntries(path).size(), 1u);
        } else {
            EXPECT_EQ(old, "an older rotated log");
            EXPECT_GT(log.size(), c.cbSize);
            EXPECT_EQ(log.compare(0, 4, "xxxx"), 0);
        }
    }
}

TEST(Log, AnUnwritableLogDropsTheKeptLinesAndTakesNoMore)
{
    kvtest::CScratchDir dir(L"log");
    ASSERT_TRUE(kvtest::WriteBytes(dir / L"a file", "x"));
    const std::wstring path = dir / L"a file\\Kovalimber.log";
    kvtest::CStdoutCapture capture;
    LogCollect();
    ConsolePrintW(L"kept\r\n");
    EXPECT_FALSE(LogOpen(path.c_str(), L"header"));
    EXPECT_FALSE(LogIsOpen());
    ConsolePrintW(L"printed all the same\r\n");
    LogClose();
    EXPECT_EQ(capture.Finish(), "kept\r\nprinted all the same\r\n");
    EXPECT_FALSE(kvtest::FileExists(path));
}

}  // namespace
