// GetString, GetStringW, GetInt and HexToInt with every buffer size from 0 up:
// a result never passes its buffer, is terminated, and is the whole value or
// (for the wide read) nothing, never a cut one.
//
// Input: a byte choosing the section, a byte choosing the key, a default text
// up to the first line feed, then the document.
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "HostConsole.h"
#include "profile/IniFile.h"

namespace {

// Sizes tried: every one from 0 up to 16, and past that the sizes at which a
// result can change: around each length of the text (bytes, units), around
// its share of a work buffer of two or three bytes a unit, and around the
// reader's own field sizes. Every size up to the value's length would spend
// most runs on sizes that decide nothing.
const size_t kEverySizeUpTo = 16;
// A default longer than the longest field adds nothing but time.
const size_t kMaxDefault = 400;
const size_t kReaderSizes[] = {32, 128, 260};

std::string g_output;

// A buffer of exactly the size asked for, so that one byte past it is caught.
template <class T>
class CExactBuffer {
public:
    explicit CExactBuffer(size_t n) : m_p(static_cast<T*>(malloc(n * sizeof(T) + (n == 0)))), m_n(n)
    {
        FUZZ_CHECK(m_p != nullptr);
        for (size_t i = 0; i < n; ++i)
            m_p[i] = static_cast<T>(0x5A);
    }
    ~CExactBuffer() { free(m_p); }
    CExactBuffer(const CExactBuffer&) = delete;
    CExactBuffer& operator=(const CExactBuffer&) = delete;

    T* Get() { return m_n ? m_p : nullptr; }
    bool Untouched() const
    {
        for (size_t i = 0; i < m_n; ++i) {
            if (m_p[i] != static_cast<T>(0x5A))
                return false;
        }
        return true;
    }

private:
    T* m_p;
    size_t m_n;
};

std::vector<size_t> SizesFor(std::initializer_list<size_t> lengths)
{
    std::set<size_t> sizes;
    for (size_t n = 0; n <= kEverySizeUpTo; ++n)
        sizes.insert(n);
    std::vector<size_t> points(std::begin(kReaderSizes), std::end(kReaderSizes));
    for (size_t cch : lengths) {
        points.push_back(cch);
        points.push_back(cch / 2);
        points.push_back(cch / 3);
    }
    for (size_t n : points) {
        for (size_t i = n > 2 ? n - 2 : 0; i <= n + 2; ++i)
            sizes.insert(i);
    }
    return std::vector<size_t>(sizes.begin(), sizes.end());
}

// A conversion's count with the terminator, less one when that fills the
// buffer; 0 when the text does not fit.
int ExpectedCount(size_t cch, size_t n)
{
    if (cch + 1 > n)
        return 0;
    return static_cast<int>(cch + 1 == n ? cch : cch + 1);
}

struct QUERY {
    std::string section;
    std::string key;
    std::string defaultText;
    std::wstring wideDefault;  // the default's bytes as UTF-16 LE units, surrogates and all
};

const std::string& Pick(const std::vector<std::string>& names, uint8_t bChoice, const std::string& absent)
{
    return bChoice < names.size() ? names[bChoice] : absent;
}

QUERY QueryFor(const uint8_t* pData, size_t cbDefault, const std::string& text)
{
    NAMES names = CollectNames(text);
    std::vector<std::string> keys;
    for (const auto& key : names.keys)
        keys.push_back(key.second);
    QUERY query;
    query.section = Pick(names.sections, pData[0] % 16, "Setup");
    query.key = Pick(keys, pData[1] % 32, "absent");
    cbDefault = cbDefault < kMaxDefault ? cbDefault : kMaxDefault;
    query.defaultText.assign(reinterpret_cast<const char*>(pData) + 2, cbDefault);
    query.defaultText = query.defaultText.substr(0, query.defaultText.find('\0'));
    for (size_t i = 0; i + 1 < cbDefault; i += 2) {
        WCHAR wch = static_cast<WCHAR>(pData[2 + i] | (pData[3 + i] << 8));
        if (wch == 0)
            break;
        query.wideDefault += wch;
    }
    return query;
}

void CheckGetString(CIniFile& doc, const QUERY& q, const VALUE& value)
{
    for (const char* szDefault : {static_cast<const char*>(nullptr), q.defaultText.c_str()}) {
        bool bDelivered = value.bFound || szDefault;
        const std::string expected = value.bFound ? value.text : (szDefault ? szDefault : "");
        for (size_t n : SizesFor({expected.size()})) {
            CExactBuffer<char> out(n);
            int r = doc.GetString(q.section.c_str(), q.key.c_str(), szDefault, out.Get(), static_cast<int>(n));
            if (n == 0 || !bDelivered) {
                FUZZ_CHECK(r == 0 && out.Untouched());
                continue;
            }
            size_t cch = expected.size() < n - 1 ? expected.size() : n - 1;
            FUZZ_CHECK(r == static_cast<int>(cch));
            FUZZ_CHECK(memcmp(out.Get(), expected.data(), cch) == 0 && out.Get()[cch] == '\0');
        }
    }
}

// The whole value when it fits with its terminator, else an empty text and 0.
void CheckGetStringW(CIniFile& doc, const QUERY& q, const VALUE& value, const std::string& text)
{
    std::string ansiDefault(q.wideDefault.size() * 3 + 2, '\0');
    WideToAnsi(doc.GetCodePage(), q.wideDefault.c_str(), &ansiDefault[0], static_cast<int>(ansiDefault.size()));
    for (LPCWSTR szDefault : {static_cast<LPCWSTR>(nullptr), q.wideDefault.c_str()}) {
        std::wstring whole = ReadWideValue(doc, q.section.c_str(), q.key.c_str(), szDefault,
                                           text.size() + q.wideDefault.size() + 16);
        // The 8-bit text that goes through the work buffer.
        size_t cbSource = value.bFound ? value.text.size() : (szDefault ? strlen(ansiDefault.c_str()) : 0);
        for (size_t n : SizesFor({whole.size(), cbSource})) {
            CExactBuffer<WCHAR> out(n);
            int r = doc.GetStringW(q.section.c_str(), q.key.c_str(), szDefault, out.Get(), static_cast<int>(n));
            if (n == 0) {
                FUZZ_CHECK(r == 0);
                continue;
            }
            FUZZ_CHECK(r == ExpectedCount(whole.size(), n));
            FUZZ_CHECK(std::wstring(out.Get()) == (r ? whole : std::wstring()));
        }
    }
}

// A conversion gives the whole text or 0, never passing the buffer.
template <class TOut, class TIn>
void CheckConversion(int (*pfnConvert)(UINT, const TIn*, TOut*, int), UINT uCodePage, const TIn* szSource,
                     size_t cchRoom)
{
    std::basic_string<TOut> whole(cchRoom, TOut());
    FUZZ_CHECK(pfnConvert(uCodePage, szSource, &whole[0], static_cast<int>(whole.size())) > 0);
    whole.resize(std::char_traits<TOut>::length(whole.c_str()));
    for (size_t n : SizesFor({whole.size()})) {
        CExactBuffer<TOut> out(n);
        int r = pfnConvert(uCodePage, szSource, out.Get(), static_cast<int>(n));
        FUZZ_CHECK(r == ExpectedCount(whole.size(), n));
        FUZZ_CHECK(r == 0 || whole == out.Get());
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    HostConsoleRedirect(&g_output);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t cbData)
{
    if (cbData < 2)
        return 0;
    const uint8_t* pLineFeed = static_cast<const uint8_t*>(memchr(pData + 2, '\n', cbData - 2));
    size_t cbDefault = pLineFeed ? static_cast<size_t>(pLineFeed - (pData + 2)) : cbData - 2;
    size_t iDocument = pLineFeed ? 2 + cbDefault + 1 : cbData;

    static CMemoryFile file;
    file.Write(pData + iDocument, cbData - iDocument);
    std::string text = VisibleText(pData + iDocument, cbData - iDocument);
    QUERY q = QueryFor(pData, cbDefault, text);

    CIniFile doc;
    FUZZ_CHECK(doc.Load(file.Path()));
    VALUE value = ReadValue(doc, q.section.c_str(), q.key.c_str(), text.size() + 1);
    CheckGetString(doc, q, value);
    CheckGetStringW(doc, q, value, text);

    int nDefault = static_cast<int8_t>(pData[0]) * 1000003;
    FUZZ_CHECK(doc.GetInt(q.section.c_str(), q.key.c_str(), nDefault) == ExpectedInt(value, nDefault));
    FUZZ_CHECK(HexToInt(value.text.c_str()) == ExpectedHex(value.text.c_str()));
    FUZZ_CHECK(HexToInt(q.defaultText.c_str()) == ExpectedHex(q.defaultText.c_str()));
    FUZZ_CHECK(HexToInt(nullptr) == 0);

    CheckConversion<char, WCHAR>(WideToAnsi, doc.GetCodePage(), q.wideDefault.c_str(), q.wideDefault.size() * 3 + 2);
    CheckConversion<WCHAR, char>(AnsiToWide, doc.GetCodePage(), q.defaultText.c_str(), q.defaultText.size() + 2);
    return 0;
}
