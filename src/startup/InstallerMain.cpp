// Program entry: module initialisation (phase A), then the program body (phase B).
#include <windows.h>

#include "startup/StartupU.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return sf::RunInstaller(); }
