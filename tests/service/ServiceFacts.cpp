#include "ServiceFacts.h"

#include <vector>

#include "TestSupport.h"
#include "appctl/Product.h"
#include "base/Handles.h"

namespace kvtest {

SERVICE_FACTS QueryServiceFacts(const std::wstring& name)
{
    SERVICE_FACTS facts;
    CServiceHandle hManager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    CServiceHandle hService(OpenServiceW(hManager.Get(), name.c_str(), SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS));
    if (!hService.IsValid())
        return facts;
    facts.bExists = true;

    std::vector<BYTE> buffer(8192);
    DWORD cbNeeded = 0;
    auto* pConfig = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    if (QueryServiceConfigW(hService.Get(), pConfig, static_cast<DWORD>(buffer.size()), &cbNeeded)) {
        facts.dwType = pConfig->dwServiceType;
        facts.dwStartType = pConfig->dwStartType;
        facts.binaryPath = pConfig->lpBinaryPathName ? pConfig->lpBinaryPathName : L"";
        facts.account = pConfig->lpServiceStartName ? pConfig->lpServiceStartName : L"";
        facts.displayName = pConfig->lpDisplayName ? pConfig->lpDisplayName : L"";
    }
    auto* pDescription = reinterpret_cast<SERVICE_DESCRIPTIONW*>(buffer.data());
    if (QueryServiceConfig2W(hService.Get(), SERVICE_CONFIG_DESCRIPTION, buffer.data(),
                             static_cast<DWORD>(buffer.size()), &cbNeeded) &&
        pDescription->lpDescription)
        facts.description = pDescription->lpDescription;

    SERVICE_STATUS status = {};
    if (QueryServiceStatus(hService.Get(), &status))
        facts.dwState = status.dwCurrentState;
    return facts;
}

bool WriteServiceScript(const std::wstring& folder, const std::string& text)
{
    std::wstring path = folder + g_szServiceBaseName + L".ini";
    if (text.empty())
        return DeleteFileW(path.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
    return WriteBytes(path, text);
}

}  // namespace kvtest
