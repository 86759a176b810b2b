// The relay's trace, written so that the link never waits for it. Lines
// wait in a bounded queue while the trace's reader falls behind; past the
// bound whole lines are left out and counted, and once the reader has
// caught up a line of the trace's own says how many. A write that fails
// ends the trace, said once on standard error with the line it ends at.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>

// The trace is the null device: none is written.
constexpr int kNoTrace = -2;

// The standard stream, output or error, that `name` names, or -1.
int StandardStreamNamed(const char* name);

// A file named on the command line, to write: a name of this program's own
// standard output or error (/dev/stdout, or the file it goes to) is that
// stream, and empties nothing; any other file is opened (a FIFO waiting for
// its reader), and written afresh when it is a regular file. The
// descriptor, or -1 with errno set.
int OpenToWrite(const char* name);
// TRACE as named on the command line: - for standard output, else opened
// as OpenToWrite opens a file. Non-blocking wherever a write could wait,
// through an open file of its own, so that no one sharing it is changed.
// The descriptor, kNoTrace, or -1 with errno set.
int OpenTrace(const char* name);

class TraceOutput {
public:
    // `name` as given, for what `program` says on standard error.
    TraceOutput(int fd, const char* name, const char* program)
        : m_fd(fd), m_name(name), m_program(program)
    {
    }

    // A whole line with its newline, at `ms` into the trace: written at once
    // if the trace takes it, queued, or left out.
    void Put(const std::string& line, uint64_t ms);
    // The descriptor to wait on for room, or -1 when nothing waits.
    int Waiting() const;
    // Writes what the trace takes now.
    void Write(uint64_t ms);
    // The end comes: the lines left out are told, and the end's lines,
    // few, are queued whatever the queue holds.
    void Ending(uint64_t ms);
    // Writes what waits, for at most `waitMs`; what the trace did not take
    // by then is said on standard error.
    void Finish(int waitMs);

private:
    void TellLeftOut(uint64_t ms);
    void Fail(const std::string& why);

    const int m_fd;
    const std::string m_name;
    const char* const m_program;
    std::string m_queue;    // whole lines, the first maybe written in part
    uint64_t m_lastMs = 0;  // of the last line put, or write
    size_t m_lines = 0;     // written whole
    size_t m_leftOut = 0;   // since the trace last told how many
    bool m_bounded = true;  // until the end's lines come
    bool m_failed = false;
};
