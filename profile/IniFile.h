// An INI document held as the file's raw bytes. Every lookup scans the text;
// only the last section found is remembered, so that reading a section's keys
// one after another does not scan for its header each time.
#pragma once

#include "../base/WinTypes.h"

// The system's ANSI code page, taken once at start-up: the code page of the
// 8-bit text of a project that carries no byte-order mark.
extern UINT g_CodePage;

class CIniFile {
public:
    CIniFile();
    ~CIniFile();
    CIniFile(const CIniFile&) = delete;
    CIniFile& operator=(const CIniFile&) = delete;

    // TRUE when the document holds usable text; a file that cannot be opened
    // gives an empty document and TRUE.
    BOOL Load(LPCWSTR szPath);
    void Close();

    int GetString(LPCSTR szSection, LPCSTR szKey, LPCSTR szDefault, LPSTR szOut, int nSize);
    int GetStringW(LPCSTR szSection, LPCSTR szKey, LPCWSTR szDefault, LPWSTR szOut, int nSize);
    int GetInt(LPCSTR szSection, LPCSTR szKey, int nDefault);

    // Calls pfnKey with each key line's key (trimmed, not terminated) in the
    // order of the section's body, as FindKey sees them; stops when it
    // returns FALSE. FALSE when the section is not found.
    typedef BOOL (*PFN_KEY)(LPCSTR pKey, int cchKey, void* pContext);
    BOOL EnumKeys(LPCSTR szSection, PFN_KEY pfnKey, void* pContext);

    // The code page of the document's text: UTF-8 for a file that starts
    // with a UTF-8 or UTF-16 byte-order mark, and for unmarked text that is
    // valid UTF-8 with a character beyond ASCII; else g_CodePage.
    UINT GetCodePage() const { return m_uCodePage; }

    // TRUE, with its offset in the file, when the loaded file holds a zero
    // byte in 8-bit text or a zero unit in UTF-16 text. Lookups see the text
    // only up to there.
    BOOL FindZeroByte(DWORD* piOffset) const
    {
        *piOffset = m_iZeroByte;
        return m_bZeroByte;
    }

private:
    BOOL FindSectionName(DWORD iPos, DWORD* piName);
    BOOL FindSection(LPCSTR szSection, DWORD* piStart, DWORD* piEnd);
    BOOL FindKey(LPCSTR szSection, LPCSTR szKey, DWORD* piStart, DWORD* piEnd);
    BOOL FindValue(LPCSTR szSection, LPCSTR szKey, LPCSTR szDefault, const char** ppValue, size_t* pcch);
    BOOL NextLine(DWORD iPos, DWORD* piNext) const;
    DWORD ValueEnd(DWORD iStart) const;

    // Visits the key lines of a section's body: the key's offset and trimmed
    // length and the offset of its '='. The visitor returns FALSE to stop.
    typedef BOOL (*PFN_KEY_LINE)(const CIniFile& file, DWORD iKey, DWORD cchKey, DWORD iEquals, void* pContext);
    BOOL WalkKeyLines(LPCSTR szSection, PFN_KEY_LINE pfnVisit, void* pContext);

    BOOL TakeByteOrderMark();
    void NoteZeroByte(DWORD iStart);
    BOOL ConvertUtf16Text(BOOL bBigEndian);

    WCHAR m_szFile[MAX_PATH];
    char* m_pText;
    DWORD m_nLength;
    DWORD m_nCapacity;
    BOOL m_bModified;
    BOOL m_bLoaded;
    BOOL m_bOwnText;
    char m_szLastSection[260];
    DWORD m_iLastStart;
    DWORD m_iLastEnd;
    UINT m_uCodePage;
    BOOL m_bZeroByte;
    DWORD m_iZeroByte;
};

// Hexadecimal text, with or without a leading 0x, up to eight digits.
DWORD HexToInt(LPCSTR szText);

// Zero-terminated conversions. Each returns the conversion's count with the
// terminator, less one when that count fills the destination exactly; 0 when
// the destination is too small (nothing is cut).
int WideToAnsi(UINT uCodePage, LPCWSTR szSrc, LPSTR szDst, int cbDst);
int AnsiToWide(UINT uCodePage, LPCSTR szSrc, LPWSTR szDst, int cchDst);
