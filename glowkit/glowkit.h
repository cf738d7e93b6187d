/* Display backlight control for programs on the device. The brightness is a level: 0 is off, 1 to 99 a
 * PWM duty (or, when the board file names a backlight class device, the level's share of its steps),
 * 100 full. Calls are not serialised: callers must not run InitBacklightCtrl and SetBrightness
 * from several threads at once; GetBrightness may be called from any thread at any time.
 *
 * The library is never unloaded before the process ends: dlclose leaves it in place, so a function
 * found with dlsym stays callable. A program may end while another of its threads is still calling:
 * calls that start while the process exits touch no register, and a call already under way finishes
 * on the registers it had. See glowkit(3). */
#ifndef GLOWKIT_GLOWKIT_H
#define GLOWKIT_GLOWKIT_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Maps the GPIO and timer registers (whichever are not mapped yet), starts the backlight timer, powers
 * the backlight on and adopts the level the hardware shows. Returns 1 on success, or at once when
 * already initialised; 0 when a register window could not be mapped (a later call retries the
 * missing one). */
int32_t InitBacklightCtrl(void);

/* Returns the stored level: -1 until InitBacklightCtrl has succeeded. Touches no register. */
int32_t GetBrightness(void);

/* Stores `level` (not clamped) and moves the backlight to it; returns the level stored before. Before a
 * successful InitBacklightCtrl it touches nothing, stores nothing and returns the stored level (-1). */
int32_t SetBrightness(int32_t level);

#ifdef __cplusplus
}
#endif

#endif
