/* GPIO access for programs on the device: four inputs (pins 0 to 3) and nine outputs (pins 50 to 58).
 *
 * When it is loaded the library reaches the lines, nothing has to be called first: through the kernel's
 * GPIO character device when the board file /etc/deviceprobe/board.conf names them, else by mapping
 * the GPIO registers. Calls are not serialised: callers that drive lines of one port from several
 * threads must take turns themselves.
 * Neither function reports errors.
 *
 * The library is never unloaded before the process ends: dlclose leaves it in place, so a function
 * found with dlsym stays callable. A program may end while another of its threads is still calling:
 * calls that start while the process exits read 0 and drive nothing, and a call already under way
 * finishes on the registers it had. See pinbank(3). */
#ifndef PINBANK_PINBANK_H
#define PINBANK_PINBANK_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Returns 1 when the line behind `pin` is high and 0 when it is low. Pins 0 to 3 are put into input
 * mode before every read; pins 50 to 58 are read as they stand, so a driven output reads back its
 * level. An unknown pin, or registers that could not be mapped at load, also give 0. */
int32_t GetGPInput(int32_t pin);

/* Makes the line behind output pin 50 to 58 an output and drives it high when `level` is non-zero,
 * low when it is zero. Any other pin, or registers that could not be mapped at load, do nothing. */
void SetGPOutput(int32_t pin, int32_t level);

#ifdef __cplusplus
}
#endif

#endif
