#pragma once

#include <cstdio>
#include <string>
#include <vector>

// A set of output files written as one unit: each is written under a temporary
// sibling name and renamed into place only when every file of the set was written
// completely, so a failure never replaces a good file with half of one.
struct tdPendingFile
{
    std::string sName;     // the final name
    std::string sTemp;     // where the bytes go until commit
    FILE* poStream;        // open until closed through vClosePendingFile
    bool bFailed;          // a write, flush or close error was seen
    bool bMayBeEmpty;      // an empty file is a complete one (a sprite sheet without sprites)
};

struct tdOutputFiles
{
    std::vector<tdPendingFile> aoFiles;
    ~tdOutputFiles();
};

// Opens a temporary sibling of pszName with the fopen mode. A mode starting with
// "r" (read and update, to append) starts from a copy of the existing file and
// fails like fopen when there is none. Returns null when it cannot open.
FILE* poOpenPendingFile(tdOutputFiles* poFiles, const char* pszName, const char* pszMode);

// Marks a file of the set whose complete contents may be empty.
void vAllowEmptyPendingFile(tdOutputFiles* poFiles, FILE* poStream);

// Closes one stream of the set, noting write errors.
void vClosePendingFile(tdOutputFiles* poFiles, FILE* poStream);

// True when pszName exists and may not be replaced: the caller may not write it,
// or none of its write permission bits is set. The second test is what makes a
// file marked read-only (chmod a-w) safe from a program run by the superuser,
// for whom access() grants every write: a read-only mark is the user's word that
// the file is to be kept.
bool bIsWriteProtected(const char* pszName);

// Renames every file of the set into place when all were written without error,
// none is empty (unless allowed) and none would replace a write-protected file
// (bIsWriteProtected); otherwise removes every temporary file and leaves the old
// files untouched. Streams still open are closed first. Returns false and fills
// *psError (may be null) on failure. The set is empty afterwards.
bool bCommitOutputFiles(tdOutputFiles* poFiles, std::string* psError);

// Removes every temporary file of the set.
void vDiscardOutputFiles(tdOutputFiles* poFiles);

// Opens pszName with the fopen mode. With a null context the file itself is
// opened; with a tdOutputFiles context a temporary sibling is
// opened instead and renamed into place when the caller commits.
FILE* poOpenForWrite(void* pContext, const char* pszName, const char* pszMode);

// Closes a stream from poOpenForWrite with the same context.
void vCloseForWrite(void* pContext, FILE* poStream);
