#pragma once

#include <QString>

// The About box's text: version, source revision, build date and kind, the
// libraries' versions and licences.
QString sAboutText();

// Opens an About box that deletes itself when closed; it does not block.
void vShowAboutBox();
