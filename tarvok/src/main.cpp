// The linker's entry point: start-up, the command line and command files,
// the link run, and the count summary that ends the process with its code.

#include "debugsw.h"
#include "diag.h"
#include "linker.h"
#include "parser.h"

#include <cstdio>
#include <iostream>
#include <string>

namespace {

// The trace switches that the master switch "debug" turns on, in order.
const char *const TRACE_SWITCHES[] = {
    "Coff::preWrite",
    "Linker::mapSections",
    "Linker::allocateAbsAssigned",
    "Linker::allocateAbsUnassigned",
    "Linker::allocateRelUnassigned",
    "Linker::allocateRelAssigned",
    "Linker::relocateSymbols",
    "Linker::relocateLineInfo",
    "Coff::fixupAuxFcns",
    "Linker::mergeStringTbls",
    "Linker::replaceStringTbl",
    "Linker::importLibraryMembers",
    "Linker::buildExtSymDef",
    "Linker::resolveExternals",
    "Linker::print",
    "Linker::patchSections",
    "Linker::doPatchCore16E",
    "Linker::doPatchCore16",
    "Linker::doPatchCore12",
    "Linker::doPatchCore14",
    "Linker::doPatch",
    "Linker::buildOutputScnNum",
    "Linker::buildOutputSymbolTbl",
    "Linker::buildOutputRawData",
    "Linker::buildOutputLineInfo",
    "Linker::buildOutputHole",
    "MapFile::write",
};

} // namespace

int main(int argc, char **argv)
{
    // The delivered program traces nothing: "debug" is cleared first, which
    // leaves the hooks below inert.
    setDebugSwitch("debug", 0);
    startUp(argc, argv, linkerBanner());
    const bool debug = debugLevel("debug") != 0;
    if (debug)
        for (const char *name : TRACE_SWITCHES)
            setDebugSwitch(name, 1);

    Linker linker;
    Parser parser;

    if (debug)
        for (int i = 0; i < argc; ++i)
            std::printf("_tarvok: argv[%d]='%s'\n", i, argv[i] ? argv[i] : "");

    // Every command-line or command-file error ends the process in here.
    parser.parseCommandLine(argc, argv, linker);
    linker.setCommandFiles(parser.getCommandFiles());

    std::string err;
    bool linked = linker.link(err);
    if (debug)
        linker.print(std::cout);
    if (linked)
        summary(0);
    if (!err.empty())
        report(SEV_ERROR, "main()", err, false);
    summary(1);
}
