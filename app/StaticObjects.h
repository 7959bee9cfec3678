// The objects that exist before the entry point runs, created in this order:
// the static group "Groupe des BMPs", the log channel "VelPassLogMess", then
// the shared drawing values of PALETTE. The group and the channel are taken
// down at process exit; the drawing values are released with the main
// window object.
//
// The order is fixed across the whole program with init_priority: these come
// before every statically initialised object of ordinary priority, in the
// order of their priorities below (the palette's is in framework/Palette.h).
// Every program built on the application layer links them, referred to or
// not (app/CMakeLists.txt).
#ifndef VEL_APP_STATICOBJECTS_H
#define VEL_APP_STATICOBJECTS_H

#include "app/AppliMsg.h"
#include "framework/Objet.h"
#include "framework/Palette.h"

#define VEL_INIT_PRIORITY_GROUP 1000
#define VEL_INIT_PRIORITY_LOG_CHANNEL 1010
static_assert(VEL_INIT_PRIORITY_LOG_CHANNEL < VEL_INIT_PRIORITY_PALETTE,
              "the drawing values come last");

extern AUTO_OBJET BmpGroup;        // "Groupe des BMPs"; stays empty
extern HWND_REC_LOG LogChannel;    // "VelPassLogMess"

#endif
