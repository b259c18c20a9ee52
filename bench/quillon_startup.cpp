// The program's start-up as quillon runs it (same entry, same libraries), reporting when its main window is
// shown and idle.

#include "UApplication.h"
#include "UDavaroroFirmWare.h"
#include "UIdle_Probe.h"

int main(int argc, char *argv[])
{
    return Run_Program(argc, argv, [](DIRevevoriVezaDiva &window) { new TIdle_Probe(&window); });
}
