// probecheck: one command per device that gives a verdict, an exit status and a record a machine can
// read, for test rigs, production lines and hardware-in-the-loop CI.

#include "tools/common/CommandLine.h"
#include "tools/probecheck/BacklightCheck.h"
#include "tools/probecheck/GpioCheck.h"
#include "tools/probecheck/GpsCheck.h"
#include "tools/probecheck/GsmCheck.h"

#include <cstdio>
#include <string_view>

namespace {

constexpr const char* Usage
    = "Usage: probecheck gps|gsm|gpio|backlight [options]\n"
      "\n"
      "Pass/fail checks of the device's GPS receiver, GSM module, GPIO lines and\n"
      "backlight, for test rigs and production lines:\n"
      "  gps        a valid fix with enough satellites and a small HDOP in time (COM4)\n"
      "  gsm        the module starts up and reports a signal; optionally a call (COM1)\n"
      "  gpio       outputs driven, inputs read as expected (through libpinbank)\n"
      "  backlight  each brightness level reads back and is in the registers\n"
      "             (through libglowkit)\n"
      "\n"
      "Every check takes --json (one JSON object on one line instead of the summary)\n"
      "and --device PATH (another device than the programs use); progress goes to\n"
      "standard error. 'probecheck CHECK --help' describes each one.\n"
      "\n"
      "Exit status: 0 pass, 1 fail, 2 could not run (bad option; device missing, busy\n"
      "or lost; interrupted).\n";

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fputs(Usage, stderr);
        return 2;
    }
    const std::string_view check = argv[1];
    CommandLine arguments(argc, argv, 2);
    if (check == "gps")
        return GpsCheck().Main(arguments);
    if (check == "gsm")
        return GsmCheck().Main(arguments);
    if (check == "gpio")
        return GpioCheck().Main(arguments);
    if (check == "backlight")
        return BacklightCheck().Main(arguments);
    if (check == "--help" || check == "-h" || check == "help") {
        std::fputs(Usage, stdout);
        return 0;
    }
    std::fprintf(stderr, "probecheck: unknown check \"%s\"\n%s", argv[1], Usage);
    return 2;
}
