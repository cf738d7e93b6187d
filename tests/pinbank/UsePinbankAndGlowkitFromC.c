/* A C program on the device using both libraries through their public headers and plain linking.
 * Exits 0 when every check holds, else prints the failed check and exits 1. */
#include "glowkit/glowkit.h"
#include "pinbank/pinbank.h"

#include <stdio.h>

static int failures = 0;

static void Check(int condition, const char* what)
{
    if (!condition) {
        fprintf(stderr, "failed: %s\n", what);
        ++failures;
    }
}

int main(void)
{
    SetGPOutput(54, 1);
    Check(GetGPInput(54) == 1, "output 54 reads back high");
    SetGPOutput(54, 0);
    Check(GetGPInput(54) == 0, "output 54 reads back low");
    Check(GetGPInput(4) == 0, "pin 4 is unknown and reads 0");

    Check(GetBrightness() == -1, "level is -1 before initialisation");
    Check(InitBacklightCtrl() == 1, "initialisation succeeds");
    Check(GetBrightness() == 100, "a fresh board (compare 0) is adopted as full brightness");
    Check(SetBrightness(40) == 100, "SetBrightness returns the previous level");
    Check(GetBrightness() == 40, "GetBrightness returns 40");
    Check(GetGPInput(54) == 1, "the backlight power enable is output 54");
    return failures == 0 ? 0 : 1;
}
