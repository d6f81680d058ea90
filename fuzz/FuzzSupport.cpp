#include "FuzzSupport.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

#include "profile/IniFile.h"
#include "profile/ProfilePlatform.h"

namespace {

const size_t kMaxSections = 12;
const size_t kMaxKeys = 24;
const size_t kMaxName = 300;  // past the 260 bytes a remembered section name holds

template <class T>
void AddOnce(std::vector<T>* pItems, size_t nMax, const T& item)
{
    if (pItems->size() >= nMax)
        return;
    for (const T& existing : *pItems) {
        if (existing == item)
            return;
    }
    pItems->push_back(item);
}

}  // namespace

void FuzzFail(const char* szFile, int nLine, const char* szCondition)
{
    fprintf(stderr, "%s:%d: check failed: %s\n", szFile, nLine, szCondition);
    abort();
}

CMemoryFile::CMemoryFile() : m_fd(memfd_create("project", MFD_CLOEXEC))
{
    FUZZ_CHECK(m_fd >= 0);
    std::string path = "/proc/self/fd/" + std::to_string(m_fd);
    m_path.assign(path.begin(), path.end());
}

CMemoryFile::~CMemoryFile()
{
    close(m_fd);
}

void CMemoryFile::Write(const uint8_t* pData, size_t cbData)
{
    FUZZ_CHECK(ftruncate(m_fd, 0) == 0);
    size_t cbDone = 0;
    while (cbDone < cbData) {
        ssize_t cb = pwrite(m_fd, pData + cbDone, cbData - cbDone, static_cast<off_t>(cbDone));
        if (cb < 0 && errno == EINTR)
            continue;
        FUZZ_CHECK(cb > 0);
        cbDone += static_cast<size_t>(cb);
    }
}

namespace {

// The UTF-16 units after a mark, in the mark's byte order; none for 8-bit text.
bool Utf16Units(const uint8_t* pData, size_t cbData, std::vector<WCHAR>* pUnits)
{
    if (cbData < 2 || !((pData[0] == 0xFF && pData[1] == 0xFE) || (pData[0] == 0xFE && pData[1] == 0xFF)))
        return false;
    const size_t iHigh = pData[0] == 0xFE ? 0 : 1;
    pUnits->resize((cbData - 2) / 2);
    for (size_t i = 0; i < pUnits->size(); ++i)
        (*pUnits)[i] = static_cast<WCHAR>(pData[3 + 2 * i - iHigh] | (pData[2 + 2 * i + iHigh] << 8));
    return true;
}

bool HasUtf8Mark(const uint8_t* pData, size_t cbData)
{
    return cbData >= 3 && pData[0] == 0xEF && pData[1] == 0xBB && pData[2] == 0xBF;
}

}  // namespace

bool HoldsZero(const uint8_t* pData, size_t cbData)
{
    std::vector<WCHAR> units;
    if (Utf16Units(pData, cbData, &units)) {
        for (WCHAR unit : units) {
            if (unit == 0)
                return true;
        }
        return false;
    }
    size_t iStart = HasUtf8Mark(pData, cbData) ? 3 : 0;
    return memchr(pData + iStart, 0, cbData - iStart) != nullptr;
}

std::string VisibleText(const uint8_t* pData, size_t cbData)
{
    std::string text;
    std::vector<WCHAR> units;
    if (HasUtf8Mark(pData, cbData)) {
        text.assign(reinterpret_cast<const char*>(pData) + 3, cbData - 3);
    } else if (Utf16Units(pData, cbData, &units)) {
        if (!units.empty()) {
            int cb = ProfileWideToMultiByte(CP_UTF8, units.data(), static_cast<int>(units.size()), nullptr, 0);
            text.resize(static_cast<size_t>(cb));
            ProfileWideToMultiByte(CP_UTF8, units.data(), static_cast<int>(units.size()), &text[0], cb);
        }
    } else {
        text.assign(reinterpret_cast<const char*>(pData), cbData);
    }
    return text.substr(0, text.find('\0'));
}

NAMES CollectNames(const std::string& text)
{
    NAMES names;
    std::string section;
    size_t iLine = 0;
    while (iLine < text.size()) {
        size_t iEnd = text.find_first_of("\r\n", iLine);
        std::string line = text.substr(iLine, iEnd == std::string::npos ? std::string::npos : iEnd - iLine);
        iLine = iEnd == std::string::npos ? text.size() : iEnd + 1;

        size_t i = line.find_first_not_of(" \t");
        if (i == std::string::npos)
            continue;
        if (line[i] == '[') {
            size_t iClose = line.find(']', i);
            section = line.substr(i + 1, iClose == std::string::npos ? kMaxName : iClose - i - 1).substr(0, kMaxName);
            AddOnce(&names.sections, kMaxSections, section);
            continue;
        }
        size_t iEquals = line.find('=', i);
        if (iEquals == std::string::npos)
            continue;
        size_t iKeyEnd = iEquals;
        while (iKeyEnd > i && (line[iKeyEnd - 1] == ' ' || line[iKeyEnd - 1] == '\t'))
            --iKeyEnd;
        AddOnce(&names.keys, kMaxKeys, std::make_pair(section, line.substr(i, iKeyEnd - i).substr(0, kMaxName)));
        // With the blanks before its '=': a wanted key that ends in blanks
        // matches only a line that has them.
        if (iKeyEnd != iEquals)
            AddOnce(&names.keys, kMaxKeys, std::make_pair(section, line.substr(i, iEquals - i).substr(0, kMaxName)));
    }
    return names;
}

std::vector<int> FileNumbersIn(const std::string& text)
{
    std::set<int> numbers;
    for (size_t i = text.find("File"); i != std::string::npos; i = text.find("File", i + 1)) {
        long long llNumber = 0;
        size_t j = i + 4;
        for (; j < text.size() && text[j] >= '0' && text[j] <= '9' && llNumber <= INT_MAX; ++j)
            llNumber = llNumber * 10 + (text[j] - '0');
        if (j > i + 4 && llNumber <= INT_MAX)
            numbers.insert(static_cast<int>(llNumber));
    }
    return std::vector<int>(numbers.begin(), numbers.end());
}

VALUE ReadValue(CIniFile& doc, const char* szSection, const char* szKey, size_t cbRoom)
{
    std::vector<char> out(cbRoom + 1, '\x7F');
    int n = doc.GetString(szSection, szKey, nullptr, out.data(), static_cast<int>(out.size()));
    FUZZ_CHECK(n >= 0 && static_cast<size_t>(n) < cbRoom);
    VALUE value;
    value.bFound = n > 0 || out[0] == '\0';
    if (!value.bFound)
        FUZZ_CHECK(out[0] == '\x7F');
    value.text.assign(out.data(), static_cast<size_t>(n));
    return value;
}

std::wstring ReadWideValue(CIniFile& doc, const char* szSection, const char* szKey, LPCWSTR szDefault, size_t cchRoom)
{
    std::vector<WCHAR> out(cchRoom + 2, static_cast<WCHAR>(0x7F7F));
    int n = doc.GetStringW(szSection, szKey, szDefault, out.data(), static_cast<int>(out.size()));
    FUZZ_CHECK(n > 0);
    std::wstring text(out.data());
    FUZZ_CHECK(static_cast<size_t>(n) == text.size() + 1);
    return text;
}

DWORD ExpectedHex(const char* szText)
{
    if (!szText)
        return 0;
    if (szText[0] == '0' && (szText[1] == 'x' || szText[1] == 'X'))
        szText += 2;
    char szDigits[9] = {};
    for (size_t i = 0; i < 8 && isxdigit(static_cast<unsigned char>(szText[i])); ++i)
        szDigits[i] = szText[i];
    return static_cast<DWORD>(strtoul(szDigits, nullptr, 16));
}

int ExpectedInt(const VALUE& value, int nDefault)
{
    std::string text = value.text.substr(0, 31);
    if (!value.bFound || text.empty())
        return nDefault;
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        return static_cast<int>(ExpectedHex(text.c_str()));
    long lValue = strtol(text.c_str(), nullptr, 10);
    if (lValue > INT_MAX)
        return INT_MAX;
    if (lValue < INT_MIN)
        return INT_MIN;
    return static_cast<int>(lValue);
}
