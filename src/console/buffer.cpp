// The console's 100-line text buffer and its terminal-like control characters.
#include <cstring>

#include "console/state.h"

ConBuffer conBuffer;

namespace {

void clearBuffer() {
    conBuffer.current = 0;
    conBuffer.lines[0].length = 0;
}

void newLine() {
    if (++conBuffer.current == kConLineCount) {
        std::memmove(&conBuffer.lines[0], &conBuffer.lines[1],
                     sizeof(ConLine) * (kConLineCount - 1));
        conBuffer.current = kConLineCount - 1;
    }
    conBuffer.lines[conBuffer.current].length = 0;
}

void storePrintable(char ch) {
    ConLine* line = &conBuffer.lines[conBuffer.current];
    if (conState.echo != 0) {
        // Measure the line with the new character in place before counting it.
        if (line->length < kConLineChars) line->text[line->length] = ch;
        if (line->length >= kConLineChars || !ConLineFits(line->text, line->length + 1)) {
            ConPutChar('\n');
            // The log file shows the same line breaks as the window.
            if (conState.log) std::fputc('\n', conState.log);
            line = &conBuffer.lines[conBuffer.current];
        }
    }
    if (line->length < kConLineChars) line->text[line->length++] = ch;
}

}  // namespace

void ConPutChar(int ch) {
    unsigned char c = static_cast<unsigned char>(ch);
    ConLine& line = conBuffer.lines[conBuffer.current];
    switch (c) {
        case '\a':
            conwin::beep();
            break;
        case '\b':
            // On an empty line the erased character is the line break itself.
            if (line.length > 0) {
                --line.length;
            } else if (conBuffer.current > 0) {
                --conBuffer.current;
            }
            return;
        case '\t':
            ConPutChar(' ');
            return;
        case '\n':
            newLine();
            return;
        case '\f':
            clearBuffer();
            return;
        case '\r':
            line.length = 0;
            return;
    }
    if (c < 32) {
        ConPutChar('^');
        ConPutChar(c + 64);
        return;
    }
    storePrintable(static_cast<char>(c));
}

const ConLine& ConLineAt(int index) {
    if (index < 0) index = 0;
    if (index >= kConLineCount) index = kConLineCount - 1;
    return conBuffer.lines[index];
}

int ConCurrentLine() {
    return conBuffer.current;
}
