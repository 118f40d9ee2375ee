// pagelift: without a conversion on its command line, the Zoziv Pagelift
// window; with one, the same conversion pliftcmd runs.

#include "app/program_start.h"
#include "ui/window/window_program.h"

int main(int argc, char** argv)
{
    const pagelift::CommandLineStart start = pagelift::startFromCommandLine(argc, argv, "pagelift");
    if (start.handled) return start.exitCode;
    return pagelift::window::runWindowProgram(argc, argv, start.jobs, start.decode);
}
