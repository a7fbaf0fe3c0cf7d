// The documentation made from the option tables: --help, the man page and the bash
// completion name every command and option, stay within 80 columns, lay out without
// groff warnings, and the completion offers what a user expects when run by bash.

#include "cli/Help.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sstream>

namespace torvane::cli {
namespace {

// Standard output of a shell command line.
std::string Shell(const std::string& command) {
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return out;
    }
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        out.append(buffer, n);
    }
    ::pclose(pipe);
    return out;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

TEST(CliDocs, EveryCommandAndOptionIsDocumentedEverywhere) {
    const std::string tool = ToolHelp();
    const std::string man = ManPage();
    const std::string completion = BashCompletion();
    for (const TCommandSpec& c : Commands()) {
        SCOPED_TRACE(c.Name);
        EXPECT_NE(tool.find("  " + c.Name + " "), std::string::npos);
        EXPECT_NE(man.find(".SS " + c.Name + "\n"), std::string::npos);
        EXPECT_NE(completion.find("    " + c.Name + ")\n"), std::string::npos);
        ASSERT_TRUE(c.Run);
        EXPECT_FALSE(c.Summary.empty());
        const std::string help = CommandHelp(c);
        EXPECT_EQ(help.rfind("usage: torvane-cli " + c.Name, 0), 0u) << help;
        for (const TOptionSpec& o : AllOptions(c)) {
            SCOPED_TRACE(o.Long);
            EXPECT_FALSE(o.Help.empty());
            EXPECT_NE(help.find("--" + o.Long + (o.TakesValue() ? " " + o.Value : "")),
                      std::string::npos);
            std::string roffName = "--" + o.Long; // every minus sign escaped in roff
            for (std::size_t at = 0; (at = roffName.find('-', at)) != std::string::npos; at += 2) {
                roffName.insert(at, "\\");
            }
            EXPECT_NE(man.find(roffName), std::string::npos);
            EXPECT_NE(completion.find("--" + o.Long), std::string::npos);
            if (o.Required) {
                EXPECT_NE(Synopsis(c).find("--" + o.Long + " " + o.Value), std::string::npos);
            }
        }
    }
    for (const TExitStatus& s : ExitStatuses()) {
        EXPECT_NE(tool.find(s.Meaning), std::string::npos);
    }
    // The commands whose options default from option.ini read it (and hear of the former
    // settings file); the others never touch it.
    std::vector<std::string> readingSettings;
    for (const TCommandSpec& c : Commands()) {
        if (c.UsesSettings()) {
            readingSettings.push_back(c.Name);
        }
    }
    std::sort(readingSettings.begin(), readingSettings.end());
    EXPECT_EQ(readingSettings,
              (std::vector<std::string>{"batch", "discover", "mirror", "upgrade"}));
    EXPECT_NE(CommandHelp(*FindCommand("mirror")).find("(may be given more than once)"),
              std::string::npos);
    for (const std::string& text :
         {tool, CommandHelp(*FindCommand("upgrade")), CommandHelp(*FindCommand("mirror"))}) {
        for (const std::string& line : Lines(text)) {
            EXPECT_LE(line.size(), 80u) << line;
        }
    }
}

TEST(CliDocs, WrapKeepsWordsWholeAndIndentsFollowingLines) {
    EXPECT_EQ(Wrap("aaa bbb ccc", 2, 0, 8), "aaa bbb\n  ccc\n");
    EXPECT_EQ(Wrap("one\n\ntwo", 0, 0), "one\n\ntwo\n");
    EXPECT_EQ(Wrap("averyveryverylongword x", 0, 0, 10), "averyveryverylongword\nx\n");
    EXPECT_EQ(Wrap("a b", 4, 10, 12), "a\n    b\n") << "the first line starts at column 10";
}

TEST(CliDocs, DescriptionsReadAsProse) {
    TCommandSpec c;
    c.Name = "demo";
    c.Description =
        "\n  First paragraph, broken\n      and indented anyhow.\n \t\nSecond one.\n\n\n"
        "Third.\n    ";
    EXPECT_EQ(CommandHelp(c).rfind("usage: torvane-cli demo [options]\n\n"
                                   "First paragraph, broken and indented anyhow.\n\n"
                                   "Second one.\n\nThird.\n\noptions of every command:\n",
                                   0),
              0u)
        << CommandHelp(c);
    // An indented line would break the filled text in roff; the declarations' indentation
    // must not reach the man page.
    for (const std::string& line : Lines(ManPage())) {
        EXPECT_TRUE(line.empty() || line.front() != ' ') << line;
    }
}

TEST(CliDocs, ManPageLaysOutWithoutWarnings) {
    const std::string page = test::ScratchPath("man") + ".1";
    ASSERT_TRUE(test::WriteWholeFile(page, ManPage()));
    EXPECT_EQ(Shell("groff -man -Tutf8 -ww -z '" + page + "' 2>&1"), "");
    const std::string text = Shell("groff -man -Tutf8 '" + page + "' 2>/dev/null | col -bx");
    EXPECT_NE(text.find("--password-file FILE"), std::string::npos) << text;
    EXPECT_NE(text.find("TORVANE_PASSWORD"), std::string::npos);
}

TEST(CliDocs, BashCompletesCommandsOptionsAndValues) {
    const std::string script = test::ScratchPath("completion");
    ASSERT_TRUE(test::WriteWholeFile(script, BashCompletion()));
    const std::string files = test::ScratchPath("pwfiles");
    ASSERT_EQ(Shell("mkdir -p '" + files + "' && touch '" + files + "/cam1.pw' '" + files +
                    "/cam2.pw' && echo ok"),
              "ok\n");
    // Completes the words (the last one being completed) and prints what bash would offer.
    const auto complete = [&](const std::string& words) {
        return Shell("bash -c 'source \"$0\"; COMP_WORDS=(" + words +
                     "); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _torvane_cli; "
                     "echo \"${COMPREPLY[*]}\"' '" + script + "'");
    };
    EXPECT_EQ(complete("torvane-cli up"), "upgrade\n");
    EXPECT_EQ(complete("torvane-cli --lang cn te"), "text\n") << "--lang takes a value";
    EXPECT_EQ(complete("torvane-cli --lang \"\""), "en cn b5\n");
    EXPECT_EQ(complete("torvane-cli upgrade --se"), "--series --server\n");
    EXPECT_EQ(complete("torvane-cli upgrade --series \"\""), "E F H T auto\n");
    EXPECT_EQ(complete("torvane-cli upgrade --firmware u"), "ui\n");
    EXPECT_EQ(complete("torvane-cli upgrade --ip \"\""), "\n") << "a free value: no offer";
    std::vector<std::string> offered;
    std::istringstream words(complete("torvane-cli upgrade --password-file " + files + "/cam"));
    for (std::string w; words >> w;) {
        offered.push_back(w);
    }
    std::sort(offered.begin(), offered.end());
    EXPECT_EQ(offered, (std::vector<std::string>{files + "/cam1.pw", files + "/cam2.pw"}));
    // Folders only, for a folder's option.
    ASSERT_EQ(Shell("mkdir -p '" + files + "/camfolder' && echo ok"), "ok\n");
    EXPECT_EQ(complete("torvane-cli mirror --to " + files + "/cam"), files + "/camfolder\n");
    EXPECT_EQ(complete("torvane-cli -v discover --j"), "--json\n");
    EXPECT_EQ(complete("torvane-cli text IDS_NOIPCT"), "IDS_NOIPCTYPE\n");
    EXPECT_EQ(complete("torvane-cli text --l"), "--lang\n");
    EXPECT_EQ(complete("torvane-cli help dis"), "discover\n");
}

} // namespace
} // namespace torvane::cli
