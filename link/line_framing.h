// Turning a raw batch of received bytes into lines. Pure byte work, no handles.
#pragma once

#include <stddef.h>

// Cleans a batch in place: every NUL and LF is dropped and every CR becomes
// a NUL that ends a line. Returns the cleaned length; the bytes freed behind
// it up to the old length become NUL.
size_t CleanBatch(char* batch, size_t length);

// Walks the lines of a cleaned batch. The range's last line must be
// terminated, by a NUL at `end` (so that a line without a CR is too) or by
// the NUL just before it.
struct LineCursor {
    char* next;
    char* end;
};

// The next non-empty line, terminated in place, with its length in *length;
// null when the batch holds no further line. The cursor moves past the line
// before it is returned, so its receiver may change the line's bytes.
char* NextLine(LineCursor& cursor, size_t* length);

// How much of a cleaned batch goes out now: everything up to the end of
// its last complete line. The unfinished line after it waits in the buffer
// for its rest, unless the buffer is full and that line fills it: a run
// longer than the buffer is cut there.
size_t CompleteLinesLength(const char* batch, size_t length, bool bufferFull);
