// Entry point on POSIX: the arguments are joined with single spaces into
// one argument text, as Windows hands it to a GUI program.
#include <cstdio>
#include <cstring>
#include <string>

#include "updater/run.h"

namespace {

const char kUsage[] =
    "Usage: vorn-update [-log] [-dut | -eng] [-spawned]\n"
    "Installs the Vorn 3.01 update into the Vorn installation of the current user.\n"
    "  -log      keep a diagnostic log in CONW.LOG (current directory)\n"
    "  -dut      Dutch texts\n"
    "  -eng      English texts (default: the language of the locale)\n"
    "  -spawned  do not check whether Vorn is running\n"
    "The dialog asks for one line: a line that begins with I installs the update,\n"
    "any other line cancels. Exit codes: 0 done or cancelled, 1 Vorn is running,\n"
    "2 fatal error.\n";

}  // namespace

int main(int argc, char** argv) {
    std::string arguments;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (i > 1) arguments += ' ';
        arguments += argv[i];
    }
    return runInstaller(0, arguments.c_str());
}
