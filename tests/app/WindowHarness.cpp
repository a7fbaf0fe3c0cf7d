// The window program as the window tests start it: the program's own start-up with a host
// that answers every message box at once (OK, or No to a question) and writes it to
// standard error as "torvane box <flags>: <caption>: <text>", so that a test can start
// copies of the window and read what they would have shown.

#include "app/WindowProgram.h"
#include "support/QtTestHost.h"

#include <memory>

int main(int argc, char* argv[]) {
    return torvane::RunWindowProgram(argc, argv, [] {
        auto host = std::make_unique<torvane::test::TQtTestHost>();
        host->Echo = true;
        return host;
    });
}
