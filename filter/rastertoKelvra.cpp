// rastertoKelvra: CUPS filter for the Kelvra and Mirodel monochrome laser printers.
#include "filter/job.h"

int main(int argc, char *argv[]) { return RunFilter(argc, argv); }
