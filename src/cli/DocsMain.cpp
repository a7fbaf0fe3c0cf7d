// torvane-cli-docs: a build tool that writes torvane-cli's man page and bash completion
// from its option tables.
//     torvane-cli-docs man OUT.1
//     torvane-cli-docs completion OUT

#include "cli/Help.h"

#include <fstream>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: torvane-cli-docs man|completion OUT\n";
        return 2;
    }
    const std::string what = argv[1];
    std::string text;
    if (what == "man") {
        text = torvane::cli::ManPage();
    } else if (what == "completion") {
        text = torvane::cli::BashCompletion();
    } else {
        std::cerr << "torvane-cli-docs: unknown kind " << what << "\n";
        return 2;
    }
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
        std::cerr << "torvane-cli-docs: cannot write " << argv[2] << "\n";
        return 1;
    }
    return 0;
}
