// The table of running application instances, shared with the application.
#pragma once

#include "../base/WinTypes.h"

class CInstanceMngr {
public:
    CInstanceMngr();
    virtual ~CInstanceMngr();
    CInstanceMngr(const CInstanceMngr&) = delete;
    CInstanceMngr& operator=(const CInstanceMngr&) = delete;

    HWND GetCurrentMainWnd();
    void CloseAllSessions();
};

// The process-wide instance registry, built before the driver runs.
extern CInstanceMngr g_InstanceMngr;

HWND FindAppMainWindow(int iIndex);
