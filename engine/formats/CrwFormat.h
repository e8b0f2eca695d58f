#pragma once

#include "ByteSource.h"
#include "FormatWalk.h"

namespace quorvex {

// Canon CRW (CIFF): a 26-byte header, then one heap that runs to the end of the file. A heap's
// directory is at its end, and the heap's last four bytes give where the directory starts.

// "II", the header length 26, "HEAPCCDR" and a version whose major number is 1.
bool LooksLikeCrwStart(const unsigned char* sector);

// Finds the first place E after the header where a root directory closes the heap: the four
// bytes before E give a directory start D inside the heap, D holds a count N, D + 2 + 10 N + 4
// is E, and every entry's data lies in the heap before D.
FormatWalk WalkCrw(ByteSource& file);

}  // namespace quorvex
