// What the host build can show and the Windows tests cannot: a project of
// 2 GiB or more, or one whose size cannot be had, is refused without a buffer
// for it; and the host's code-page conversions, on which every host run of the
// engine rests, give Windows' results.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sanitizer/allocator_interface.h>
#include <stdlib.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "HostConsole.h"
#include "driver/DeployProject.h"
#include "profile/IniFile.h"
#include "profile/ProfilePlatform.h"

namespace {

std::wstring Wide(const std::string& ascii)
{
    return std::wstring(ascii.begin(), ascii.end());
}

// A file that holds nothing but claims its size.
class CSparseFile {
public:
    explicit CSparseFile(off_t cbSize)
    {
        char szDir[] = "/tmp/kv-host-XXXXXX";
        EXPECT_NE(mkdtemp(szDir), nullptr);
        m_dir = szDir;
        m_path = m_dir + "/big.prj";
        int fd = open(m_path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
        EXPECT_GE(fd, 0);
        EXPECT_EQ(ftruncate(fd, cbSize), 0);
        close(fd);
    }
    ~CSparseFile()
    {
        unlink(m_path.c_str());
        rmdir(m_dir.c_str());
    }
    const std::string& Path() const { return m_path; }

private:
    std::string m_dir;
    std::string m_path;
};

struct UNUSABLE_CASE {
    const char* szName;
    long long cbSparse;  // 0: the device below
    const char* szDevice;
};

void PrintTo(const UNUSABLE_CASE& c, std::ostream* os)
{
    *os << c.szName;
}

class UnusableProject : public ::testing::TestWithParam<UNUSABLE_CASE> {};

// The low 32 bits of 4 GiB + 16 are 16: a reader that took them would read
// the start of the file as a small project.
const UNUSABLE_CASE kUnusable[] = {
    {"TwoGiB", 0x80000000LL, nullptr},
    {"FourGiBAndSixteen", 0x100000010LL, nullptr},
    {"DeviceWithoutSize", 0, "/dev/zero"},
};

TEST_P(UnusableProject, IsRefusedWithTheOpenFailureLineAndNoBuffer)
{
    const UNUSABLE_CASE& c = GetParam();
    std::unique_ptr<CSparseFile> sparse(c.cbSparse ? new CSparseFile(c.cbSparse) : nullptr);
    const std::wstring path = Wide(sparse ? sparse->Path() : c.szDevice);

    {
        CIniFile doc;
        size_t cbBefore = __sanitizer_get_current_allocated_bytes();
        EXPECT_FALSE(doc.Load(path.c_str()));
        EXPECT_LT(__sanitizer_get_current_allocated_bytes() - cbBefore, 4096u);
        char szOut[8] = "x";
        EXPECT_EQ(doc.GetString("Setup", "stop_app", "d", szOut, sizeof(szOut)), 1);
        EXPECT_STREQ(szOut, "d");
    }

    std::string output;
    HostConsoleRedirect(&output);
    ResetDeployProject();
    EXPECT_FALSE(ReadDeployProject(path.c_str()));
    HostConsoleRedirect(nullptr);
    const std::string shown(path.begin(), path.end());
    EXPECT_EQ(output, std::string(sparse ? "" : "Error: the project [" + shown + "] is not a file on a disk.\r\n") +
                          "Failed to open project file [" + shown + "]\r\n");
}

INSTANTIATE_TEST_SUITE_P(Files, UnusableProject, ::testing::ValuesIn(kUnusable),
                         [](const ::testing::TestParamInfo<UNUSABLE_CASE>& info) { return info.param.szName; });

struct CONVERSION_CASE {
    const char* szName;
    UINT uCodePage;
    std::string bytes;
    std::wstring units;
};

void PrintTo(const CONVERSION_CASE& c, std::ostream* os)
{
    *os << c.szName;
}

std::wstring Units(std::initializer_list<unsigned> units)
{
    std::wstring text;
    for (unsigned u : units)
        text += static_cast<WCHAR>(u);
    return text;
}

std::wstring ToWide(UINT uCodePage, const std::string& bytes)
{
    int cch = ProfileMultiByteToWide(uCodePage, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring units(static_cast<size_t>(cch), L'\0');
    EXPECT_EQ(ProfileMultiByteToWide(uCodePage, bytes.data(), static_cast<int>(bytes.size()), &units[0], cch), cch);
    return units;
}

std::string ToBytes(UINT uCodePage, const std::wstring& units)
{
    int cb = ProfileWideToMultiByte(uCodePage, units.data(), static_cast<int>(units.size()), nullptr, 0);
    std::string bytes(static_cast<size_t>(cb), '\0');
    EXPECT_EQ(ProfileWideToMultiByte(uCodePage, units.data(), static_cast<int>(units.size()), &bytes[0], cb), cb);
    return bytes;
}

class DecodeAsWindows : public ::testing::TestWithParam<CONVERSION_CASE> {};
class EncodeAsWindows : public ::testing::TestWithParam<CONVERSION_CASE> {};

TEST_P(DecodeAsWindows, Bytes)
{
    EXPECT_EQ(ToWide(GetParam().uCodePage, GetParam().bytes), GetParam().units);
}

TEST_P(EncodeAsWindows, Units)
{
    EXPECT_EQ(ToBytes(GetParam().uCodePage, GetParam().units), GetParam().bytes);
}

const CONVERSION_CASE kDecode[] = {
    {"Ansi1252High", 1252, "\x80\x9F\xA0\xE9\xFF", Units({0x20AC, 0x0178, 0x00A0, 0x00E9, 0x00FF})},
    {"Ansi1252UndefinedBytesAreC1Controls", 1252, "\x81\x8D\x8F\x90\x9D", Units({0x81, 0x8D, 0x8F, 0x90, 0x9D})},
    {"Utf8TwoThreeFourBytes", CP_UTF8, "\xC3\xA9\xE6\x97\xA5\xF0\x9F\x98\x80",
     Units({0x00E9, 0x65E5, 0xD83D, 0xDE00})},
    {"Utf8TruncatedSequenceIsOneReplacement", CP_UTF8, "\xE2\x82" "A", Units({0xFFFD, 'A'})},
    {"Utf8OverlongBytesEachReplaced", CP_UTF8, "\xC0\x80", Units({0xFFFD, 0xFFFD})},
    {"Utf8EncodedSurrogateReplaced", CP_UTF8, "\xED\xA0\x80", Units({0xFFFD, 0xFFFD, 0xFFFD})},
    {"Utf8AboveUnicodeReplaced", CP_UTF8, "\xF4\x90\x80\x80", Units({0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD})},
    {"Utf8StrayContinuationAndBadLead", CP_UTF8, "\x80\xFF" "a", Units({0xFFFD, 0xFFFD, 'a'})},
};

const CONVERSION_CASE kEncode[] = {
    {"Ansi1252OwnBytes", 1252, "\x80\x81\x9F\xE9", Units({0x20AC, 0x81, 0x0178, 0x00E9})},
    {"Ansi1252BestFitAndDefault", 1252, "AC??", Units({0x0100, 0x0106, 0x4E00, 0x0080})},
    {"Ansi1252SurrogatePairIsTwoDefaults", 1252, "??", Units({0xD83D, 0xDE00})},
    {"Utf8Pair", CP_UTF8, "\xF0\x9F\x98\x80", Units({0xD83D, 0xDE00})},
    {"Utf8UnpairedSurrogatesReplaced", CP_UTF8, "\xEF\xBF\xBD" "A\xEF\xBF\xBD", Units({0xD800, 'A', 0xDC00})},
};

auto CaseName = [](const ::testing::TestParamInfo<CONVERSION_CASE>& info) { return std::string(info.param.szName); };
INSTANTIATE_TEST_SUITE_P(Cases, DecodeAsWindows, ::testing::ValuesIn(kDecode), CaseName);
INSTANTIATE_TEST_SUITE_P(Cases, EncodeAsWindows, ::testing::ValuesIn(kEncode), CaseName);

// The count includes the terminator of a zero-terminated source; a
// destination one unit short gives 0.
TEST(HostConversion, DestinationSizes)
{
    WCHAR szWide[4] = {};
    EXPECT_EQ(ProfileMultiByteToWide(CP_UTF8, "\xC3\xA9" "ab", -1, szWide, 4), 4);
    EXPECT_EQ(ProfileMultiByteToWide(CP_UTF8, "\xC3\xA9" "ab", -1, szWide, 3), 0);
    EXPECT_EQ(ProfileMultiByteToWide(1252, "abc", 0, szWide, 4), 0);
    char szBytes[4] = {};
    EXPECT_EQ(ProfileWideToMultiByte(CP_UTF8, L"\u00e9a", -1, szBytes, 4), 4);
    EXPECT_EQ(ProfileWideToMultiByte(CP_UTF8, L"\u00e9a", -1, szBytes, 3), 0);
    EXPECT_EQ(ProfileWideToMultiByte(CP_UTF8, L"\u00e9a", -1, nullptr, 0), 4);
}

}  // namespace
