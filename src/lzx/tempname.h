// Names of the index files that write streams keep beside their work.
#pragma once

// Creates a new, empty file in the current directory whose name nobody else
// holds, exclusively, and stores the name (shorter than `size`) in `name`.
// Returns false when no such file could be made.
bool TempNameCreate(char* name, int size);
