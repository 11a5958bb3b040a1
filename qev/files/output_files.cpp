#include "qev/files/output_files.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

tdOutputFiles::~tdOutputFiles()
{
    vDiscardOutputFiles(this);
}

// Permissions of a new file as fopen would create it: 0666 less the umask.
static mode_t iNewFileMode()
{
    mode_t iMask = umask(0);
    umask(iMask);
    return 0666 & ~iMask;
}

static bool bCopyFile(const char* pszFrom, int iTo)
{
    FILE* poFrom = fopen(pszFrom, "rb");
    if (!poFrom) return false;
    char acBuffer[65536];
    bool bOK = true;
    size_t uiRead;
    while (bOK && (uiRead = fread(acBuffer, 1, sizeof(acBuffer), poFrom)) > 0)
    {
        size_t uiDone = 0;
        while (uiDone < uiRead)
        {
            ssize_t iWritten = write(iTo, acBuffer + uiDone, uiRead - uiDone);
            if (iWritten < 0 && errno == EINTR) continue;
            if (iWritten <= 0)
            {
                bOK = false;
                break;
            }
            uiDone += static_cast<size_t>(iWritten);
        }
    }
    if (ferror(poFrom)) bOK = false;
    fclose(poFrom);
    return bOK;
}

FILE* poOpenPendingFile(tdOutputFiles* poFiles, const char* pszName, const char* pszMode)
{
    bool bUpdate = pszMode[0] == 'r';
    struct stat oStat;
    bool bExists = stat(pszName, &oStat) == 0;
    if (bUpdate && !bExists) return nullptr;

    std::string sTemp = std::string(pszName) + ".qevtmp-XXXXXX";
    int iFile = mkstemp(&sTemp[0]);
    if (iFile < 0) return nullptr;
    fchmod(iFile, bExists ? (oStat.st_mode & 07777) : iNewFileMode());
    if (bUpdate && !bCopyFile(pszName, iFile))
    {
        close(iFile);
        unlink(sTemp.c_str());
        return nullptr;
    }
    FILE* poStream = fdopen(iFile, bUpdate ? "r+b" : "wb");
    if (!poStream)
    {
        close(iFile);
        unlink(sTemp.c_str());
        return nullptr;
    }
    poFiles->aoFiles.push_back({pszName, sTemp, poStream, false, false});
    return poStream;
}

static void vClose(tdPendingFile* poFile)
{
    if (!poFile->poStream) return;
    if (ferror(poFile->poStream) || fflush(poFile->poStream) != 0) poFile->bFailed = true;
    if (fclose(poFile->poStream) != 0) poFile->bFailed = true;
    poFile->poStream = nullptr;
}

void vAllowEmptyPendingFile(tdOutputFiles* poFiles, FILE* poStream)
{
    for (tdPendingFile& oFile : poFiles->aoFiles)
        if (oFile.poStream == poStream) oFile.bMayBeEmpty = true;
}

void vClosePendingFile(tdOutputFiles* poFiles, FILE* poStream)
{
    for (tdPendingFile& oFile : poFiles->aoFiles)
    {
        if (oFile.poStream == poStream)
        {
            vClose(&oFile);
            return;
        }
    }
    fclose(poStream);
}

bool bIsWriteProtected(const char* pszName)
{
    struct stat oStat;
    if (stat(pszName, &oStat) != 0 || S_ISDIR(oStat.st_mode)) return false;
    return access(pszName, W_OK) != 0 || (oStat.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

bool bCommitOutputFiles(tdOutputFiles* poFiles, std::string* psError)
{
    std::string sError;
    for (tdPendingFile& oFile : poFiles->aoFiles)
    {
        vClose(&oFile);
        struct stat oStat;
        if (sError.empty() && bIsWriteProtected(oFile.sName.c_str()))
            sError = oFile.sName + " is write-protected (no write permission): it is kept";
        if (sError.empty() && oFile.bFailed) sError = "could not write " + oFile.sName;
        if (sError.empty() &&
            (stat(oFile.sTemp.c_str(), &oStat) != 0 || (oStat.st_size == 0 && !oFile.bMayBeEmpty)))
            sError = "nothing was written to " + oFile.sName;
    }
    if (!sError.empty())
    {
        vDiscardOutputFiles(poFiles);
        if (psError) *psError = sError;
        return false;
    }
    // The set goes into place as a whole: an existing file is first moved aside
    // under a backup name, so that when a later rename fails every file already
    // replaced gets its old contents back (and a new one is removed). Plain
    // renames within one folder work on every file system (no hard links).
    std::vector<std::string> asBackups(poFiles->aoFiles.size());
    size_t uiDone = 0;
    for (; uiDone < poFiles->aoFiles.size(); uiDone++)
    {
        tdPendingFile& oFile = poFiles->aoFiles[uiDone];
        struct stat oStat;
        if (lstat(oFile.sName.c_str(), &oStat) == 0 && !S_ISDIR(oStat.st_mode))
        {
            std::string sBackup = oFile.sName + ".qevold-XXXXXX";
            int iFile = mkstemp(&sBackup[0]);
            if (iFile >= 0) close(iFile);
            if (iFile < 0 || rename(oFile.sName.c_str(), sBackup.c_str()) != 0)
            {
                sError = "could not move aside " + oFile.sName + ": " + strerror(errno);
                if (iFile >= 0) unlink(sBackup.c_str());
                break;
            }
            asBackups[uiDone] = sBackup;
        }
        if (rename(oFile.sTemp.c_str(), oFile.sName.c_str()) != 0)
        {
            sError = "could not rename into place " + oFile.sName + ": " + strerror(errno);
            if (!asBackups[uiDone].empty()) rename(asBackups[uiDone].c_str(), oFile.sName.c_str());
            break;
        }
    }
    for (size_t i = 0; i < uiDone; i++)
    {
        const tdPendingFile& oFile = poFiles->aoFiles[i];
        if (!sError.empty())
        {
            if (asBackups[i].empty())
                unlink(oFile.sName.c_str());
            else
                rename(asBackups[i].c_str(), oFile.sName.c_str());
        }
        else if (!asBackups[i].empty())
        {
            unlink(asBackups[i].c_str());
        }
    }
    for (tdPendingFile& oFile : poFiles->aoFiles)
        unlink(oFile.sTemp.c_str()); // left over only where the set was not committed
    poFiles->aoFiles.clear();
    if (!sError.empty() && psError) *psError = sError;
    return sError.empty();
}

void vDiscardOutputFiles(tdOutputFiles* poFiles)
{
    for (tdPendingFile& oFile : poFiles->aoFiles)
    {
        vClose(&oFile);
        unlink(oFile.sTemp.c_str());
    }
    poFiles->aoFiles.clear();
}

FILE* poOpenForWrite(void* pContext, const char* pszName, const char* pszMode)
{
    if (pContext) return poOpenPendingFile(static_cast<tdOutputFiles*>(pContext), pszName, pszMode);
    return fopen(pszName, pszMode);
}

void vCloseForWrite(void* pContext, FILE* poStream)
{
    if (!poStream) return;
    if (pContext)
        vClosePendingFile(static_cast<tdOutputFiles*>(pContext), poStream);
    else
        fclose(poStream);
}
