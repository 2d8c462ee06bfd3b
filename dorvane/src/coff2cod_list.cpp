// The listing file: every source file named by a ".file" symbol, line by
// line, each line with the addresses, instruction words and disassembly of
// the code made from it, included files listed where they were included.
// Every listing line adds a line-info record to the COD model.
//
// The symbol table steers the listing: ".file" starts a source file (its
// auxiliary entry names it and gives the line of the including file),
// ".eof" ends it, and ".list"/".nolist" switch listing on or off from the
// line in their value. The per-line questions (is a directive or an
// include at this line?) are answered through indexes built once, so the
// listing stays linear in the size of the program.

#include "coff2cod.h"

#include "debugsw.h"
#include "diag.h"
#include "mginst.h"
#include "safefile.h"
#include "textio.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <set>

namespace {

// The next line of a text from pos, moving pos past it: the characters up
// to a line feed or the text's end, one carriage return before the line
// feed dropped. False at the end of the text.
bool nextLine(const std::string &text, size_t &pos, std::string &line)
{
    if (pos >= text.size())
        return false;
    size_t end = text.find('\n', pos);
    if (end == std::string::npos)
        end = text.size();
    line.assign(text, pos, end - pos);
    pos = end < text.size() ? end + 1 : end;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return true;
}

// Opening a source fails for the run, not for the file, when the process
// has run out of descriptors or memory.
bool outOfResources(int error) { return error == EMFILE || error == ENFILE || error == ENOMEM; }

// The name a ".file" symbol gives, as a path: either separator may stand.
std::string sourcePath(std::string name)
{
    std::replace(name.begin(), name.end(), '\\', '/');
    return name;
}

const std::string COLUMN_HEADER = "Address  Value    Disassembly              Source" + std::string(75, ' ') + "File";
const std::string COLUMN_RULE =
    "-------  -------  " + std::string(23, '-') + "  " + std::string(79, '-') + "  -----";

// Writes the text and blanks up to the width.
void writePadded(std::ostream &out, const std::string &text, size_t width)
{
    static const std::string blanks(80, ' ');
    out << text;
    for (size_t n = text.size(); n < width; n += blanks.size())
        out.write(blanks.data(), std::streamsize(std::min(blanks.size(), width - n)));
}

const std::string NOTHING;

std::string hexDigits(uint32_t value, int width)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*lx", width, static_cast<unsigned long>(value));
    return buf;
}

// A symbol's name without ending the program over a bad string offset.
std::string slotName(const coff_syment &sym, const StrTbl &strTbl)
{
    if (!sym.hasLongName())
        return inlineName(sym._n_name);
    auto it = strTbl.find(int32_t(sym._n_offset()));
    return it == strTbl.end() ? std::string() : it->second;
}

} // namespace

// One source file being listed.
struct Coff2Cod::SourceFile
{
    size_t symbol = 0;  // slot of its ".file" symbol
    int fileNum = -1;   // its file number, -1 when the COD file has none for it
    std::string name;   // as the ".file" symbol names it
    std::shared_ptr<const std::string> text;
    size_t next = 0;     // where the next line to list begins
    uint32_t lineNo = 0; // the line number of the line listed last
    uint8_t skip = 1;    // words left of the current instruction, plus one
};

void Coff2Cod::indexSymbols()
{
    const Coff &coff = *cCoff;
    const size_t n = coff.cSymbols.size();
    cSlotKind.assign(n, SLOT_OTHER);
    cDirectives.clear();
    for (size_t i = 0; i < n; ++i) {
        if (i < coff.cAuxKind.size() && coff.cAuxKind[i] != AUX_NONE) {
            cSlotKind[i] = SLOT_AUX;
            continue;
        }
        std::string name = slotName(coff.cSymbols[i], coff.cStrTbl);
        if (name == ".file")
            cSlotKind[i] = SLOT_FILE;
        else if (name == ".eof")
            cSlotKind[i] = SLOT_EOF;
        else if (name == ".list" || name == ".nolist") {
            cSlotKind[i] = name == ".list" ? SLOT_LIST : SLOT_NOLIST;
            cDirectives[coff.cSymbols[i].n_value].push_back(i);
        }
    }
    cNextBoundary.assign(n, n);
    for (size_t i = n; i-- > 0;) {
        bool boundary = cSlotKind[i] == SLOT_FILE || cSlotKind[i] == SLOT_EOF;
        cNextBoundary[i] = boundary ? i : (i + 1 < n ? cNextBoundary[i + 1] : n);
    }
}

bool Coff2Cod::createListFile(const Coff &coff)
{
    cCoff = &coff;
    std::string name = listFileName(coff.cName);
    SafeFile file;
    std::string err;
    if (!file.open(name, err)) {
        report(SEV_ERROR, "Coff2Cod::createListFile()", "Could not open list file '" + name + "' for writing.", false);
        return false;
    }
    cListFile = &file.stream();
    if (cDirectory.empty())
        addDirectory();
    indexSymbols();

    writePageHeader(true);
    size_t index = 0;
    cSourceFailure.clear();
    while (cSourceFailure.empty() && findNextFile(index)) {
        cListingOn = true;
        doNextFile(index);
    }

    cListFile = nullptr;
    cSourceTexts.clear();
    cLastSourceText.reset();
    // A source that could not be opened for want of descriptors or memory
    // leaves no listing; what the listing held is given back before the
    // message is written.
    if (!cSourceFailure.empty()) {
        file.discard();
        report(SEV_ERROR, "Coff2Cod::doNextFile()", cSourceFailure, false);
        return false;
    }
    if (!file.commit(err)) {
        report(SEV_ERROR, "Coff2Cod::createListFile()", "Could not write list file '" + name + "': " + err + ".",
               false);
        return false;
    }
    return true;
}

std::vector<std::string> Coff2Cod::listedSources(const Coff &coff)
{
    cCoff = &coff;
    indexSymbols();
    std::vector<std::string> names;
    std::set<std::string> seen;
    for (size_t i = 0; i < cSlotKind.size(); ++i) {
        std::string name = cSlotKind[i] == SLOT_FILE ? sourcePath(sourceFileName(i)) : "";
        if (!name.empty() && seen.insert(name).second)
            names.push_back(name);
    }
    return names;
}

bool Coff2Cod::findNextFile(size_t &index) const
{
    while (index + 1 < cSlotKind.size()) {
        if (cSlotKind[index] == SLOT_FILE)
            return true;
        ++index;
    }
    return false;
}

void Coff2Cod::skipToEndOfFile(size_t &index) const
{
    while (index + 1 < cSlotKind.size()) {
        if (cSlotKind[index++] == SLOT_EOF)
            return;
    }
}

void Coff2Cod::applyListDirective(size_t index, uint32_t line)
{
    auto directives = cDirectives.find(line);
    if (directives == cDirectives.end() || index >= cSlotKind.size())
        return;
    // The first directive for this line between the index and the end of
    // the current file's own symbols.
    const std::vector<size_t> &slots = directives->second;
    auto first = std::lower_bound(slots.begin(), slots.end(), index);
    if (first != slots.end() && *first < cNextBoundary[index])
        cListingOn = cSlotKind[*first] == SLOT_LIST;
}

bool Coff2Cod::hasInclude(size_t index, uint32_t line) const
{
    if (debugLevel("Coff2Cod::hasInclude"))
        std::cout << "Coff2Cod::hasInclude() - index=" << index << " line=" << line << '\n';
    if (index >= cSlotKind.size())
        return false;
    size_t next = cNextBoundary[index];
    if (next >= cSlotKind.size() || cSlotKind[next] != SLOT_FILE)
        return false;
    uint32_t incline = includeLine(next);
    bool found = incline == line || (incline == 0 && next == index);
    if (found && debugLevel("Coff2Cod::hasInclude"))
        std::cout << "Coff2Cod::hasInclude() - found index=" << index << " line=" << line << '\n';
    return found;
}

std::shared_ptr<const std::string> Coff2Cod::sourceText(const std::string &path, int &error)
{
    // A source named again while it is still listed (an include of itself)
    // or right after it ended is not read again: memory holds one copy.
    error = 0;
    std::weak_ptr<const std::string> &kept = cSourceTexts[path];
    if (std::shared_ptr<const std::string> text = kept.lock())
        return text;
    auto text = std::make_shared<std::string>();
    if (!readRegularFile(path, *text, &error))
        return nullptr;
    kept = text;
    return text;
}

bool Coff2Cod::enterFile(size_t &index, std::vector<SourceFile> &stack)
{
    SourceFile file;
    file.symbol = index;
    file.name = sourceFileName(index);
    auto num = cFileNum.find(uint32_t(index));
    if (num != cFileNum.end())
        file.fileNum = num->second;

    int error = 0;
    file.text = sourceText(sourcePath(file.name), error);
    if (!file.text) {
        ++index;
        if (outOfResources(error)) {
            cSourceFailure = "Could not open source file '" + file.name + "': " + std::strerror(error) + ".";
            return false;
        }
        report(SEV_WARNING, "Coff2Cod::doNextFile()",
               "Could not open source file '" + file.name + "'.\nThis file will not be present in the list file.",
               false);
        return false;
    }
    index += 2;
    stack.push_back(std::move(file));
    return true;
}

bool Coff2Cod::doNextFile(size_t &index)
{
    if (!findNextFile(index))
        return true;
    // Included files are listed through a stack of open files rather than
    // by recursion, so no depth of nesting can exhaust the program's stack.
    std::vector<SourceFile> stack;
    if (!enterFile(index, stack))
        return false;
    std::string text;
    while (!stack.empty() && cSourceFailure.empty()) {
        SourceFile &file = stack.back();
        if (!nextLine(*file.text, file.next, text)) {
            // The text stays until the next file ends, so a source named
            // again right after it is not read again.
            cLastSourceText = std::move(file.text);
            stack.pop_back();
            skipToEndOfFile(index);
            continue;
        }
        ++file.lineNo;
        applyListDirective(index, file.lineNo);
        if (cListingOn)
            listLine(file, text);
        // An included file is listed completely before the next line.
        if (hasInclude(index, file.lineNo) && findNextFile(index))
            enterFile(index, stack);
    }
    return cSourceFailure.empty();
}

void Coff2Cod::addLineInfo(const SourceFile &file, uint32_t directory, const LineInfo &info)
{
    if (file.fileNum < 0)
        return;
    if (directory >= cDirectory.size())
        directory = 0;
    storeLineInfo(directory, info);
}

void Coff2Cod::listLine(SourceFile &file, const std::string &text)
{
    const Coff &coff = *cCoff;
    const uint8_t fileNum = uint8_t(std::max(file.fileNum, 0));
    const uint16_t lineNo = uint16_t(file.lineNo);

    const std::vector<LstLine> *records = nullptr;
    auto byFile = cLine.find(uint32_t(file.symbol));
    if (byFile != cLine.end() && file.lineNo <= 0xFFFF) {
        auto byLine = byFile->second.find(lineNo);
        if (byLine != byFile->second.end() && !byLine->second.empty())
            records = &byLine->second;
    }

    if (!records) {
        addLineInfo(file, 0, LineInfo(fileNum, COD_LINE_NOCODE, lineNo, 0));
        writeRow("", "", "", text, file.name);
        nextListLine();
        return;
    }

    bool first = true;
    for (const LstLine &record : *records) {
        const uint32_t a = record.cEntry.l_paddr;
        // The instruction word and the one after it, read only inside the
        // section's raw data; missing bytes read as 0.
        uint16_t word = 0;
        uint16_t word2 = 0;
        auto hdr = coff.cScnHdr.find(record.cSection);
        auto raw = coff.cRawData.find(record.cSection);
        if (hdr != coff.cScnHdr.end() && raw != coff.cRawData.end()) {
            const int64_t size = raw->second.size();
            const Data &bytes = raw->second; // zero fill is read without being built
            const int64_t offset = (int64_t(a) - int64_t(hdr->second.s_paddr)) * int64_t(cWordBytes);
            auto byteAt = [&](int64_t at) -> uint16_t { return at >= 0 ? bytes.at(uint64_t(at)) : 0; };
            word = uint16_t(byteAt(offset) | byteAt(offset + 1) << 8);
            if (offset + 2 < size)
                word2 = uint16_t(byteAt(offset + 2) | byteAt(offset + 3) << 8);
        }

        addLineInfo(file, a / (COD_WINDOW_SIZE / cWordBytes),
                    LineInfo(fileNum, first ? COD_LINE_FIRST : COD_LINE_MORE, lineNo, uint16_t(a)));

        std::string disassembly;
        if (file.skip > 0)
            --file.skip;
        if (file.skip == 0) {
            if (inst_is_valid(word, cFamily)) {
                uint8_t count = 1;
                disassembly = inst_disassemble(a, word, word2, count, cFamily);
                file.skip = count;
            } else {
                disassembly = "??? Illegal Opcode";
            }
        }

        writeRow(hexDigits(a, 6), hexDigits(word, 4), disassembly, first ? text : NOTHING, first ? file.name : NOTHING);
        nextListLine();
        first = false;
    }
}

void Coff2Cod::writeRow(const std::string &address, const std::string &value, const std::string &disassembly,
                        const std::string &source, const std::string &fileName)
{
    std::ostream &out = *cListFile;
    writePadded(out, address, 6);
    out << "   ";
    writePadded(out, value, 6);
    out << "   ";
    writePadded(out, disassembly, 24);
    out << ' ';
    writePadded(out, source, 80);
    out << ' ' << fileName << '\n';
}

void Coff2Cod::nextListLine()
{
    ++cLineCount;
    if (cPageLength != 0 && cLineCount % cPageLength == 0)
        writePageHeader(false);
}

void Coff2Cod::writePageHeader(bool firstPage)
{
    std::ostream &out = *cListFile;
    // Every header line is a line of the listing the debugger counts.
    auto headerLine = [this]() { storeLineInfo(0, LineInfo(0, COD_LINE_HEADER, 1, 0)); };

    if (firstPage)
        cListTime = now();
    else
        out << "\f\n";
    headerLine();
    out << codConverterBanner() << '\n';
    headerLine();
    out << noticeBanner() << '\n';
    headerLine();
    out << "Listing File Generated: " << formatLocalTime(cListTime, "%a %b %e %H:%M:%S %Y") << "\n\n";
    headerLine();
    headerLine();
    out << '\n';
    headerLine();
    out << COLUMN_HEADER << '\n';
    headerLine();
    out << COLUMN_RULE << '\n';
    headerLine();
}
