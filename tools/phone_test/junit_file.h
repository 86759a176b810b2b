// The JUnit file that CI reads: never seen empty or half-written. A regular
// file, or a name of nothing yet, is written as a temporary file beside it
// (NAME.XXXXXX) and renamed over it at the end, an earlier run's file at
// NAME removed at the start; a standard stream named
// (/dev/stdout, or the file it goes to) or a file of another kind (a FIFO)
// is written as it stands, at the end, emptying nothing.
#pragma once

#include <string>

class JunitFile {
public:
    JunitFile() = default;
    JunitFile(const JunitFile&) = delete;
    JunitFile& operator=(const JunitFile&) = delete;

    // Ready to write `name` at the end; false, with errno, when it cannot
    // be written there.
    bool Prepare(const std::string& name);
    // The whole text, once; false, with errno, when it could not be written.
    bool Write(const std::string& xml);
    // The run was refused: no file is left, neither this run's nor one an
    // earlier run left at the name, which CI would read as this run's.
    void Discard();

private:
    std::string m_target;     // renamed over at the end, when it is a regular file
    std::string m_temporary;  // beside it
    int m_fd = -1;
    bool m_stream = false;  // a standard stream's: stays open
};
