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
    "any other line cancels. Messages go to standard error.\n"
    "Exit codes: 0 done, cancelled or refused (Vorn not found, version older than\n"
    "3.0), 1 Vorn is running, 2 fatal error or nothing installed (the Vorn\n"
    "directory or its lzx.ver is missing).\n"
    "Environment:\n"
    "  VELMORA_REGISTRY  the registry store that holds Vorn's \"Location\" and\n"
    "                    \"Version\" (default $XDG_CONFIG_HOME/velmora/registry or\n"
    "                    ~/.config/velmora/registry)\n"
    "  TMPDIR            where the temporary archive is written (default /tmp)\n"
    "  LC_ALL, LC_MESSAGES, LANG  Dutch texts for a locale beginning with nl\n";

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
