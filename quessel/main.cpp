// Librarian entry point: start-up, one command from the command line, and
// the count summary with exit code 0 when the command succeeded, else 1.

#include "archiver.h"
#include "arparser.h"
#include "diag.h"

int main(int argc, char **argv)
{
    startUp(argc, argv, librarianBanner());
    Archiver archiver;
    ArParser parser;
    parser.parse(argc, argv, archiver);
    summary(archiver.run() ? 0 : 1);
}
