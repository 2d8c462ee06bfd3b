// The messages page (docs/messages.md) against the programs' sources: every
// message text in the code must stand on the page, so no message can be
// added without its entry.
//
// A message text is a string literal of the programs' sources (common/,
// tarvok/src/, skellan/, dorvane/src/, quessel/) that holds at least two
// words, outside what only a developer sees: statements and blocks behind a
// debug switch (a condition that names debugLevel or a trace flag), the
// bodies of print, dump and trace functions, and text streamed into a file
// rather than to the console. Its words, with the quotes, blanks and
// punctuation around them dropped and every run of blanks read as one, must
// appear on the page, whose blanks and line ends are read the same way.
#include "tooltest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The names of what only a developer sees: debug switches, trace flags,
// print, dump and trace functions, assertions.
const std::regex DEBUG_WORD(R"(\b(debug\w*|print|trace\w*|dump\w*|\w+Trace|\w+Dump|SUITE_ASSERT)\b)");

// Texts of the sources that are no messages: file, and the text's beginning
// (empty for all the file's texts).
const std::vector<std::pair<std::string, std::string>> NOT_MESSAGES = {
    {"tarvok/src/mapfile.cpp", "Symbols - Sorted by"},       // the map's headings (docs/outputs.md)
    {"dorvane/src/coff2cod_list.cpp", "Address Value"},      // the listing's column header
    {"dorvane/src/coff2cod_list.cpp", "??? Illegal Opcode"}, // the listing's text for no instruction
    {"dorvane/src/cod_read.cpp", ""},                        // the COD reader, which only the tests run
    {"dorvane/src/cod_dump.cpp", ""},                        // the COD dump, for traces and tests
    {"common/coff_print.cpp", ""},                           // the Coff dump, for traces
    {"common/diag.cpp", "VONTREL"},                          // banners of tools outside the suite
    {"common/diag.cpp", "MARRISH"},
    {"common/diag.cpp", "OSTRANE"},
    {"common/diag.cpp", "Assertion failed: %s"},             // the page names its parts
    {"tarvok/src/patch_core12.cpp", "RELOCT_"},              // a patcher's trace when it writes nothing
    {"tarvok/src/patch_core14.cpp", "RELOCT_"},
};

struct Literal
{
    int line;
    std::string text;
};

// The source cut to its code: comments and preprocessor lines dropped (line
// ends kept), each string literal replaced by "@N@", N its place in
// `literals`, and each character literal by 0, so that no bracket of the
// code stands inside a literal.
std::string cutToCode(const std::string &source, std::vector<Literal> &literals)
{
    static const std::regex PIECE(
        R"re(//[^\n]*|/\*[\s\S]*?\*/|\n[ \t]*#(\\\n|[^\n])*|"(\\.|[^"\\\n])*"|'(\\.|[^'\\\n])*')re");
    const std::string s = "\n" + source; // a preprocessor line begins after a line end
    std::string code;
    size_t at = 0;
    for (std::sregex_iterator m(s.begin(), s.end(), PIECE), end; m != end; ++m) {
        code += s.substr(at, size_t(m->position()) - at);
        at = size_t(m->position() + m->length());
        const std::string piece = m->str();
        if (piece[0] == '"') {
            std::string text;
            for (size_t i = 1; i + 1 < piece.size(); ++i) {
                const char e = piece[i] == '\\' ? piece[++i] : 0;
                text += !e ? piece[i] : e == 'n' ? '\n' : e == 't' ? '\t' : e == 'r' ? '\r' : e == '0' ? '\0' : e;
            }
            code += "@" + std::to_string(literals.size()) + "@";
            literals.push_back({int(std::count(code.begin(), code.end(), '\n')), text});
        } else {
            code += piece[0] == '\'' ? "0" : std::string(size_t(std::count(piece.begin(), piece.end(), '\n')), '\n');
        }
    }
    return code + s.substr(at);
}

// The index after the bracket that closes the one at `open`.
size_t closing(const std::string &code, size_t open)
{
    const char o = code[open], c = o == '(' ? ')' : o == '[' ? ']' : '}';
    for (size_t i = open, depth = 0; i < code.size(); ++i)
        if (code[i] == o)
            ++depth;
        else if (code[i] == c && --depth == 0)
            return i + 1;
    return code.size();
}

// The index after the block, or after the statement up to its ';', at `i`.
size_t statementEnd(const std::string &code, size_t i)
{
    i = std::min(code.find_first_not_of(" \t\n", i), code.size());
    if (i < code.size() && code[i] == '{')
        return closing(code, i);
    for (; i < code.size() && code[i] != ';'; ++i)
        if (code[i] == '(' || code[i] == '[' || code[i] == '{')
            i = closing(code, i) - 1;
    return std::min(i + 1, code.size());
}

// The string literals of a source that reach a user.
std::vector<Literal> userTexts(const std::string &source)
{
    std::vector<Literal> literals;
    std::string code = cutToCode(source, literals);
    // Blanked: "if (debug condition) statement-or-block", and the body of a
    // debugging function's definition, "print(...) [const] { ... }".
    static const std::regex SPAN(R"(\bif\s*\(|\b(debug\w*|print|trace\w*|dump\w*|\w+Trace|\w+Dump)\s*\()");
    static const std::regex BODY(R"((\s*(const|override|noexcept))*\s*\{)");
    std::smatch m, body;
    for (size_t from = 0; std::regex_search(code.cbegin() + long(from), code.cend(), m, SPAN);) {
        const size_t at = from + size_t(m.position()), open = at + size_t(m.length()) - 1;
        const size_t after = closing(code, open);
        size_t to = at;
        if (!m[1].matched && std::regex_search(code.cbegin() + long(open), code.cbegin() + long(after), DEBUG_WORD))
            to = statementEnd(code, after);
        else if (m[1].matched && std::regex_search(code.cbegin() + long(after), code.cend(), body, BODY,
                                                   std::regex_constants::match_continuous))
            to = closing(code, after + size_t(body.length()) - 1);
        std::replace_if(code.begin() + long(at), code.begin() + long(to), [](char c) { return c != '\n'; }, ' ');
        from = std::max(to, open + 1);
    }
    // The literals of every other statement, unless it names a debugging
    // word or streams its text into a file rather than to the console.
    static const std::regex CONSOLE(R"(\bc(out|err)\b)"), NUMBER(R"(@(\d+)@)");
    std::vector<Literal> found;
    for (size_t begin = 0, end; begin < code.size(); begin = end + 1) {
        end = std::min(code.find_first_of(";{}", begin), code.size());
        const std::string statement = code.substr(begin, end - begin);
        if (std::regex_search(statement, DEBUG_WORD) ||
            (statement.find("<<") != std::string::npos && !std::regex_search(statement, CONSOLE)))
            continue;
        for (std::sregex_iterator n(statement.begin(), statement.end(), NUMBER), last; n != last; ++n)
            found.push_back(literals[std::stoul((*n)[1])]);
    }
    return found;
}

// Blanks, tabs and line ends read as one blank.
std::string collapse(const std::string &text)
{
    std::string out;
    for (char c : text) {
        bool blank = std::isspace(static_cast<unsigned char>(c));
        if (!blank || (!out.empty() && out.back() != ' '))
            out += blank ? ' ' : c;
    }
    out.erase(out.find_last_not_of(' ') + 1);
    return out;
}

// A literal's words as the page must show them, or empty when it holds
// fewer than two words.
std::string messageWords(const std::string &literal)
{
    std::string text = collapse(literal);
    size_t first = text.find_first_not_of(" '\",;:.");
    if (first == std::string::npos)
        return "";
    text = text.substr(first);
    text.erase(text.find_last_not_of(" '\"") + 1);
    static const std::regex TWO_WORDS("[A-Za-z]{2,}[^ ]* +[^ ]*[A-Za-z]{2,}");
    return std::regex_search(text, TWO_WORDS) ? text : "";
}

// Every message text of the sources under `roots` that the page lacks, as
// "file:line: text".
std::vector<std::string> missingFromPage(const fs::path &sourceDir, const std::vector<std::string> &roots,
                                         const std::string &page)
{
    const std::string words = collapse(page);
    std::vector<std::string> missing;
    for (const std::string &root : roots) {
        std::vector<fs::path> files;
        for (const auto &f : fs::directory_iterator(sourceDir / root))
            if (f.path().extension() == ".cpp" || f.path().extension() == ".h")
                files.push_back(f.path());
        std::sort(files.begin(), files.end());
        for (const fs::path &file : files) {
            const std::string name = root + "/" + file.filename().string();
            for (const Literal &l : userTexts(readTextFile(file))) {
                std::string message = messageWords(l.text);
                bool exempt = std::any_of(NOT_MESSAGES.begin(), NOT_MESSAGES.end(), [&](const auto &n) {
                    return n.first == name && message.starts_with(n.second);
                });
                if (!message.empty() && !exempt && words.find(message) == std::string::npos)
                    missing.push_back(name + ":" + std::to_string(l.line) + ": " + message);
            }
        }
    }
    return missing;
}

} // namespace

TEST(MessagesPage, ListsEveryMessageOfThePrograms)
{
    const fs::path docs = DOCS_DIR;
    const std::string page = readTextFile(docs / "messages.md");
    ASSERT_FALSE(page.empty()) << "cannot read " << (docs / "messages.md");
    std::vector<std::string> missing =
        missingFromPage(docs.parent_path(), {"common", "tarvok/src", "skellan", "dorvane/src", "quessel"}, page);
    std::string list;
    for (const std::string &m : missing)
        list += "\n  " + m;
    EXPECT_TRUE(missing.empty()) << "docs/messages.md lacks these message texts of the code:" << list;
}

TEST(MessagesPage, NamesAMessageMissingFromThePage)
{
    // A message added to the code and missing from the page is named with
    // its place; traces, dumps and text written into files are no messages.
    TempDir dir;
    fs::create_directory(dir.file("prog"));
    dir.write("prog/a.cpp", "void f()\n{\n    report(SEV_ERROR, \"f()\", \"Could not frobnicate '\" + n + \"'.\", false);\n"
                            "    if (debugLevel(\"f\"))\n        std::cout << \"a trace line\";\n"
                            "    out << \"Section Info\";\n    if (trace) {\n        std::cout << \"a block of trace\";\n    }\n}\n"
                            "void Coff::print(std::ostream &o) const { o << \"a dump line\"; }\n");
    EXPECT_EQ(missingFromPage(dir.path(), {"prog"}, "| `Could not\n  frobnicate 'NAME'.` | why |"),
              std::vector<std::string>{});
    EXPECT_EQ(missingFromPage(dir.path(), {"prog"}, "nothing here"),
              std::vector<std::string>{"prog/a.cpp:3: Could not frobnicate"});
}
