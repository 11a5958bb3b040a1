#pragma once

// Where the Qt picture reader comes from: a module (libqevqtreader.so) loaded on
// the first picture that needs it, so that programs reading only PNG, JPEG, MSX
// and retro files never map Qt. It is looked for beside the running program,
// in ../lib/qev (an installation) and where the build wrote it.

#include "input/qt_picture_reader.h"

#include <string>

// The Qt reader, or null with *psError saying why it could not be loaded. Loads
// the module once per process; safe to call from any thread.
tdQtPictureReader pfnGetQtPictureReader(std::string* psError);
