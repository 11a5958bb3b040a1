#pragma once

// Facts about the build, produced by CMake for every build of the program (see
// build_info.cmake).

// The 40 hexadecimal digits of the source revision the program was built from, or
// a placeholder text when it was not built from a git checkout.
extern const char* const g_pszBuildRevision;

// The build date and time, "YYYY-MM-DD_hh:mm:ss" (UTC).
extern const char* const g_pszBuildDate;
