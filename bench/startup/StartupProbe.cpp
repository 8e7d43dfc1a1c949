// The real program's start-up, up to its first shown window, then a normal shutdown.
#include "MainWindow.h"
#include "ProbeReport.h"
#include "Startup.h"

int main(int argc, char* argv[])
{
    return whois::app::RunProgram(argc, argv, [](whois::app::MainWindow& window) {
        ReportWindowShown();
        window.close();
    });
}
