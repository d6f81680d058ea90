#pragma once

#define IDD_SESSION 101
#define IDC_STATUS 1001
