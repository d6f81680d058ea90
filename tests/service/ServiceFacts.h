// What Wine's service control manager says of a service, read with plain
// Win32 calls, apart from the code under test.
#pragma once

#include <string>

#include "base/WinTypes.h"

namespace kvtest {

struct SERVICE_FACTS {
    bool bExists = false;
    DWORD dwType = 0;
    DWORD dwStartType = 0;
    DWORD dwState = 0;
    std::wstring binaryPath;
    std::wstring account;
    std::wstring displayName;
    std::wstring description;
};

SERVICE_FACTS QueryServiceFacts(const std::wstring& name);

// Writes the stand-in service's script beside its executable (see
// standin/service/QuorvaneSvc.cpp); an empty text removes it.
bool WriteServiceScript(const std::wstring& folder, const std::string& text);

}  // namespace kvtest
