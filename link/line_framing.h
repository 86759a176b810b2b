// Turning a raw batch of received bytes into lines. Pure byte work, no handles.
#pragma once

#include <stddef.h>
#include <stdint.h>

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
// *emptySkipped, when given, counts the empty lines passed over before it
// (or before the end).
char* NextLine(LineCursor& cursor, size_t* length, size_t* emptySkipped = nullptr);

// How much of a cleaned batch goes out now: everything up to the end of
// its last complete line. The unfinished line after it waits in the buffer
// for its rest, unless the buffer is full and that line fills it: a run
// longer than the buffer is cut there.
size_t CompleteLinesLength(const char* batch, size_t length, bool bufferFull);

// The reader's batch buffer and the rules by which the bytes read into it
// become lines: a CR ends a line, LF and NUL are dropped, a complete line
// goes out as soon as its CR is read. The unfinished line after it waits
// for its rest until the bytes pause for more than kLinePauseMs, or until
// it fills the buffer, and then goes out as it stands. Lines are lent in
// place: they stay valid, and theirs to change, until the next call.
class ReceiveBuffer {
public:
    static constexpr size_t kLineLimit = 2047;  // bytes a batch, and a line, holds
    static constexpr uint32_t kLinePauseMs = 200;

    // Where the next read goes, and how many bytes it may take.
    char* Space();
    size_t Room() const { return kLineLimit - m_held; }

    // `count` raw bytes were read into Space() when the tick count was
    // `tick`. Returns the lines they complete.
    LineCursor Add(size_t count, uint32_t tick);

    bool HasUnfinished() const { return m_held != 0; }
    // How long the unfinished line may still wait for its rest, at `now`;
    // 0 once the bytes have paused for longer than kLinePauseMs.
    uint32_t PauseLeft(uint32_t now) const;
    // The unfinished line, as it stands: the bytes paused, or no more will
    // come (the device failed).
    LineCursor TakeUnfinished();

private:
    void Settle();

    char m_bytes[kLineLimit + 1] = {};  // the last stays NUL: it ends a line cut at the limit
    size_t m_lent = 0;  // bytes of lines lent from the front, let go at the next call
    size_t m_held = 0;  // bytes of the unfinished line, after the lent ones
    uint32_t m_lastByteTick = 0;
};
