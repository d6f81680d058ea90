#include "IniFile.h"

#include <climits>
#include <cstring>
#include <cwchar>

#include "ProfilePlatform.h"

UINT g_CodePage = ProfileAnsiCodePage();

namespace {

const DWORD kTextStep = 1024;

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool IsLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

// The smallest multiple of the step above the text's length, so the text is
// always followed by at least one zero byte.
DWORD CapacityFor(DWORD cbText)
{
    return (cbText + kTextStep) / kTextStep * kTextStep;
}

size_t Larger(size_t a, size_t b)
{
    return a > b ? a : b;
}

// atoi as the C library has it, without its undefined overflow: leading white
// space, an optional sign, decimal digits up to the first other character;
// values beyond the 32-bit range saturate.
int DecimalToInt(const char* p)
{
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;
    bool bNegative = false;
    if (*p == '+' || *p == '-')
        bNegative = *p++ == '-';
    long long llValue = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        llValue = llValue * 10 + (*p - '0');
        if (llValue > 1LL + INT_MAX)
            llValue = 1LL + INT_MAX;
    }
    if (bNegative)
        llValue = -llValue;
    if (llValue > INT_MAX)
        return INT_MAX;
    return static_cast<int>(llValue);
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool HasHexPrefix(const char* p)
{
    return p[0] == '0' && (p[1] == 'x' || p[1] == 'X');
}

// The bytes of the sequence that starts with a lead byte (0 for a byte that
// cannot start one), and the range of its second byte: no overlong form, no
// surrogate, nothing above U+10FFFF, as the standard has well-formed UTF-8.
int Utf8SequenceLength(BYTE bLead, BYTE* pbLow, BYTE* pbHigh)
{
    *pbLow = 0x80;
    *pbHigh = 0xBF;
    if (bLead >= 0xC2 && bLead <= 0xDF)
        return 2;
    if (bLead >= 0xE0 && bLead <= 0xEF) {
        if (bLead == 0xE0)
            *pbLow = 0xA0;
        else if (bLead == 0xED)
            *pbHigh = 0x9F;
        return 3;
    }
    if (bLead >= 0xF0 && bLead <= 0xF4) {
        if (bLead == 0xF0)
            *pbLow = 0x90;
        else if (bLead == 0xF4)
            *pbHigh = 0x8F;
        return 4;
    }
    return 0;
}

// Well-formed UTF-8 with at least one character beyond ASCII. Text in an
// ANSI code page almost never is: its high bytes rarely line up into valid
// sequences.
bool IsMultiByteUtf8(const BYTE* p, DWORD cb)
{
    bool bMultiByte = false;
    for (DWORD i = 0; i < cb;) {
        if (p[i] < 0x80) {
            ++i;
            continue;
        }
        BYTE bLow = 0;
        BYTE bHigh = 0;
        int nLength = Utf8SequenceLength(p[i], &bLow, &bHigh);
        if (nLength == 0 || cb - i < static_cast<DWORD>(nLength) || p[i + 1] < bLow || p[i + 1] > bHigh)
            return false;
        for (int n = 2; n < nLength; ++n) {
            if (p[i + n] < 0x80 || p[i + n] > 0xBF)
                return false;
        }
        bMultiByte = true;
        i += static_cast<DWORD>(nLength);
    }
    return bMultiByte;
}

}  // namespace

DWORD HexToInt(LPCSTR szText)
{
    if (!szText || !*szText)
        return 0;
    if (HasHexPrefix(szText))
        szText += 2;
    DWORD dwValue = 0;
    for (int i = 0; i < 8; ++i) {
        int nDigit = HexDigit(szText[i]);
        if (nDigit < 0)
            break;
        dwValue = dwValue * 16 + static_cast<DWORD>(nDigit);
    }
    return dwValue;
}

int WideToAnsi(UINT uCodePage, LPCWSTR szSrc, LPSTR szDst, int cbDst)
{
    if (!szSrc || !szDst || cbDst < 1)
        return 0;
    int n = ProfileWideToMultiByte(uCodePage, szSrc, -1, szDst, cbDst);
    if (n > 0 && n == cbDst) {
        szDst[cbDst - 1] = '\0';
        return n - 1;
    }
    return n;
}

int AnsiToWide(UINT uCodePage, LPCSTR szSrc, LPWSTR szDst, int cchDst)
{
    if (!szSrc || !szDst || cchDst < 1)
        return 0;
    int n = ProfileMultiByteToWide(uCodePage, szSrc, -1, szDst, cchDst);
    if (n > 0 && n == cchDst) {
        szDst[cchDst - 1] = L'\0';
        return n - 1;
    }
    return n;
}

CIniFile::CIniFile()
    : m_pText(nullptr),
      m_nLength(0),
      m_nCapacity(0),
      m_bModified(FALSE),
      m_bLoaded(FALSE),
      m_bOwnText(FALSE),
      m_iLastStart(0),
      m_iLastEnd(0),
      m_uCodePage(g_CodePage),
      m_bZeroByte(FALSE),
      m_iZeroByte(0)
{
    m_szFile[0] = L'\0';
    m_szLastSection[0] = '\0';
}

CIniFile::~CIniFile()
{
    Close();
}

// Nothing in the tool edits a document, so closing never writes the file back.
void CIniFile::Close()
{
    if (m_bOwnText) {
        ProfileFree(m_pText);
        m_pText = nullptr;
    }
    m_bLoaded = FALSE;
    m_bModified = FALSE;
    m_bOwnText = FALSE;
    m_szLastSection[0] = '\0';
}

BOOL CIniFile::Load(LPCWSTR szPath)
{
    Close();
    m_uCodePage = g_CodePage;
    m_bZeroByte = FALSE;
    m_iZeroByte = 0;
    size_t i = 0;
    for (; szPath && szPath[i] && i < MAX_PATH - 1; ++i)
        m_szFile[i] = szPath[i];
    m_szFile[i] = L'\0';
    m_bOwnText = TRUE;

    PROFILE_FILE* pFile = szPath ? ProfileOpenFile(szPath) : nullptr;
    if (!pFile) {
        m_nLength = 0;
        m_nCapacity = kTextStep;
        m_pText = static_cast<char*>(ProfileAlloc(m_nCapacity));
        m_bLoaded = m_pText != nullptr;
        return m_bLoaded;
    }

    DWORD dwSize = 0;
    if (ProfileGetFileSize(pFile, &dwSize)) {
        m_nLength = dwSize;
        m_nCapacity = CapacityFor(dwSize);
        m_pText = static_cast<char*>(ProfileAlloc(m_nCapacity));
        if (m_pText) {
            DWORD dwRead = 0;
            m_bLoaded = ProfileReadFile(pFile, m_pText, m_nLength, &dwRead);
            if (m_bLoaded)
                m_bLoaded = TakeByteOrderMark();
        }
    }
    ProfileCloseFile(pFile);
    return m_bLoaded;
}

// An editor's byte-order mark would otherwise stand in front of the first
// header and hide that section. UTF-8 text is read as it is, without the
// mark; UTF-16 text is converted to UTF-8 here, so that one scanner serves
// every file. Unmarked text is UTF-8 when it is valid UTF-8 and holds a
// character beyond ASCII (as editors save it by default), else ANSI text.
BOOL CIniFile::TakeByteOrderMark()
{
    const BYTE* p = reinterpret_cast<const BYTE*>(m_pText);
    if (m_nLength >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) {
        NoteZeroByte(3);
        memmove(m_pText, m_pText + 3, m_nLength - 3);
        m_nLength -= 3;
        memset(m_pText + m_nLength, 0, 3);
        m_uCodePage = CP_UTF8;
        return TRUE;
    }
    if (m_nLength >= 2 && p[0] == 0xFF && p[1] == 0xFE)
        return ConvertUtf16Text(FALSE);
    if (m_nLength >= 2 && p[0] == 0xFE && p[1] == 0xFF)
        return ConvertUtf16Text(TRUE);
    NoteZeroByte(0);
    if (IsMultiByteUtf8(p, m_nLength))
        m_uCodePage = CP_UTF8;
    return TRUE;
}

// 8-bit text from iStart on: the file offset of its first zero byte.
void CIniFile::NoteZeroByte(DWORD iStart)
{
    const void* pZero = memchr(m_pText + iStart, 0, m_nLength - iStart);
    if (pZero) {
        m_bZeroByte = TRUE;
        m_iZeroByte = static_cast<DWORD>(static_cast<const char*>(pZero) - m_pText);
    }
}

BOOL CIniFile::ConvertUtf16Text(BOOL bBigEndian)
{
    DWORD cUnits = (m_nLength - 2) / 2;
    m_uCodePage = CP_UTF8;
    if (cUnits == 0) {
        memset(m_pText, 0, m_nLength);
        m_nLength = 0;
        return TRUE;
    }
    WCHAR* pUnits = static_cast<WCHAR*>(ProfileAlloc(static_cast<size_t>(cUnits) * sizeof(WCHAR)));
    if (!pUnits)
        return FALSE;
    const BYTE* p = reinterpret_cast<const BYTE*>(m_pText) + 2;
    const int nHigh = bBigEndian ? 0 : 1;
    for (DWORD i = 0; i < cUnits; ++i) {
        pUnits[i] = static_cast<WCHAR>(p[2 * i + 1 - nHigh] | (p[2 * i + nHigh] << 8));
        if (pUnits[i] == 0 && !m_bZeroByte) {
            m_bZeroByte = TRUE;
            m_iZeroByte = 2 + 2 * i;
        }
    }

    BOOL bResult = FALSE;
    int cb = ProfileWideToMultiByte(CP_UTF8, pUnits, static_cast<int>(cUnits), nullptr, 0);
    if (cb > 0 && static_cast<DWORD>(cb) < 0x7FFFFFFF - kTextStep) {
        DWORD dwCapacity = CapacityFor(static_cast<DWORD>(cb));
        char* pText = static_cast<char*>(ProfileAlloc(dwCapacity));
        if (pText && ProfileWideToMultiByte(CP_UTF8, pUnits, static_cast<int>(cUnits), pText, cb) == cb) {
            ProfileFree(m_pText);
            m_pText = pText;
            m_nLength = static_cast<DWORD>(cb);
            m_nCapacity = dwCapacity;
            bResult = TRUE;
        } else {
            ProfileFree(pText);
        }
    }
    ProfileFree(pUnits);
    return bResult;
}

BOOL CIniFile::FindSectionName(DWORD iPos, DWORD* piName)
{
    if (!m_pText || iPos >= m_nLength || m_pText[iPos] == '\0')
        return FALSE;
    for (;;) {
        const char* pBracket = strchr(m_pText + iPos, '[');
        if (!pBracket)
            return FALSE;
        DWORD iBracket = static_cast<DWORD>(pBracket - m_pText);
        if (iBracket >= m_nLength)
            return FALSE;
        DWORD i = iBracket;
        while (i > iPos && IsBlank(m_pText[i - 1]))
            --i;
        // A bracket with only blanks between it and a line end (or the start
        // of the search) starts a header.
        if (i == iPos || IsLineEnd(m_pText[i - 1])) {
            *piName = iBracket + 1;
            return TRUE;
        }
        const char* pLineEnd = strpbrk(m_pText + iBracket - 1, "\r\n");
        if (!pLineEnd)
            return FALSE;
        iPos = static_cast<DWORD>(pLineEnd - m_pText);
    }
}

BOOL CIniFile::FindSection(LPCSTR szSection, DWORD* piStart, DWORD* piEnd)
{
    *piStart = m_nLength;
    *piEnd = m_nLength;
    if (!m_bLoaded || !m_pText || !szSection || !*szSection)
        return FALSE;
    if (m_szLastSection[0] && strcmp(szSection, m_szLastSection) == 0) {
        *piStart = m_iLastStart;
        *piEnd = m_iLastEnd;
        return TRUE;
    }

    size_t cchWanted = strlen(szSection);
    DWORD iName = 0;
    for (BOOL bHeader = FindSectionName(0, &iName); bHeader; bHeader = FindSectionName(iName, &iName)) {
        const char* pName = m_pText + iName;
        const char* pClose = strpbrk(pName, "]\r\n");
        if (!pClose)
            continue;
        size_t cchName = static_cast<size_t>(pClose - pName);
        if (strncmp(pName, szSection, Larger(cchName, cchWanted)) != 0)
            continue;

        DWORD iStart = m_nLength;
        const char* pLineEnd = strpbrk(pName, "\r\n");
        if (pLineEnd)
            iStart = static_cast<DWORD>(pLineEnd - m_pText) + ((pLineEnd[0] == '\r' && pLineEnd[1] == '\n') ? 2 : 1);
        DWORD iEnd = m_nLength;
        DWORD iNext = 0;
        if (FindSectionName(iStart, &iNext))
            iEnd = iNext - 1;

        // A name too long to remember is simply looked up again next time.
        if (cchWanted < sizeof(m_szLastSection)) {
            memcpy(m_szLastSection, szSection, cchWanted + 1);
            m_iLastStart = iStart;
            m_iLastEnd = iEnd;
        } else {
            m_szLastSection[0] = '\0';
        }
        *piStart = iStart;
        *piEnd = iEnd;
        return TRUE;
    }
    return FALSE;
}

BOOL CIniFile::NextLine(DWORD iPos, DWORD* piNext) const
{
    const char* pLineEnd = strpbrk(m_pText + iPos, "\r\n");
    if (!pLineEnd)
        return FALSE;
    *piNext = static_cast<DWORD>(pLineEnd - m_pText) + ((pLineEnd[0] == '\r' && pLineEnd[1] == '\n') ? 2 : 1);
    return TRUE;
}

// A value ends at its line end; a zero byte ends the visible text as well.
DWORD CIniFile::ValueEnd(DWORD iStart) const
{
    DWORD i = iStart;
    while (m_pText[i] && !IsLineEnd(m_pText[i]))
        ++i;
    return i;
}

BOOL CIniFile::WalkKeyLines(LPCSTR szSection, PFN_KEY_LINE pfnVisit, void* pContext)
{
    DWORD i = 0;
    DWORD iBodyEnd = 0;
    if (!FindSection(szSection, &i, &iBodyEnd))
        return FALSE;
    while (i < iBodyEnd && m_pText[i]) {
        while (IsBlank(m_pText[i]))
            ++i;
        char c = m_pText[i];
        if (c == '\0' || c == '[')
            break;
        if (!IsLineEnd(c) && c != ';') {
            DWORD iEquals = i;
            while (m_pText[iEquals] && m_pText[iEquals] != '\n' && m_pText[iEquals] != '=')
                ++iEquals;
            if (m_pText[iEquals] == '=') {
                DWORD iKeyEnd = iEquals;
                while (iKeyEnd > i && IsBlank(m_pText[iKeyEnd - 1]))
                    --iKeyEnd;
                if (!pfnVisit(*this, i, iKeyEnd - i, iEquals, pContext))
                    break;
            }
        }
        if (!NextLine(i, &i))
            break;
    }
    return TRUE;
}

// The key matches when the first n bytes of the line, from the key's first
// character, equal the wanted key's first n bytes, n being the larger of the
// two lengths: an exact, case-sensitive match, in which a wanted key that ends
// in blanks needs at least those blanks before the '='.
BOOL CIniFile::FindKey(LPCSTR szSection, LPCSTR szKey, DWORD* piStart, DWORD* piEnd)
{
    if (!szKey)
        return FALSE;
    struct SEARCH {
        const char* pText;
        LPCSTR szKey;
        size_t cchKey;
        DWORD iEquals;
        BOOL bFound;
    } search = {m_pText, szKey, strlen(szKey), 0, FALSE};
    PFN_KEY_LINE pfnMatch = [](const CIniFile&, DWORD iKey, DWORD cchKey, DWORD iEquals, void* pContext) -> BOOL {
        SEARCH* p = static_cast<SEARCH*>(pContext);
        if (strncmp(p->pText + iKey, p->szKey, Larger(cchKey, p->cchKey)) != 0)
            return TRUE;
        p->iEquals = iEquals;
        p->bFound = TRUE;
        return FALSE;
    };
    if (!WalkKeyLines(szSection, pfnMatch, &search) || !search.bFound)
        return FALSE;
    *piStart = search.iEquals + 1;
    *piEnd = ValueEnd(*piStart);
    return TRUE;
}

BOOL CIniFile::EnumKeys(LPCSTR szSection, PFN_KEY pfnKey, void* pContext)
{
    struct ENUM {
        const char* pText;
        PFN_KEY pfnKey;
        void* pContext;
    } e = {nullptr, pfnKey, pContext};
    PFN_KEY_LINE pfnVisit = [](const CIniFile&, DWORD iKey, DWORD cchKey, DWORD, void* pContext) -> BOOL {
        ENUM* p = static_cast<ENUM*>(pContext);
        return p->pfnKey(p->pText + iKey, static_cast<int>(cchKey), p->pContext);
    };
    if (!m_bLoaded || !m_pText)
        return FALSE;
    e.pText = m_pText;
    return WalkKeyLines(szSection, pfnVisit, &e);
}

BOOL CIniFile::FindValue(LPCSTR szSection, LPCSTR szKey, LPCSTR szDefault, const char** ppValue, size_t* pcch)
{
    DWORD iStart = 0;
    DWORD iEnd = 0;
    if (FindKey(szSection, szKey, &iStart, &iEnd)) {
        *ppValue = m_pText + iStart;
        *pcch = iEnd - iStart;
        return TRUE;
    }
    if (!szDefault)
        return FALSE;
    *ppValue = szDefault;
    *pcch = strlen(szDefault);
    return TRUE;
}

int CIniFile::GetString(LPCSTR szSection, LPCSTR szKey, LPCSTR szDefault, LPSTR szOut, int nSize)
{
    const char* pValue = nullptr;
    size_t cch = 0;
    if (!szOut || nSize < 1 || !FindValue(szSection, szKey, szDefault, &pValue, &cch))
        return 0;
    if (cch > static_cast<size_t>(nSize - 1))
        cch = static_cast<size_t>(nSize - 1);
    memcpy(szOut, pValue, cch);
    szOut[cch] = '\0';
    return static_cast<int>(cch);
}

// The 8-bit value is taken whole into a work buffer with room for the
// code page's multi-byte characters, then converted into out. A value that
// does not fit out, converted, fails: out is left empty, never cut.
int CIniFile::GetStringW(LPCSTR szSection, LPCSTR szKey, LPCWSTR szDefault, LPWSTR szOut, int nSize)
{
    if (!szOut || nSize < 1)
        return 0;
    szOut[0] = L'\0';
    const int nBytesPerUnit = m_uCodePage == CP_UTF8 ? 3 : 2;
    if (nSize > (INT_MAX - 2) / nBytesPerUnit)
        return 0;
    const int cbWork = nBytesPerUnit * nSize + 2;
    char* pWork = static_cast<char*>(ProfileAlloc(static_cast<size_t>(cbWork)));
    if (!pWork)
        return 0;

    char* pDefault = nullptr;
    if (szDefault) {
        size_t cchDefault = wcslen(szDefault);
        if (cchDefault <= static_cast<size_t>((INT_MAX - 2) / nBytesPerUnit)) {
            int cbDefault = nBytesPerUnit * static_cast<int>(cchDefault) + 2;
            pDefault = static_cast<char*>(ProfileAlloc(static_cast<size_t>(cbDefault)));
            if (pDefault)
                WideToAnsi(m_uCodePage, szDefault, pDefault, cbDefault);
        }
    }

    int nResult = 0;
    const char* pValue = nullptr;
    size_t cch = 0;
    if (!FindValue(szSection, szKey, pDefault, &pValue, &cch))
        cch = 0;
    if (cch < static_cast<size_t>(cbWork)) {
        if (cch)
            memcpy(pWork, pValue, cch);
        nResult = AnsiToWide(m_uCodePage, pWork, szOut, nSize);
    }
    if (nResult == 0)
        szOut[0] = L'\0';
    ProfileFree(pDefault);
    ProfileFree(pWork);
    return nResult;
}

int CIniFile::GetInt(LPCSTR szSection, LPCSTR szKey, int nDefault)
{
    char szText[32] = {};
    if (GetString(szSection, szKey, nullptr, szText, sizeof(szText)) == 0)
        return nDefault;
    if (HasHexPrefix(szText))
        return static_cast<int>(HexToInt(szText));
    return DecimalToInt(szText);
}
