#pragma once

#include <cstdio>

// The bytes left in a stream from its position to the end of its file, or -1
// when the stream is not a regular file (a pipe cannot tell). Readers compare it
// with the size a header declares before they decode.
long long lStreamBytes(FILE* poFile);
