// The ids of the program's icon and bitmaps: the resource script compiles the files under these
// ids, and the window and the panel load them by the same names. Plain macros, since the
// resource compiler reads this file too.
#pragma once

#define VEZ15_ICON 100               // window class, tray icon, response window
#define VEZ15_BITMAP_MENU_POWER 110  // mark of the "Shut Down GEQ15" menu items
#define VEZ15_BITMAP_SKIN 200
#define VEZ15_BITMAP_KNOB 201
#define VEZ15_BITMAP_METER_UNLIT 210
#define VEZ15_BITMAP_METER_LIT 211
#define VEZ15_BITMAP_BYPASS_OFF 212
#define VEZ15_BITMAP_BYPASS_ON 213
