#include "qev/base/sample_picture.h"

#include <cmath>

// Hue h (0..1) at full saturation and value as 8-bit RGB.
static Color oHue(double h)
{
    double r = std::fabs(h * 6.0 - 3.0) - 1.0;
    double g = 2.0 - std::fabs(h * 6.0 - 2.0);
    double b = 2.0 - std::fabs(h * 6.0 - 4.0);
    auto ucClamp = [](double f) {
        f = f < 0.0 ? 0.0 : (f > 1.0 ? 1.0 : f);
        return static_cast<unsigned char>(std::lround(f * 255.0));
    };
    return {ucClamp(r), ucClamp(g), ucClamp(b), 255};
}

Image* poCreateSamplePicture()
{
    const int iWidth = 320;
    const int iHeight = 240;
    Image* poImage = new Image(iWidth, iHeight, 3, Background_Black, 1.0);
    for (int y = 0; y < iHeight; y++)
    {
        for (int x = 0; x < iWidth; x++)
        {
            Color oColor;
            if (y < 120)
            {
                // Hue across, fading to white at the top and to black further down.
                Color oPure = oHue(x / static_cast<double>(iWidth));
                double t = y / 119.0;
                double fWhite = t < 0.5 ? 1.0 - 2.0 * t : 0.0;
                double fShade = t < 0.5 ? 1.0 : 1.0 - (t - 0.5) * 1.6;
                auto ucMix = [&](unsigned char c) {
                    return static_cast<unsigned char>(std::lround((c + (255 - c) * fWhite) * fShade));
                };
                oColor = {ucMix(oPure.r), ucMix(oPure.g), ucMix(oPure.b), 255};
            }
            else if (y < 150)
            {
                unsigned char ucGrey = static_cast<unsigned char>(x * 255 / (iWidth - 1));
                oColor = {ucGrey, ucGrey, ucGrey, 255};
            }
            else
            {
                // Eight colour bars behind three soft discs.
                static const Color aoBars[8] = {{255, 255, 255, 255}, {255, 255, 0, 255}, {0, 255, 255, 255},
                                                {0, 255, 0, 255},     {255, 0, 255, 255}, {255, 0, 0, 255},
                                                {0, 0, 255, 255},     {0, 0, 0, 255}};
                oColor = aoBars[x * 8 / iWidth];
                static const double afDiscs[3][3] = {{60.0, 195.0, 36.0}, {160.0, 195.0, 40.0}, {260.0, 195.0, 32.0}};
                for (int i = 0; i < 3; i++)
                {
                    double dx = x - afDiscs[i][0];
                    double dy = y - afDiscs[i][1];
                    double d = std::sqrt(dx * dx + dy * dy) / afDiscs[i][2];
                    if (d < 1.0)
                    {
                        Color oDisc = oHue(i / 3.0 + 0.1);
                        double fLight = 1.0 - d * d;
                        oColor = {static_cast<unsigned char>(oDisc.r * fLight + 40 * (1.0 - fLight)),
                                  static_cast<unsigned char>(oDisc.g * fLight + 40 * (1.0 - fLight)),
                                  static_cast<unsigned char>(oDisc.b * fLight + 40 * (1.0 - fLight)), 255};
                    }
                }
            }
            poImage->vSetPixel(x, y, &oColor);
        }
    }
    return poImage;
}
