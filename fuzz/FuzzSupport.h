// What the fuzz targets share: the input as a real file, the document text as
// the engine sees it, names taken from it, and the check that stops a run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "base/WinTypes.h"

class CIniFile;

// A failed check prints what failed and aborts, so libFuzzer keeps the input.
#define FUZZ_CHECK(condition) \
    ((condition) ? static_cast<void>(0) : FuzzFail(__FILE__, __LINE__, #condition))

[[noreturn]] void FuzzFail(const char* szFile, int nLine, const char* szCondition);

// The input as a file in memory with a path the engine opens like any other,
// so Load and the reader run through their real file calls.
class CMemoryFile {
public:
    CMemoryFile();
    ~CMemoryFile();
    CMemoryFile(const CMemoryFile&) = delete;
    CMemoryFile& operator=(const CMemoryFile&) = delete;

    void Write(const uint8_t* pData, size_t cbData);
    LPCWSTR Path() const { return m_path.c_str(); }

private:
    int m_fd;
    std::wstring m_path;
};

// The text lookups see: after a UTF-8 mark, or converted from UTF-16 LE or
// BE after its mark, up to the first zero byte.
std::string VisibleText(const uint8_t* pData, size_t cbData);

// A zero byte in 8-bit text, or a zero unit in UTF-16 text after its mark:
// such a file is no project.
bool HoldsZero(const uint8_t* pData, size_t cbData);

// What the text names: each section (after a '[' that starts a line) and
// each key line's key with the section it stands in, as written, once each
// and a bounded number of them.
struct NAMES {
    std::vector<std::string> sections;
    std::vector<std::pair<std::string, std::string>> keys;  // section, key
};
NAMES CollectNames(const std::string& text);

// The numbers n of every "File<n>" in the text, leading zeros included.
std::vector<int> FileNumbersIn(const std::string& text);

// A value read with room to spare. bFound: the key is there (out is written
// without a default).
struct VALUE {
    bool bFound;
    std::string text;
};
VALUE ReadValue(CIniFile& doc, const char* szSection, const char* szKey, size_t cbRoom);

// The wide value with room to spare, as GetStringW gives it with the default.
std::wstring ReadWideValue(CIniFile& doc, const char* szSection, const char* szKey, LPCWSTR szDefault, size_t cchRoom);

// GetInt's reading of a value, by the C library: hexadecimal after 0x, atoi
// otherwise, on the first 31 bytes.
int ExpectedInt(const VALUE& value, int nDefault);
DWORD ExpectedHex(const char* szText);
