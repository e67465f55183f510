// ConPutChar on any byte sequence, with or without echo mode (first byte):
// the buffer stays within its 100 lines of 120 characters, and no control
// character is ever stored.
#include "console/state.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    conState.echo = data[0] & 1;
    ConPutChar('\f');
    for (size_t i = 1; i < size; ++i) {
        ConPutChar(data[i]);
        int current = ConCurrentLine();
        if (current < 0 || current >= kConLineCount) fuzzFail("current line out of range");
        const ConLine& line = ConLineAt(current);
        if (line.length < 0 || line.length > kConLineChars) fuzzFail("line length out of range");
    }
    for (int i = 0; i <= ConCurrentLine(); ++i) {
        const ConLine& line = ConLineAt(i);
        for (int j = 0; j < line.length; ++j)
            if (static_cast<unsigned char>(line.text[j]) < 32) fuzzFail("control character stored");
    }
    conState.echo = 0;
    return 0;
}
