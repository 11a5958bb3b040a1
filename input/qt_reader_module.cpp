#include "input/qt_reader_module.h"

tdQtPictureReader pfnGetQtPictureReader(std::string*)
{
    return bReadPictureWithQt;
}
