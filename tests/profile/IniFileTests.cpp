#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "profile/IniFile.h"

namespace {

using kvtest::CScratchDir;

// Loads text (raw bytes) into a document through a real file.
class IniText {
public:
    explicit IniText(const std::string& bytes) : m_path(m_dir / L"test.ini")
    {
        EXPECT_TRUE(kvtest::WriteBytes(m_path, bytes));
        m_bLoaded = m_file.Load(m_path.c_str());
    }
    CIniFile& File() { return m_file; }
    BOOL Loaded() const { return m_bLoaded; }

    // The value, or "<absent>" when the lookup delivers the default.
    std::string Get(const char* szSection, const char* szKey)
    {
        char szOut[128] = "untouched";
        int n = m_file.GetString(szSection, szKey, "<absent>", szOut, sizeof(szOut));
        EXPECT_EQ(static_cast<size_t>(n), strlen(szOut));
        return szOut;
    }

private:
    CScratchDir m_dir{L"ini"};
    std::wstring m_path;
    CIniFile m_file;
    BOOL m_bLoaded = FALSE;
};

struct LOOKUP_CASE {
    const char* szName;
    std::string text;
    const char* szSection;
    const char* szKey;
    const char* szExpected;
};

void PrintTo(const LOOKUP_CASE& c, std::ostream* os)
{
    *os << c.szName;
}

class IniLookup : public ::testing::TestWithParam<LOOKUP_CASE> {};

TEST_P(IniLookup, FindsTheValueAsTheProfileRulesSay)
{
    const LOOKUP_CASE& c = GetParam();
    IniText ini(c.text);
    ASSERT_TRUE(ini.Loaded());
    EXPECT_EQ(ini.Get(c.szSection, c.szKey), c.szExpected);
}

const LOOKUP_CASE kLookups[] = {
    {"Plain", "[Setup]\r\nstop_app=yes\r\n", "Setup", "stop_app", "yes"},
    {"BlanksAroundEqualsBelongToValue", "[Setup]\r\nstop_app = yes \r\n", "Setup", "stop_app", " yes "},
    {"BlanksBeforeHeader", "  \t[Setup]\r\nk=v\r\n", "Setup", "k", "v"},
    {"HeaderWithoutClosingBracket", "[Setup\r\nk=v\r\n", "Setup", "k", "v"},
    {"BlanksInsideBracketsAreName", "[ Setup ]\r\nk=v\r\n", "Setup", "k", "<absent>"},
    {"SectionNamesAreCaseSensitive", "[setup]\r\nk=v\r\n", "Setup", "k", "<absent>"},
    {"KeyNamesAreCaseSensitive", "[Setup]\r\nStop_App=yes\r\n", "Setup", "stop_app", "<absent>"},
    {"FirstOfDuplicateSections", "[S]\r\nk=1\r\n[S]\r\nk=2\r\nj=3\r\n", "S", "j", "<absent>"},
    {"FirstOfDuplicateKeys", "[S]\r\nk=1\r\nk=2\r\n", "S", "k", "1"},
    {"SkipsLineWithoutEquals", "[S]\r\nnoise\r\nk=v\r\n", "S", "k", "v"},
    {"SkipsBlankAndCommentLines", "[S]\n\n   \n; k=comment\n\t;x\nk=v\n", "S", "k", "v"},
    {"LfLineEnds", "[A]\nx=1\n[B]\nx=2\n", "B", "x", "2"},
    {"KeysOfNextSectionNotSeen", "[A]\nx=1\n[B]\ny=2\n", "A", "y", "<absent>"},
    {"KeyWithBlanksBeforeEquals", "[S]\n  key  =v\n", "S", "key", "v"},
    {"WantedKeyEndingInBlanksNeedsThem", "[S]\nkey=v\n", "S", "key  ", "<absent>"},
    {"WantedKeyEndingInBlanksMatchesMore", "[S]\nkey   =v\n", "S", "key  ", "v"},
    {"LongerKeyDoesNotMatch", "[S]\nkeyx=1\nkey=2\n", "S", "key", "2"},
    {"ValueUpToEndOfText", "[S]\nk=last", "S", "k", "last"},
    {"EmptyValue", "[S]\nk=\r\n", "S", "k", ""},
    {"EqualsInValue", "[S]\nk=a=b\n", "S", "k", "a=b"},
    {"NoTrailingComment", "[S]\nk=v ; not a comment\n", "S", "k", "v ; not a comment"},
    {"BracketMidLineIsNoHeader", "[S]\nk=[x]\nj=2\n", "S", "j", "2"},
    {"BlankThenBracketEndsSection", "[S]\n  [T]\nk=1\n", "S", "k", "<absent>"},
    {"HeaderOnLastLineHasEmptyBody", "k=0\n[S]", "S", "k", "<absent>"},
    {"ZeroByteEndsVisibleText", std::string("[S]\nk=1\n\0\nj=2\n", 14), "S", "j", "<absent>"},
    {"ZeroByteEndsValue", std::string("[S]\nk=ab\0cd\n", 12), "S", "k", "ab"},
    {"TextAfterClosingBracketIgnored", "[S] trailing\nk=v\n", "S", "k", "v"},
    {"EmptySectionNameFindsNothing", "[]\nk=v\n", "", "k", "<absent>"},
};

INSTANTIATE_TEST_SUITE_P(Rules, IniLookup, ::testing::ValuesIn(kLookups),
                         [](const ::testing::TestParamInfo<LOOKUP_CASE>& info) { return info.param.szName; });

TEST(IniFile, RemembersLastSectionAcrossLookups)
{
    IniText ini("[A]\r\na=1\r\nb=2\r\n[B]\r\na=3\r\n");
    EXPECT_EQ(ini.Get("A", "a"), "1");
    EXPECT_EQ(ini.Get("A", "b"), "2");
    EXPECT_EQ(ini.Get("B", "a"), "3");
    EXPECT_EQ(ini.Get("A", "a"), "1");
}

TEST(IniFile, GetStringCutsToSizeAndLeavesOutAloneWithoutDefault)
{
    IniText ini("[S]\nk=abcdef\n");
    char szOut[4] = "xyz";
    EXPECT_EQ(ini.File().GetString("S", "k", nullptr, szOut, 4), 3);
    EXPECT_STREQ(szOut, "abc");
    EXPECT_EQ(ini.File().GetString("S", "absent", "defaultvalue", szOut, 4), 3);
    EXPECT_STREQ(szOut, "def");
    strcpy(szOut, "xyz");
    EXPECT_EQ(ini.File().GetString("S", "absent", nullptr, szOut, 4), 0);
    EXPECT_STREQ(szOut, "xyz");
    EXPECT_EQ(ini.File().GetString("S", "k", nullptr, szOut, 0), 0);
    EXPECT_STREQ(szOut, "xyz");
}

TEST(IniFile, GetInt)
{
    IniText ini(
        "[N]\nhex=0x1A\nHEX=0X1a\nnine=0x123456789\ntail=12abc\nneg=-5\nblankhex= 0x10\nempty=\n"
        "huge=99999999999\nplus=+7\nspaces=  42\n");
    struct {
        const char* szKey;
        int nExpected;
    } cases[] = {
        {"hex", 26},   {"HEX", 26},    {"nine", 0x12345678}, {"tail", 12}, {"neg", -5},    {"blankhex", 0},
        {"empty", 77}, {"absent", 77}, {"huge", 2147483647}, {"plus", 7},  {"spaces", 42},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ini.File().GetInt("N", c.szKey, 77), c.nExpected) << c.szKey;
}

TEST(IniFile, HexToInt)
{
    EXPECT_EQ(HexToInt(nullptr), 0u);
    EXPECT_EQ(HexToInt(""), 0u);
    EXPECT_EQ(HexToInt("ff"), 255u);
    EXPECT_EQ(HexToInt("0xFFFFFFFF"), 0xFFFFFFFFu);
    EXPECT_EQ(HexToInt("0x10g"), 16u);
}

TEST(IniFile, MissingFileIsAnEmptyLoadedDocument)
{
    CScratchDir dir(L"ini");
    CIniFile file;
    EXPECT_TRUE(file.Load((dir / L"absent.ini").c_str()));
    char szOut[16] = {};
    EXPECT_EQ(file.GetString("S", "k", "d", szOut, sizeof(szOut)), 1);
    EXPECT_STREQ(szOut, "d");
}

TEST(IniFile, ByteOrderMarksDoNotHideTheFirstSection)
{
    // "é" and "日本" through UTF-8 and UTF-16 LE files; the document speaks UTF-8.
    const std::string utf8 = "[S]\r\npath=C:\\caf\xC3\xA9\\\xE6\x97\xA5\xE6\x9C\xAC\r\n";
    std::string utf16 = "\xFF\xFE";
    std::wstring wide = L"[S]\r\npath=C:\\caf\u00e9\\\u65e5\u672c\r\n";
    for (wchar_t ch : wide) {
        utf16 += static_cast<char>(ch & 0xFF);
        utf16 += static_cast<char>(ch >> 8);
    }
    for (const std::string& bytes : {std::string("\xEF\xBB\xBF") + utf8, utf16}) {
        IniText ini(bytes);
        ASSERT_TRUE(ini.Loaded());
        EXPECT_EQ(ini.File().GetCodePage(), static_cast<UINT>(CP_UTF8));
        WCHAR szOut[MAX_PATH] = {};
        EXPECT_GT(ini.File().GetStringW("S", "path", L"", szOut, MAX_PATH), 0);
        EXPECT_STREQ(szOut, L"C:\\caf\u00e9\\\u65e5\u672c");
    }
}

TEST(IniFile, AnsiTextIsReadInTheAnsiCodePage)
{
    ASSERT_EQ(g_CodePage, GetACP());
    std::wstring value = L"C:\\Donn\u00e9es\\M\u00fcller";
    IniText ini("[S]\r\npath=" + kvtest::ToAnsi(value) + "\r\n");
    WCHAR szOut[MAX_PATH] = {};
    EXPECT_GT(ini.File().GetStringW("S", "path", L"", szOut, MAX_PATH), 0);
    EXPECT_EQ(std::wstring(szOut), value);
}

TEST(IniFile, GetStringWFailsWholeInsteadOfCutting)
{
    IniText ini("[S]\nten=0123456789\n");
    WCHAR szOut[10] = L"junk";
    EXPECT_EQ(ini.File().GetStringW("S", "ten", L"", szOut, 10), 0);
    EXPECT_STREQ(szOut, L"");
    WCHAR szFits[11] = {};
    EXPECT_EQ(ini.File().GetStringW("S", "ten", L"", szFits, 11), 10);
    EXPECT_STREQ(szFits, L"0123456789");
    WCHAR szDefault[8] = L"junk";
    EXPECT_EQ(ini.File().GetStringW("S", "absent", L"dflt", szDefault, 8), 5);
    EXPECT_STREQ(szDefault, L"dflt");
}

// The walk gives every key line of the first section of the name, as the
// lookups see it: the key without its trailing blanks, the value whole, and
// the converted value as GetStringW gives it.
TEST(IniFile, EnumKeysGivesEachKeyLineWithItsValue)
{
    IniText ini(
        "[S]\r\n a = one \r\n; note=no\r\nnot a key\r\nb=\r\na=again\nlong=0123456789\r\n"
        "[T]\r\nc=3\r\n[S]\r\nd=4\r\n");
    std::vector<std::string> lines;
    auto collect = [](LPCSTR pKey, int cchKey, LPCSTR pValue, int cchValue, void* pContext) -> BOOL {
        static_cast<std::vector<std::string>*>(pContext)->push_back(std::string(pKey, cchKey) + "|" +
                                                                    std::string(pValue, cchValue));
        return TRUE;
    };
    ASSERT_TRUE(ini.File().EnumKeys("S", collect, &lines));
    EXPECT_EQ(lines, (std::vector<std::string>{"a| one ", "b|", "a|again", "long|0123456789"}));
    EXPECT_FALSE(ini.File().EnumKeys("U", collect, &lines));

    struct CONVERSION {
        int nSize;
        int nResult;
        const wchar_t* szOut;
    } conversions[] = {{11, 10, L"0123456789"}, {10, 0, L""}, {1, 0, L""}};
    const char* pValue = "0123456789=rest";
    for (const CONVERSION& c : conversions) {
        WCHAR szOut[16] = L"junk";
        EXPECT_EQ(ini.File().ValueToWide(pValue, 10, szOut, c.nSize), c.nResult) << c.nSize;
        EXPECT_STREQ(szOut, c.szOut) << c.nSize;
    }
}

}  // namespace
