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

// Where the unfinished last line of a cleaned batch starts: the bytes after
// its last line end. A batch that filled the buffer keeps them for the next
// one, so that a burst of lines is not cut at the buffer's edge. Returns
// `length` when there is nothing to keep: no line end at all (a run longer
// than the buffer is still cut), or none after the last one.
size_t UnfinishedLineStart(const char* batch, size_t length);
