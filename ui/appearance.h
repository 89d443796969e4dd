// The program's look on the desktop: its own icon (drawn, so that every size
// is sharp) and the toolkit's own Japanese texts for its standard dialogs.
#pragma once

#include <QIcon>
#include <QImage>

class QCoreApplication;

// The program's icon at size x size pixels: three translucent discs, red,
// green and blue, adding up where they overlap, on a dark rounded square.
QImage KWIconImage(int size);
// The icon at the usual window and desktop sizes.
QIcon KWProgramIcon();
// Makes the icon every window's icon and loads the toolkit's Japanese
// translation (file dialogs, message box buttons) into app.  Once per
// application; false when the translation was not found (the toolkit
// speaks English then).
bool KWApplyProgramLook(QCoreApplication* app);
