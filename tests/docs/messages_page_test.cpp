// Every message text of the programs' sources (common/, tarvok/src/,
// skellan/, dorvane/src/, quessel/) must stand on docs/messages.md, so that
// no message can be added without its entry. A message text is a string
// literal on a route to the user: the arguments of a call of a function that
// prints or builds a message, the body of such a function, or the right side
// of an assignment to a variable that carries an error text, or a part of
// one, to the caller who reports it.
#include "tooltest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <regex>
#include <string>

namespace {

// Functions a message passes through: the reporter and its wrappers, the
// command-line exits and help screens, the functions that build a message or
// a part of one, the banners.
const std::string FUNCTIONS = "report|usage|help|stop|fputs|fail|fault|refuse|sectionTable|readPathList|writeBlockList|"
                              "extractMember|unknownTypeMessage|notDefinedMessage|notAligned|overLimitText|linkOnPath|"
                              "(linker|librarian|hexConverter|codConverter|notice)Banner";
// The error texts handed back to a caller, their parts, the help texts.
const std::string VARIABLES = "err|why|where|message|clash|contents|file|overLimit|includeError|cSourceFailure|"
                              "UNSUPPORTED_RELOC_TYPE|HELP|USAGE";
const std::regex ROUTE("\\b(" + FUNCTIONS + ")\\s*\\(|\\b(" + VARIABLES + ")(\\s*\\[\\])?\\s*\\+?=(?!=)");

// The string literals on a route, by their places in the source. Comments
// and literals are blanked first, so that no bracket, ';' or name in them
// opens or ends a route.
std::map<size_t, std::string> userTexts(const std::string &source)
{
    static const std::regex PIECE(R"re(//[^\n]*|/\*[\s\S]*?\*/|"(\\.|[^"\\\n])*"|'(\\.|[^'\\\n])*')re");
    std::string code = source;
    std::map<size_t, std::string> literals, found;
    for (std::sregex_iterator m(source.begin(), source.end(), PIECE), end; m != end; ++m) {
        const size_t at = size_t(m->position()), after = at + size_t(m->length());
        for (size_t i = at + 1; source[at] == '"' && i + 1 < after; ++i) {
            const char e = source[i] == '\\' ? source[++i] : 0;
            literals[at] += !e ? source[i] : e == 'n' ? '\n' : e == 't' ? '\t' : e;
        }
        std::fill(code.begin() + long(at), code.begin() + long(after), ' ');
    }
    auto closing = [&code](size_t i) { // after the bracket that closes the one at i
        for (long depth = 0; i < code.size(); ++i)
            if ((depth += (code[i] == '(' || code[i] == '{') - (code[i] == ')' || code[i] == '}')) == 0)
                return i + 1;
        return code.size();
    };
    for (std::sregex_iterator r(code.begin(), code.end(), ROUTE), last; r != last; ++r) {
        const size_t from = size_t(r->position() + r->length());
        size_t to = (*r)[1].matched ? closing(from - 1) : std::min(code.find(';', from), code.size());
        const size_t body = code.find_first_not_of(" \t\n", to); // a definition's body
        if ((*r)[1].matched && body < code.size() && code[body] == '{')
            to = closing(body);
        found.insert(literals.lower_bound(from), literals.lower_bound(to));
    }
    return found;
}

// The message texts of the sources (by name) that the page lacks, one
// "name:line: text" a line: a literal's words, with the quotes, blanks and
// punctuation around them dropped and each run of blanks read as one, if
// they are two at least.
std::string missingFromPage(const std::map<std::string, std::string> &sources, const std::string &page)
{
    static const std::regex BLANKS(R"(\s+)"), ENDS(R"(^[ '",;:.]+|[ '"]+$)"),
        TWO_WORDS("[A-Za-z]{2,}[^ ]* +[^ ]*[A-Za-z]{2,}");
    const std::string words = std::regex_replace(page, BLANKS, " ");
    std::string missing;
    for (const auto &[name, source] : sources)
        for (const auto &[at, text] : userTexts(source)) {
            const std::string message = std::regex_replace(std::regex_replace(text, BLANKS, " "), ENDS, "");
            const long line = std::count(source.begin(), source.begin() + long(at), '\n') + 1;
            if (std::regex_search(message, TWO_WORDS) && words.find(message) == std::string::npos)
                missing += "\n  " + name + ":" + std::to_string(line) + ": " + message;
        }
    return missing;
}

} // namespace

TEST(MessagesPage, ListsEveryMessageOfThePrograms)
{
    const std::filesystem::path docs = DOCS_DIR;
    const std::string page = readTextFile(docs / "messages.md");
    ASSERT_FALSE(page.empty()) << "cannot read " << (docs / "messages.md");
    std::map<std::string, std::string> sources;
    for (const std::string root : {"common", "tarvok/src", "skellan", "dorvane/src", "quessel"})
        for (const auto &f : std::filesystem::directory_iterator(docs.parent_path() / root))
            if (f.path().extension() == ".cpp" || f.path().extension() == ".h")
                sources[root + "/" + f.path().filename().string()] = readTextFile(f.path());
    sources.erase("dorvane/src/cod_read.cpp"); // the COD reader, which only the tests run
    const std::string missing = missingFromPage(sources, page);
    EXPECT_TRUE(missing.empty()) << "docs/messages.md lacks these message texts of the code:" << missing;
}

TEST(MessagesPage, NamesAMessageMissingFromThePage)
{
    // A message missing from the page is named with its place, printed by a
    // usage function, reported or handed back as an error text; no trace or
    // file's text is taken, nor a route's end lost to a comment or literal.
    const std::string source = "void usage()\n{\n    std::cout << \"Usage: prog {FILE\";\n}\nvoid f()\n{\n"
                               "    report(SEV_ERROR, \"f()\", // the caller's (\n"
                               "           \"Could not frobnicate '\" + n + \"'.\", false);\n"
                               "    if (debugLevel(\"f\"))\n        std::cout << \"a trace line\";\n"
                               "    out << \"Section Info\";\n    err = \"no widget \" + n;\n}\n";
    EXPECT_EQ(missingFromPage({{"a.cpp", source}}, "`Usage: prog {FILE` `Could not\n frobnicate 'NAME'` `no widget`"),
              "");
    EXPECT_EQ(missingFromPage({{"a.cpp", source}}, "nothing here"),
              "\n  a.cpp:3: Usage: prog {FILE\n  a.cpp:8: Could not frobnicate\n  a.cpp:12: no widget");
}
