// A session table of private names, with a second view of it through which
// a test reads and writes the table as another program would.
#pragma once

#include <string>

#include "instance/InstanceMngr.h"

namespace kvtest {

struct PRIVATE_NAMES {
    std::wstring mapping;
    std::wstring mutex;
};

// Fresh names, unique to this process and call.
PRIVATE_NAMES MakePrivateNames();

class CPrivateTable {
public:
    CPrivateTable();
    CPrivateTable(const CPrivateTable&) = delete;
    CPrivateTable& operator=(const CPrivateTable&) = delete;

    CInstanceMngr& Registry() { return m_registry; }
    // The same table as written by another program; null when it could not
    // be opened.
    SESSION_TABLE* Peer() { return m_pPeer; }

private:
    PRIVATE_NAMES m_names;
    CInstanceMngr m_registry;
    CCommMappingFile m_peer;
    SESSION_TABLE* m_pPeer;
};

}  // namespace kvtest
