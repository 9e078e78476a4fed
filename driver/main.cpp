// slscan: turns the turntable scan in ./cavalo into the point files
// pontos.txt and pontos_<angle>.txt. Takes no arguments.
#include "driver/scan.h"

int main() { return scanRun(); }
