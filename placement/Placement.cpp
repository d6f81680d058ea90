// Placeholder until project placement lands.
#include "Placement.h"

BOOL SetUserProject(LPCWSTR) { return FALSE; }
BOOL SetServiceProject(LPCWSTR) { return FALSE; }
