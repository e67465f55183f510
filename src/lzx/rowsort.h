// Helpers of the row sort, visible for tests.
#pragma once

#include <cstdint>

#include "lzx/codec.h"

constexpr int kSorRows = 256;
constexpr int kSorRowBytes = 64;

// Marks the all-0xFF rows of the row matrix; returns the number of others.
int32_t SorCountRows(Codec& c);
// The unplaced row that differs in the fewest bytes from row `previous`.
int32_t SorBestRow(Codec& c, int32_t previous);
// Differing byte positions of two 64-byte rows, counted up to `limit`.
int32_t SorRowDiff(const uint8_t* a, const uint8_t* b, int32_t limit);
