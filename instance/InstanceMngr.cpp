// Placeholder until the instance registry lands.
#include "InstanceMngr.h"

CInstanceMngr::CInstanceMngr() = default;
CInstanceMngr::~CInstanceMngr() = default;
HWND CInstanceMngr::GetCurrentMainWnd() { return nullptr; }
void CInstanceMngr::CloseAllSessions() {}
HWND FindAppMainWindow(int) { return nullptr; }
