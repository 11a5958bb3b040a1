#include "qev/files/format_kru.h"

#include "qev/files/kru_record.h"
#include "qev/msx/pipeline.h"

tdErrorTriple oBuildKRURecordOfImage(const Image* poImage, const tdSettings* poSettings,
                                     tdByteArray* poRecord, Image** ppoOut, Palette* poPalette,
                                     tdCompressionType eCompression, const tdRunContext* poRun, bool* pbBuilt)
{
    const bool bInterlaced = bSettingsInterlaced(poSettings);
    const tdWriterProfile oProfile = {eCompression, false, true};
    tdByteArray oPage0;
    tdByteArray oPage1;
    Palette oWorking;
    bool bHandled = false;
    const tdErrorTriple oError =
        oConvertImage(poImage, poSettings, &oProfile, poRecord ? &oPage0 : nullptr,
                      (poRecord && bInterlaced) ? &oPage1 : nullptr, ppoOut, &oWorking, &bHandled, poRun);
    if (pbBuilt) *pbBuilt = true;
    if (poRecord)
    {
        // An unknown screen mode gives a record whose stream holds only the end command.
        tdByteArray oStream;
        vBuildKRUCommandStream(poSettings, &oWorking, &oPage0, bInterlaced ? &oPage1 : nullptr, &oStream);
        const bool bBuilt = bBuildKRURecord(iKRUScreenClass(poSettings->ScreenMode), oStream.m_pucData,
                                            oStream.m_iSize, poSettings->KRUBlockSize, poRecord);
        if (pbBuilt) *pbBuilt = bBuilt;
    }
    if (bHandled) vHandOverPalette(poSettings, &oWorking, poPalette);
    return oError;
}

tdErrorTriple oWriteImageToKRUFile(const Image* poImage, const tdSettings* poSettings, FILE* poFile,
                                   Image** ppoOut, Palette* poPalette, tdCompressionType eCompression,
                                   const tdRunContext* poRun)
{
    tdByteArray oRecord;
    tdErrorTriple oError = oBuildKRURecordOfImage(poImage, poSettings, poFile ? &oRecord : nullptr, ppoOut,
                                                  poPalette, eCompression, poRun);
    if (poFile && oRecord.m_iSize > 0)
        fwrite(oRecord.m_pucData, 1, static_cast<size_t>(oRecord.m_iSize), poFile);
    return oError;
}

Image* poReadImageFromKRUFile(FILE*, const tdSettings*, Palette*)
{
    return nullptr;
}
