// Input loading and library member import: finds every object file and
// library named on the command line or in the command files, reads and
// checks them, and then adds the library members that define the global
// symbols the link still lacks.

#include "linker.h"

#include "debugsw.h"
#include "pathinfo.h"
#include "samefile.h"

#include <iostream>
#include <set>

namespace {

// The candidate for a name in a search directory: no separator is added
// after a directory that already ends in one.
std::string inDirectory(const std::string &dir, const std::string &name)
{
    if (dir.empty() || dir.back() == '/' || dir.back() == '\\')
        return dir + name;
    return dir + "/" + name;
}

} // namespace

bool Linker::locateFiles(std::vector<std::string> &names, const std::vector<std::string> &dirs, std::string &err)
{
    // Replaces every name by the path under which it was found, as the
    // system opens it ('\\' separates directories like '/'); a name with a
    // directory part is looked for there alone.
    for (std::string &name : names) {
        PathInfo info(name);
        bool found = false;
        if (info.hasPath()) {
            found = info.fileExists();
            if (found)
                name = hostPath(name);
        } else {
            for (const std::string &dir : dirs) {
                std::string candidate = inDirectory(dir, name);
                if (PathInfo(candidate).fileExists()) {
                    name = hostPath(candidate);
                    found = true;
                    break;
                }
            }
        }
        if (!found) {
            err = "could not find file '" + name + "'.";
            return false;
        }
    }
    return true;
}

bool Linker::loadObjectFiles(std::string &err)
{
    // Fills cCoff with one checked object per name of cObjectFile.
    if (cObjectFile.empty()) {
        err = "no input object files specified.";
        return false;
    }
    // Object files are looked for on the library path, then here.
    std::vector<std::string> dirs(cLibPath.begin(), cLibPath.end());
    dirs.push_back(".");
    if (!locateFiles(cObjectFile, dirs, err))
        return false;
    for (const std::string &name : cObjectFile) {
        std::unique_ptr<Coff> coff(Coff::make(name));
        if (!coff || !coff->verify())
            return false;
        cCoff.push_back(std::move(coff));
    }
    return true;
}

bool Linker::loadLibraryFiles(std::string &err)
{
    // Fills cArchives; libraries are looked for on the library path only.
    std::vector<std::string> dirs(cLibPath.begin(), cLibPath.end());
    if (!locateFiles(cLibraryFile, dirs, err))
        return false;
    for (const std::string &name : cLibraryFile) {
        std::unique_ptr<Archive> archive(Archive::make(name));
        if (!archive)
            return false;
        cArchives.push_back(std::move(archive));
    }
    return true;
}

bool Linker::checkOutputFiles(std::string &err)
{
    // Reads the located inputs, the command files and the output names.
    (void)err;
    std::vector<std::string> inputs = cCommandFiles;
    inputs.insert(inputs.end(), cObjectFile.begin(), cObjectFile.end());
    inputs.insert(inputs.end(), cLibraryFile.begin(), cLibraryFile.end());
    std::vector<std::string> outputs = {cOutputFile};
    if (!cMapFile.empty())
        outputs.push_back(cMapFile);
    return ::checkOutputFiles("Linker::checkOutputFiles()", outputs, inputs);
}

namespace {

// The names a set of objects defines and references, and from them the
// names still undefined that some library could supply. Import takes one
// member at a time for the first such name, exactly as rescanning every
// object after each import would find it, but only the new member's
// symbols are read for each step.
class ImportState
{
public:
    explicit ImportState(const std::vector<std::unique_ptr<Archive>> &archives) : cArchives(archives) {}

    // Adds one object's external definitions and references. Auxiliary
    // slots are those the reader recorded as such, as in the libraries'
    // symbol indexes, so a member always defines what it was taken for.
    void add(const Coff &coff)
    {
        std::vector<std::string> refs;
        for (size_t i = 0; i < coff.cSymbols.size(); ++i) {
            if (coff.cAuxKind[i] != AUX_NONE)
                continue;
            const coff_syment &s = coff.cSymbols[i];
            if (Coff::isExternalDef(s)) {
                std::string name = Coff::getName(s, coff.cStrTbl);
                if (cDefined.insert(name).second) {
                    cUndefined.erase(name);
                    cSupplied.erase(name);
                }
            } else if (Coff::isExternalRef(s)) {
                refs.push_back(Coff::getName(s, coff.cStrTbl));
            }
        }
        // References are taken after the object's own definitions, which
        // meet them in the same pass.
        for (std::string &name : refs)
            if (!cDefined.count(name) && cUndefined.insert(name).second && supplier(name) != NONE)
                cSupplied.insert(std::move(name));
    }

    // The first undefined name that a library can supply, or empty.
    bool next(std::string &name, size_t &library)
    {
        while (!cSupplied.empty()) {
            name = *cSupplied.begin();
            library = supplier(name);
            if (library != NONE)
                return true;
            cSupplied.erase(cSupplied.begin());
        }
        return false;
    }

    // Records that the library's member for the name is now in the link.
    void imported(size_t library, const std::string &name)
    {
        cImported.insert({library, cArchives[library]->cSymbols.at(name)});
    }

private:
    static constexpr size_t NONE = SIZE_MAX;

    // The first library, in command order, whose member for the name is not
    // in the link yet. A member already imported never comes again.
    size_t supplier(const std::string &name) const
    {
        for (size_t i = 0; i < cArchives.size(); ++i)
            if (cArchives[i]->hasSymbol(name) && !cImported.count({i, cArchives[i]->cSymbols.at(name)}))
                return i;
        return NONE;
    }

    const std::vector<std::unique_ptr<Archive>> &cArchives;
    std::set<std::string> cDefined;
    std::set<std::string> cUndefined;
    std::set<std::string> cSupplied; // undefined names a library may supply
    std::set<std::pair<size_t, const Coff *>> cImported;
};

} // namespace

bool Linker::importLibraryMembers(std::string &err)
{
    // Appends to cCoff, after the object files and in the order taken, every
    // library member that defines a symbol still undefined. Each member is
    // checked like an object file before it joins the link.
    (void)err;
    if (cArchives.empty())
        return true;
    ImportState state(cArchives);
    for (const auto &coff : cCoff)
        state.add(*coff);

    std::string name;
    size_t library;
    while (state.next(name, library)) {
        const Archive &archive = *cArchives[library];
        std::unique_ptr<Coff> member(archive.copyMember(name));
        state.imported(library, name);
        if (debugLevel("Linker::importLibraryMembers"))
            std::cout << "Linker::importLibraryMembers() - imported library '" << archive.name()
                      << "', member '" << member->name() << "' for symbol '" << name << "'.\n";
        if (!member->verify())
            return false;
        state.add(*member);
        cCoff.push_back(std::move(member));
    }
    return true;
}
