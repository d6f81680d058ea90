#include <gtest/gtest.h>

#include <string>

#include "TestSupport.h"
#include "placement/PathHelpers.h"

namespace {

TEST(PathHelpers, FileExistsTellsFileFromFolder)
{
    kvtest::CScratchDir dir(L"path");
    ASSERT_TRUE(kvtest::WriteBytes(dir / L"file.prj", "x"));
    const std::wstring folder = dir / L"sub.fsn";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));

    struct CASE {
        const wchar_t* szPath;
        int nExpected;
    } const cases[] = {
        {nullptr, KV_PATH_NOTHING},     {L"", KV_PATH_NOTHING},        {L"missing.prj", KV_PATH_NOTHING},
        {L"file.prj", KV_PATH_FILE},    {L"file.prj\\", KV_PATH_FILE}, {L"sub.fsn", KV_PATH_FOLDER},
        {L"sub.fsn\\", KV_PATH_FOLDER},
    };
    for (const CASE& c : cases) {
        std::wstring path = (c.szPath && c.szPath[0]) ? dir / c.szPath : std::wstring();
        SCOPED_TRACE(kvtest::ToUtf8(path));
        EXPECT_EQ(FileExists(c.szPath ? path.c_str() : nullptr), c.nExpected);
    }
}

TEST(PathHelpers, ReplaceExtensionOfTheLastComponentOnly)
{
    struct CASE {
        const wchar_t* szPath;
        const wchar_t* szExpected;
    } const cases[] = {
        {L"C:\\data\\user.prj", L"C:\\data\\user.fsn"},
        {L"C:\\data\\user", L"C:\\data\\user.fsn"},
        {L"C:\\data.v2\\user", L"C:\\data.v2\\user.fsn"},
        {L"C:\\data\\user.tar.prj", L"C:\\data\\user.tar.fsn"},
        {L"C:\\data\\user.fsn", L"C:\\data\\user.fsn"},
        {L"C:\\data\\", L"C:\\data\\.fsn"},
        {L"user", L"user.fsn"},
        {L"", L".fsn"},
        // Only a backslash separates components.
        {L"C:/data.v2/user", L"C:/data.fsn"},
    };
    for (const CASE& c : cases) {
        SCOPED_TRACE(kvtest::ToUtf8(c.szPath));
        WCHAR szPath[64] = {};
        wcscpy(szPath, c.szPath);
        EXPECT_TRUE(ReplaceExtension(szPath, 64, L".fsn"));
        EXPECT_STREQ(szPath, c.szExpected);
    }
}

TEST(PathHelpers, ReplaceExtensionLeavesAPathThatWouldNotFit)
{
    WCHAR szPath[8] = L"ab.prj";
    EXPECT_TRUE(ReplaceExtension(szPath, 7, L".fsn"));  // six characters and the terminator
    EXPECT_STREQ(szPath, L"ab.fsn");
    WCHAR szLonger[8] = L"abc";
    EXPECT_FALSE(ReplaceExtension(szLonger, 7, L".fsn"));
    EXPECT_STREQ(szLonger, L"abc");
}

}  // namespace
