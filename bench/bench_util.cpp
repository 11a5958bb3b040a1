#include "bench_util.h"

#include <algorithm>
#include <cmath>
#include <random>

Image* poPhotoLike(int iWidth, int iHeight, uint32_t uiSeed, int iNoise)
{
    Image* po = new Image(iWidth, iHeight, 3, Background_None, 1.0);
    uint32_t uiState = uiSeed * 2654435761u + 1;
    double fPhase = uiSeed * 0.7;
    for (int y = 0; y < iHeight; y++)
        for (int x = 0; x < iWidth; x++)
        {
            double afWave[3] = {
                sin(x * 0.031 + y * 0.012 + fPhase),
                sin(x * 0.011 - y * 0.027 + 2.0 * fPhase + 1.0),
                sin((x + y) * 0.019 + 3.0 * fPhase + 2.0) * cos(y * 0.023),
            };
            unsigned char auc[3];
            for (int c = 0; c < 3; c++)
            {
                uiState = uiState * 1664525u + 1013904223u;
                int iNoiseValue =
                    static_cast<int>((uiState >> 8) % static_cast<uint32_t>(iNoise + 1)) - iNoise / 2;
                int v = static_cast<int>(lround(127.5 + 127.5 * afWave[c])) + iNoiseValue;
                auc[c] = static_cast<unsigned char>(v < 0 ? 0 : (v > 255 ? 255 : v));
            }
            Color o = {auc[0], auc[1], auc[2], 255};
            po->vSetPixel(x, y, &o);
        }
    return po;
}

std::vector<unsigned char> aucScreen8PhotoLike(int iLength)
{
    std::mt19937 oRandom(1);
    std::uniform_real_distribution<double> oNoise(-0.6, 0.6);
    std::vector<unsigned char> auc(static_cast<size_t>(iLength));
    for (int i = 0; i < iLength; i++)
    {
        double fX = i % 256;
        double fY = i / 256;
        double fG = 3.5 + 3.4 * std::sin(fX / 40.0) * std::cos(fY / 30.0) + oNoise(oRandom);
        double fR = 3.5 + 3.4 * std::cos((fX + fY) / 55.0) + oNoise(oRandom);
        double fB = 1.5 + 1.4 * std::sin(fY / 20.0) + oNoise(oRandom) * 0.5;
        int iG = std::clamp(static_cast<int>(fG), 0, 7);
        int iR = std::clamp(static_cast<int>(fR), 0, 7);
        int iB = std::clamp(static_cast<int>(fB), 0, 3);
        auc[static_cast<size_t>(i)] = static_cast<unsigned char>((iG << 5) | (iR << 2) | iB);
    }
    return auc;
}
