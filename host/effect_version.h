/* The effect's version and capability words. Plain #defines so that the C++ sources and the
   resource script (run through the C preprocessor by windres) read the same numbers. */
#ifndef FXAA_EFFECT_VERSION_H
#define FXAA_EFFECT_VERSION_H

#define FXAA_MAJOR_VERSION 1
#define FXAA_MINOR_VERSION 1
#define FXAA_BUG_VERSION 0
#define FXAA_STAGE_VERSION 0 /* development */
#define FXAA_BUILD_VERSION 1

#define FXAA_STRINGIFY_(x) #x
#define FXAA_STRINGIFY(x) FXAA_STRINGIFY_(x)
/* "1.1.0": the product's version as every package, binary and installer names it. */
#define FXAA_VERSION_TEXT                                                            \
  FXAA_STRINGIFY(FXAA_MAJOR_VERSION) "." FXAA_STRINGIFY(FXAA_MINOR_VERSION) "." \
      FXAA_STRINGIFY(FXAA_BUG_VERSION)

/* Who makes it, as the About text and the Windows files' version resources say. */
#define FXAA_PRODUCT_NAME "FXAA"
#define FXAA_COMPANY_NAME "Corvella"
#define FXAA_COPYRIGHT "Copyright (c) 2026 Corvella. All rights reserved."

/* The host's packed version word for the numbers above. */
#define FXAA_VERSION_WORD 0x00088001

/* out_flags: PF_OutFlag_SEND_UPDATE_PARAMS_UI. */
#define FXAA_OUT_FLAGS 0x04000000
/* out_flags2: group-start-collapsed, smart render, float colour, threaded rendering. */
#define FXAA_OUT_FLAGS2 0x08001408

#endif
