#include "app/StaticObjects.h"

AUTO_OBJET BmpGroup __attribute__((init_priority(VEL_INIT_PRIORITY_GROUP)))(
    nullptr, "Groupe des BMPs");
HWND_REC_LOG LogChannel __attribute__((init_priority(VEL_INIT_PRIORITY_LOG_CHANNEL)));
