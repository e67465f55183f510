// Diagnostic console: a 100-line text buffer fed by ConPrint, mirrored to
// the log file "CONW.LOG". Without a console ConPrint does nothing, so any
// module may print at any time. Diagnostic texts begin with a line feed.
#pragma once

// Formats like printf (at most 8191 characters per call) and prints the text
// to the console buffer and log file when a console exists.
void ConPrint(const char* format, ...) __attribute__((format(printf, 1, 2)));
