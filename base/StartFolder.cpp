#include "StartFolder.h"

WCHAR szStartFolder[MAX_PATH];
