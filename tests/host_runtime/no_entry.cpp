// A loadable library that is not an effect: it exports no EffectMain.
#include "host/host_api.h"

FXAA_EXPORT int NotAnEffect() { return 1; }
