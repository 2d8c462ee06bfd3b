// COD converter entry point (the command line is not read yet).

#include "diag.h"

int main(int argc, char **argv)
{
    startUp(argc, argv, codConverterBanner());
    summary(0);
}
