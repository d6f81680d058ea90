// The Windows types and a few constants that every part of the tool uses.
// On Windows this is <windows.h>; the profile engine and the project reader
// are also built for the Linux host (fuzzing and sanitizers only), where the
// handful of types they need are declared here with the Windows sizes.
#pragma once

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <cstddef>
#include <cstdint>

typedef int BOOL;
typedef uint32_t DWORD;
typedef unsigned int UINT;
typedef unsigned char BYTE;
typedef wchar_t WCHAR;  // holds UTF-16 code units, one per element, as on Windows
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef char* LPSTR;
typedef const char* LPCSTR;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
#ifndef MAX_PATH
#define MAX_PATH 260
#endif
#define CP_UTF8 65001
#endif
