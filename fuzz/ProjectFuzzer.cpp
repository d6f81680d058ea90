// A whole project text: the reader fills the project from it exactly as a
// plain walk of its keys would, never with a value cut to its field; every
// lookup stays inside the text and gives the same after another Load.
#include <strings.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "HostConsole.h"
#include "driver/DeployProject.h"
#include "profile/IniFile.h"

namespace {

std::string g_output;

struct TEXT_FIELD {
    const char* szSection;
    const char* szKey;
    WCHAR* pField;
    size_t cchField;
    BOOL DEPLOY_PROJECT::*pReadWhen;  // null: always read
};

const TEXT_FIELD kTextFields[] = {
    {"Setup", "user_project", DeployProject.szUserProject, MAX_PATH, nullptr},
    {"Setup", "service_project", DeployProject.szServiceProject, MAX_PATH, nullptr},
    {"Uninstall", "uninstall_file", DeployProject.szUninstallFile, MAX_PATH, &DEPLOY_PROJECT::bUninstall},
    {"Uninstall", "uninstall_mode", DeployProject.szUninstallMode, 128, &DEPLOY_PROJECT::bUninstall},
    {"Install", "install_file", DeployProject.szInstallFile, MAX_PATH, &DEPLOY_PROJECT::bInstall},
    {"Install", "install_mode", DeployProject.szInstallMode, 128, &DEPLOY_PROJECT::bInstall},
    {"Setup", "log_file", DeployProject.szLogFile, MAX_PATH, nullptr},
};

struct SECONDS {
    const char* szKey;
    DWORD DEPLOY_PROJECT::*pSeconds;
    DWORD dwDefault;
    DWORD dwMinimum;
};

const SECONDS kSeconds[] = {
    {"installer_busy_wait", &DEPLOY_PROJECT::dwInstallerBusyWait, 600, 0},
    {"installer_timeout", &DEPLOY_PROJECT::dwInstallerTimeout, 3300, 1},
};

struct SWITCH {
    const char* szKey;
    BOOL DEPLOY_PROJECT::*pSwitch;
    bool bDefault;
};

const SWITCH kSwitches[] = {
    {"stop_app", &DEPLOY_PROJECT::bStopApp, false},
    {"stop_service", &DEPLOY_PROJECT::bStopService, false},
    {"uninstall", &DEPLOY_PROJECT::bUninstall, false},
    {"install", &DEPLOY_PROJECT::bInstall, false},
    {"install_service", &DEPLOY_PROJECT::bInstallService, false},
    {"do_copy_files", &DEPLOY_PROJECT::bCopyFiles, false},
    {"restart_service", &DEPLOY_PROJECT::bRestartService, true},
    {"restart_app", &DEPLOY_PROJECT::bRestartApp, false},
};

// Reads values as the reader must read them, and notes whether every one of
// them fits its field.
class CExpectation {
public:
    CExpectation(CIniFile& doc, const std::string& text) : m_doc(doc), m_text(text) {}

    std::wstring Text(const char* szSection, const char* szKey, size_t cchField)
    {
        std::wstring text = ReadWideValue(m_doc, szSection, szKey, L"", m_text.size() + 16);
        if (text.size() >= cchField)
            m_bFits = false;
        return text;
    }

    // An absent or empty value is the default; else up to nine decimal
    // digits within the bounds, or the project is refused.
    DWORD Seconds(const SECONDS& key)
    {
        VALUE value = ReadValue(m_doc, "Setup", key.szKey, m_text.size() + 1);
        if (!value.bFound || value.text.empty())
            return key.dwDefault;
        unsigned long long ullSeconds = 0;
        bool bDigits = value.text.size() <= 9;
        for (char c : value.text) {
            bDigits = bDigits && c >= '0' && c <= '9';
            ullSeconds = ullSeconds * 10 + static_cast<unsigned>(c - '0') % 10;
        }
        if (!bDigits || ullSeconds < key.dwMinimum || ullSeconds > 86400)
            m_bFits = false;
        return static_cast<DWORD>(ullSeconds);
    }

    bool SwitchOn(const char* szKey, bool bDefault)
    {
        VALUE value = ReadValue(m_doc, "Setup", szKey, m_text.size() + 1);
        return value.bFound ? strcasecmp(value.text.c_str(), "yes") == 0 : bDefault;
    }

    // The copy list that reading File1 to File<FileNum> gives, and whether
    // each File<n> key present and its TargetFolder<n> fit.
    std::vector<std::wstring> CopyList()
    {
        std::vector<std::wstring> list;
        int nFileNum = m_doc.GetInt("CopyFiles", "FileNum", 0);
        for (int n : FileNumbersIn(m_text)) {
            std::string number = std::to_string(n);
            if (n < 1 || n > nFileNum ||
                !ReadValue(m_doc, "CopyFiles", ("File" + number).c_str(), m_text.size() + 1).bFound)
                continue;
            std::wstring name = Text("CopyFiles", ("File" + number).c_str(), MAX_PATH);
            std::wstring folder = Text("CopyFiles", ("TargetFolder" + number).c_str(), MAX_PATH);
            if (!name.empty())
                list.push_back(name + L">" + folder);
        }
        return list;
    }

    // Installer options whose double quotes do not pair up reject the project.
    std::wstring Options(const char* szSection, const char* szKey, size_t cchField)
    {
        std::wstring text = Text(szSection, szKey, cchField);
        if (std::count(text.begin(), text.end(), L'"') % 2 != 0)
            m_bFits = false;
        return text;
    }

    bool Fits() const { return m_bFits; }

private:
    CIniFile& m_doc;
    const std::string& m_text;
    bool m_bFits = true;
};

std::wstring FieldText(const WCHAR* pField, size_t cchField)
{
    size_t cch = 0;
    while (cch < cchField && pField[cch])
        ++cch;
    FUZZ_CHECK(cch < cchField);
    return std::wstring(pField, cch);
}

void CheckRejected()
{
    FUZZ_CHECK(!g_output.empty());
    for (const SWITCH& s : kSwitches)
        FUZZ_CHECK(DeployProject.*s.pSwitch == FALSE);
    for (const TEXT_FIELD& f : kTextFields)
        FUZZ_CHECK(f.pField[0] == L'\0');
    for (const SECONDS& key : kSeconds)
        FUZZ_CHECK(DeployProject.*key.pSeconds == key.dwDefault);
    FUZZ_CHECK(DeployProject.arrCopyFiles.GetSize() == 0);
}

void CheckReader(const CMemoryFile& file, const std::string& text, bool bZero)
{
    ResetDeployProject();
    g_output.clear();
    BOOL bRead = ReadDeployProject(file.Path());

    CIniFile doc;
    FUZZ_CHECK(doc.Load(file.Path()));
    CExpectation expect(doc, text);
    std::vector<std::pair<BOOL DEPLOY_PROJECT::*, BOOL>> switchList;
    for (const SWITCH& s : kSwitches)
        switchList.push_back({s.pSwitch, expect.SwitchOn(s.szKey, s.bDefault) ? TRUE : FALSE});
    auto switches = [&switchList](BOOL DEPLOY_PROJECT::*pSwitch) {
        for (const auto& entry : switchList) {
            if (entry.first == pSwitch)
                return entry.second;
        }
        return FALSE;
    };
    std::wstring texts[sizeof(kTextFields) / sizeof(kTextFields[0])];
    for (size_t i = 0; i < sizeof(kTextFields) / sizeof(kTextFields[0]); ++i) {
        const TEXT_FIELD& f = kTextFields[i];
        bool bOptions = strstr(f.szKey, "_mode") != nullptr;
        if (!f.pReadWhen || switches(f.pReadWhen))
            texts[i] = bOptions ? expect.Options(f.szSection, f.szKey, f.cchField)
                                : expect.Text(f.szSection, f.szKey, f.cchField);
    }
    std::vector<DWORD> seconds;
    if (expect.Fits()) {
        for (const SECONDS& key : kSeconds)
            seconds.push_back(expect.Seconds(key));
    }
    std::vector<std::wstring> copyList;
    if (switches(&DEPLOY_PROJECT::bCopyFiles) && expect.Fits())
        copyList = expect.CopyList();

    FUZZ_CHECK(!!bRead == (expect.Fits() && !bZero));
    if (!bRead) {
        CheckRejected();
        return;
    }
    FUZZ_CHECK(g_output.empty());
    for (const SWITCH& s : kSwitches)
        FUZZ_CHECK(DeployProject.*s.pSwitch == switches(s.pSwitch));
    for (size_t i = 0; i < sizeof(kTextFields) / sizeof(kTextFields[0]); ++i)
        FUZZ_CHECK(FieldText(kTextFields[i].pField, kTextFields[i].cchField) == texts[i]);
    for (size_t i = 0; i < seconds.size(); ++i)
        FUZZ_CHECK(DeployProject.*kSeconds[i].pSeconds == seconds[i]);
    const CArrayT<COPY_FILE_ITEM>& list = DeployProject.arrCopyFiles;
    FUZZ_CHECK(list.GetSize() == static_cast<int>(copyList.size()));
    for (int i = 0; i < list.GetSize(); ++i) {
        const COPY_FILE_ITEM& item = list.GetAt(i);
        FUZZ_CHECK(FieldText(item.szFileName, MAX_PATH) + L">" + FieldText(item.szTargetFolder, MAX_PATH) ==
                   copyList[static_cast<size_t>(i)]);
    }
}

// One lookup's results, compared before and after another Load.
struct LOOKUP {
    VALUE value;
    std::wstring wide;
    int nInt;
    bool operator==(const LOOKUP& o) const
    {
        return value.bFound == o.value.bFound && value.text == o.value.text && wide == o.wide && nInt == o.nInt;
    }
};

LOOKUP Lookup(CIniFile& doc, const std::string& section, const std::string& key, const std::string& text)
{
    LOOKUP lookup;
    lookup.value = ReadValue(doc, section.c_str(), key.c_str(), text.size() + 1);
    if (lookup.value.bFound) {
        FUZZ_CHECK(lookup.value.text.find_first_of("\r\n") == std::string::npos);
        FUZZ_CHECK(text.find(lookup.value.text) != std::string::npos);
    }
    lookup.wide = ReadWideValue(doc, section.c_str(), key.c_str(), L"-", text.size() + 16);
    if (!lookup.value.bFound)
        FUZZ_CHECK(lookup.wide == L"-");
    lookup.nInt = doc.GetInt(section.c_str(), key.c_str(), -7);
    FUZZ_CHECK(lookup.nInt == ExpectedInt(lookup.value, -7));
    return lookup;
}

// Every key EnumKeys reports is a key that a lookup finds, and its value is
// one line's text; the first of a name has the value the lookup gives.
void CheckEnumKeys(CIniFile& doc, const std::string& section, const std::string& text)
{
    struct ENUM {
        CIniFile* pDoc;
        const std::string* pSection;
        const std::string* pText;
        std::vector<std::string> seen;
    } e = {&doc, &section, &text, {}};
    doc.EnumKeys(
        section.c_str(),
        [](LPCSTR pKey, int cchKey, LPCSTR pValue, int cchValue, void* pContext) -> BOOL {
            ENUM* p = static_cast<ENUM*>(pContext);
            FUZZ_CHECK(cchKey >= 0 && cchValue >= 0);
            std::string key(pKey, static_cast<size_t>(cchKey));
            std::string value(pValue, static_cast<size_t>(cchValue));
            FUZZ_CHECK(key.find('\0') == std::string::npos && p->pText->find(key) != std::string::npos);
            FUZZ_CHECK(value.find_first_of(std::string("\r\n\0", 3)) == std::string::npos);
            VALUE found = ReadValue(*p->pDoc, p->pSection->c_str(), key.c_str(), p->pText->size() + 1);
            FUZZ_CHECK(found.bFound);
            if (std::find(p->seen.begin(), p->seen.end(), key) == p->seen.end()) {
                FUZZ_CHECK(found.text == value);
                p->seen.push_back(key);
            }
            return TRUE;
        },
        &e);
}

// The text's own keys, each in its section and in the next section named,
// and the reader's sections with a key of the text.
std::vector<std::pair<std::string, std::string>> LookupsFor(const std::string& text)
{
    NAMES names = CollectNames(text);
    std::vector<std::pair<std::string, std::string>> lookups = names.keys;
    const char* kReaderSections[] = {"Setup", "Uninstall", "Install", "CopyFiles"};
    for (size_t i = 0; i < names.keys.size(); ++i) {
        const std::string& key = names.keys[i].second;
        if (!names.sections.empty())
            lookups.push_back({names.sections[i % names.sections.size()], key});
        lookups.push_back({kReaderSections[i % 4], key});
    }
    for (const std::string& section : names.sections)
        lookups.push_back({section, "FileNum"});
    return lookups;
}

void CheckLookups(const CMemoryFile& file, const std::string& text)
{
    std::vector<std::pair<std::string, std::string>> lookups = LookupsFor(text);
    CIniFile doc;
    FUZZ_CHECK(doc.Load(file.Path()));
    for (const std::string& section : CollectNames(text).sections)
        CheckEnumKeys(doc, section, text);
    std::vector<LOOKUP> first;
    for (const auto& lookup : lookups)
        first.push_back(Lookup(doc, lookup.first, lookup.second, text));
    // Again after a reload, in the reverse order, so that a section
    // remembered from the first pass would show.
    FUZZ_CHECK(doc.Load(file.Path()));
    for (size_t i = lookups.size(); i-- > 0;)
        FUZZ_CHECK(Lookup(doc, lookups[i].first, lookups[i].second, text) == first[i]);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    HostConsoleRedirect(&g_output);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t cbData)
{
    static CMemoryFile file;
    file.Write(pData, cbData);
    std::string text = VisibleText(pData, cbData);
    CheckReader(file, text, HoldsZero(pData, cbData));
    CheckLookups(file, text);
    return 0;
}
