#include "Startup.h"

int main(int argc, char* argv[])
{
    return whois::app::RunProgram(argc, argv);
}
