/* A C program on the device using both libraries through their public headers and plain linking.
 * Without arguments it checks what they do: exit 0 when every check holds, else 1 with the failed check.
 * With "exit-race RUNS" it forks RUNS children that each return from main while a thread of theirs is
 * still calling both libraries, so they are unloaded under it; it exits 1 when any child crashed, hung
 * or failed. */
#define _POSIX_C_SOURCE 200809L

#include "glowkit/glowkit.h"
#include "pinbank/pinbank.h"

#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static int failures = 0;

static void Check(int condition, const char* what)
{
    if (!condition) {
        fprintf(stderr, "failed: %s\n", what);
        ++failures;
    }
}

static int CheckBothLibraries(void)
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

static void* CallForever(void* unused)
{
    (void)unused;
    for (int i = 0;; ++i) {
        SetGPOutput(55, i & 1);
        (void)GetGPInput(1);
        SetBrightness(1 + i % 99);
        (void)GetBrightness();
    }
    return NULL;
}

/* Reads the level while the worker sets it, then leaves main with the worker still calling. A child that
 * hangs on its way out is ended by the alarm and counted, rather than stalling the whole loop. */
static int ReturnWhileAThreadCalls(void)
{
    alarm(20);
    if (InitBacklightCtrl() != 1)
        return 3;
    pthread_t worker;
    if (pthread_create(&worker, NULL, CallForever, NULL) != 0)
        return 4;
    pthread_detach(worker);
    struct timespec start, now;
    clock_gettime(CLOCK_MONOTONIC, &start);
    do {
        (void)GetBrightness();
        clock_gettime(CLOCK_MONOTONIC, &now);
    } while ((now.tv_sec - start.tv_sec) * 1000000000L + (now.tv_nsec - start.tv_nsec) < 1000000L);
    return 0;
}

int main(int argc, char** argv)
{
    if (argc != 3 || strcmp(argv[1], "exit-race") != 0)
        return CheckBothLibraries();

    const int runs = atoi(argv[2]);
    int unclean = 0;
    for (int run = 0; run < runs; ++run) {
        const pid_t child = fork();
        if (child == 0)
            return ReturnWhileAThreadCalls();
        int status = 0;
        if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
            ++unclean;
    }
    printf("%d of %d runs did not exit cleanly\n", unclean, runs);
    return unclean == 0 ? 0 : 1;
}
