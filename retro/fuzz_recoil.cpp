// libFuzzer entry: byte 0 picks one of the extensions below, the remaining
// bytes are the file handed to RECOIL_Decode. Every decoded pixel is read, so a
// picture whose size and pixel array disagree shows up under AddressSanitizer.

#include "retro/recoil.h"

#include <cstddef>
#include <cstdint>

static const char* const g_apszFuzzNames[] = {
    "f.scr", "f.koa", "f.dd",  "f.art", "f.pi1", "f.pc1", "f.neo", "f.iff", "f.pcx", "f.mac",
    "f.img", "f.grp", "f.ge5", "f.ge6", "f.ge7", "f.ge8", "f.lbm", "f.spu", "f.spc",
};

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pucData, size_t uiSize);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pucData, size_t uiSize)
{
    if (uiSize < 1 || uiSize > 0x1000000) return 0;
    const size_t uiNames = sizeof(g_apszFuzzNames) / sizeof(g_apszFuzzNames[0]);
    RECOIL* poDecoder = RECOIL_New();
    if (RECOIL_Decode(poDecoder, g_apszFuzzNames[pucData[0] % uiNames], pucData + 1,
                      static_cast<int>(uiSize - 1)))
    {
        const int* piPixels = RECOIL_GetPixels(poDecoder);
        long long lCount = static_cast<long long>(RECOIL_GetWidth(poDecoder)) * RECOIL_GetHeight(poDecoder);
        volatile int iSum = 0;
        for (long long i = 0; i < lCount; i++)
            iSum = iSum + (piPixels[i] & 1);
    }
    RECOIL_Delete(poDecoder);
    return 0;
}
