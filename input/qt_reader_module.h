#pragma once

// Where the Qt picture reader comes from.

#include "input/qt_picture_reader.h"

#include <string>

// The Qt reader, or null with *psError saying why it is not available.
tdQtPictureReader pfnGetQtPictureReader(std::string* psError);
