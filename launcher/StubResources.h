// The resources of the launcher stub besides its payload: the dialog
// template both dialogs are built on, its controls, the logo and the icon.
// The resource script and the code take their names from here.
#ifndef VEL_LAUNCHER_STUBRESOURCES_H
#define VEL_LAUNCHER_STUBRESOURCES_H

#define STUB_DIALOG AUTO_IST
#define STUB_LOGO VEL_L
#define STUB_ICON G_ICON
#define STUB_LOGO_CONTROL 10
#define STUB_TEXT_CONTROL 20  // the confirmation text, or the extraction's status
#define STUB_PROGRESS_CONTROL 30  // the extraction's bar, made at run time

#ifndef RC_INVOKED

#include "archive/CtFormat.h"  // CT_TEXT

const char kStubDialog[] = CT_TEXT(STUB_DIALOG);
const char kStubIcon[] = CT_TEXT(STUB_ICON);

#endif  // RC_INVOKED

#endif
