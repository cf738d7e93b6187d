// probecheck: verdicts on a unit's devices for test rigs, production lines and hardware-in-the-loop CI:
// a record per check, an exit status for the whole call.

#include "tools/probecheck/UnitCall.h"

int main(int argc, char** argv)
{
    return UnitCall().Main(argc, argv);
}
