// The console's printing, log file, menu commands and keyboard echo.
#include <cctype>
#include <cstdarg>
#include <cstring>

#include "base/diag.h"
#include "console/state.h"

ConState conState;

namespace {

const char kLogName[] = "CONW.LOG";

// Local time as "%Y-%b-%d (%A) %H:%M:%S" with English names, whatever the
// process locale is.
void formatNow(char (&out)[80]) {
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    static const char* const kDays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                        "Thursday", "Friday", "Saturday"};
    std::tm t{};
    conwin::localTime(t);
    std::snprintf(out, sizeof out, "%04d-%s-%02d (%s) %02d:%02d:%02d", t.tm_year + 1900,
                  kMonths[(t.tm_mon % 12 + 12) % 12], t.tm_mday, kDays[(t.tm_wday % 7 + 7) % 7],
                  t.tm_hour, t.tm_min, t.tm_sec);
}

bool typedLineIsHelp() {
    static const char kHelp[] = "help";
    if (conState.typedLength != 4) return false;
    for (int i = 0; i < 4; ++i) {
        unsigned char c = static_cast<unsigned char>(conState.typedLine[i]);
        if (std::tolower(c) != kHelp[i]) return false;
    }
    return true;
}

void appendTyped(const char* text, int n) {
    int room = kConTypedChars - conState.typedLength;
    if (n > room) n = room;  // the rest is printed but not remembered
    std::memcpy(conState.typedLine + conState.typedLength, text, n);
    conState.typedLength += n;
    conState.typedLine[conState.typedLength] = 0;
}

// The lower modules' diagnostic lines reach the console while it is open.
void printToConsole(const char* text) {
    ConPrint("%s", text);
}

}  // namespace

int ConCreate(int) {
    // A second console replaces the first and starts from the initial state.
    if (conState.active) ConDestroy();
    conState.visible = false;
    conState.logging = true;
    conState.echo = 0;
    conState.typed = false;
    conState.typedLength = 0;
    conState.typedLine[0] = 0;

    int result = conwin::create();
    if (result != kConCreated) return result;
    conState.haveWindow = true;
    ConPutChar('\f');
    conState.active = true;
    setDiagSink(printToConsole);
    conState.log = nullptr;
    if (conState.logging) {
        conState.logging = false;
        ConLogToggle();
    }
    conwin::show(conState.visible);
    return conwin::startTimer() ? kConCreated : kConNoTimer;
}

void ConDestroy() {
    if (!conState.active) return;
    setDiagSink(nullptr);
    if (conState.logging) ConLogToggle();
    conState.active = false;
    conwin::destroy();
}

void ConPrint(const char* format, ...) {
    if (!conState.haveWindow || !conState.active) return;
    char text[8192];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (n < 0) return;
    if (n > static_cast<int>(sizeof text) - 1) n = sizeof text - 1;

    if (conState.typed) {
        appendTyped(text, n);
    } else {
        conState.typedLength = 0;
        conState.typedLine[0] = 0;
    }
    for (int i = 0; i < n; ++i) {
        ConPutChar(text[i]);
        if (conState.log) std::fputc(text[i], conState.log);
    }
    // Complete on disk after every call, so a fatal end loses nothing.
    if (conState.log) std::fflush(conState.log);
    conwin::paint();
}

void ConLogToggle() {
    if (!conState.active) return;
    char now[80];
    formatNow(now);
    if (!conState.logging) {
        // Logging counts as on even when the file cannot be opened.
        conState.log = std::fopen(kLogName, "a");
        conState.logging = true;
        std::memcpy(conState.logStart, now, sizeof now);
        ConPrint("\n//-#[ LOGFILE %s:\n", conState.logStart);
    } else {
        ConPrint("\n//-#] LOGFILE %s: %s \n", conState.logStart, now);
        if (conState.log) std::fclose(conState.log);
        conState.log = nullptr;
        conState.logging = false;
    }
}

bool ConLogging() {
    return conState.logging;
}

void ConShowToggle() {
    conState.visible = !conState.visible;
    if (conState.haveWindow) conwin::show(conState.visible);
}

void ConHelp() {
    static const char* const kLines[] = {
        "\f",
        "Special characters:\n",
        "  0x07 ^G \\a  ring a bell\n",
        "  0x08 ^H \\b  erase last char from buffer\n",
        "  0x09 ^I \\t  spaces to next 8-fold\n",
        "  0x0A ^J \\n  carriage return + newline\n",
        "  0x0C ^L \\f  form feed = clear buffer\n",
        "  0x0D -- \\r  carriage return + clear line\n",
        "Commands:\n",
        "  Stock font  select a standard font\n",
        "  Select ...  apply font selector\n",
        "  Log file    toggle output dup mode\n",
        "  Char set    clear buffer + show character set\n",
        "  Help        clear buffer + show this story\n",
        "Note: log file always appends\n",
    };
    for (const char* line : kLines) ConPrint("%s", line);
}

void ConCharSet() {
    ConPrint("\fCharacter set");
    for (int c = 32; c <= 255; ++c) {
        if (c % 16 == 0) ConPrint("\n0x%02X :", c);
        ConPrint(" %c", c);
    }
    ConPrint("\n");
}

void ConKeyDown(unsigned key) {
    // Keys that also produce a character message, and the modifier keys.
    bool silent = key == 8 || key == 9 || key == 13 || key == 27 || key == 32 ||
                  (key >= 48 && key <= 57) || (key >= 64 && key <= 90) ||
                  (key >= 96 && key <= 111) || key == 16 || key == 17 || key == 18 || key == 20 ||
                  key >= 146;
    if (silent) return;
    ++conState.echo;
    ConPrint("[%02X]", key);
    --conState.echo;
}

void ConChar(unsigned code) {
    unsigned char ch = static_cast<unsigned char>(code);
    if (ch == '\r') ch = '\n';
    ++conState.echo;
    if (ch == '\n') {
        if (typedLineIsHelp()) ConHelp();
    } else {
        conState.typed = true;
    }
    ConPrint("%c", ch);
    conState.typed = false;
    --conState.echo;
}
