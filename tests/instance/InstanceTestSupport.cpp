#include "InstanceTestSupport.h"

namespace kvtest {

PRIVATE_NAMES MakePrivateNames()
{
    static LONG s_nCounter = 0;
    std::wstring suffix =
        std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(InterlockedIncrement(&s_nCounter));
    return {L"kvtest-table-" + suffix, L"kvtest-lock-" + suffix};
}

CPrivateTable::CPrivateTable()
    : m_names(MakePrivateNames()),
      m_registry(m_names.mapping.c_str(), m_names.mutex.c_str()),
      m_peer(m_names.mapping.c_str()),
      m_pPeer(nullptr)
{
    if (m_peer.Create(sizeof(SESSION_TABLE), FALSE) == 2)
        m_pPeer = static_cast<SESSION_TABLE*>(m_peer.MapView(nullptr));
}

}  // namespace kvtest
