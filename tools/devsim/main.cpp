#include "tools/devsim/BoardCommand.h"
#include "tools/common/CommandLine.h"
#include "tools/devsim/GpsSimulator.h"
#include "tools/devsim/GsmSimulator.h"

#include <cstdio>
#include <string_view>

namespace {

constexpr const char* Usage = "Usage: devsim gps|gsm|board [options]\n"
                              "\n"
                              "Simulated devices for trying the probes without the hardware:\n"
                              "  gps    a GPS receiver on a pseudo-terminal (for skyprobe, COM4)\n"
                              "  gsm    a GSM module on a pseudo-terminal (for cellprobe, COM1)\n"
                              "  board  the GPIO pins and the backlight as the register files show them\n"
                              "\n"
                              "'devsim COMMAND --help' describes each one.\n";

}

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fputs(Usage, stderr);
        return 2;
    }
    const std::string_view command = argv[1];
    CommandLine arguments(argc, argv, 2);
    if (command == "gps") {
        GpsSimulator simulator;
        return simulator.Main(arguments);
    }
    if (command == "gsm") {
        GsmSimulator simulator;
        return simulator.Main(arguments);
    }
    if (command == "board") {
        BoardCommand board;
        return board.Main(arguments);
    }
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(Usage, stdout);
        return 0;
    }
    std::fprintf(stderr, "devsim: unknown command \"%s\"\n%s", argv[1], Usage);
    return 2;
}
