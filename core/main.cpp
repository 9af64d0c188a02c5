/* Quotarion's entry point. */
#include "core/app.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand)
{
    (void)previous;
    (void)commandLine;
    return AppMain(instance, showCommand);
}
