#include "tools/phone_test/junit_file.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tools/trace/trace_output.h"

bool JunitFile::Prepare(const std::string& name)
{
    const int stream = StandardStreamNamed(name.c_str());
    struct stat file = {};
    if (stream >= 0) {
        m_fd = stream;
        m_stream = true;
        return true;
    }
    if (stat(name.c_str(), &file) == 0 && !S_ISREG(file.st_mode)) {
        m_fd = open(name.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
        return m_fd >= 0;
    }
    // Through a link, to the file it leads to.
    char resolved[PATH_MAX];
    m_target = realpath(name.c_str(), resolved) != nullptr ? resolved : name;
    m_temporary = m_target + ".XXXXXX";
    m_fd = mkostemp(&m_temporary[0], O_CLOEXEC);
    if (m_fd < 0) {
        m_temporary.clear();
        m_target.clear();
        return false;
    }
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(m_fd, 0666 & ~mask);
    // An earlier run's file would be read as this run's if this one is
    // killed or crashes before the rename.
    unlink(m_target.c_str());
    return true;
}

bool JunitFile::Write(const std::string& xml)
{
    bool written = true;
    for (size_t at = 0; written && at < xml.size();) {
        const ssize_t count = write(m_fd, xml.data() + at, xml.size() - at);
        written = count > 0;
        at += written ? static_cast<size_t>(count) : 0;
    }
    if (!m_stream)
        written = close(m_fd) == 0 && written;
    m_fd = -1;
    if (!m_temporary.empty())
        written = written && rename(m_temporary.c_str(), m_target.c_str()) == 0;
    const int why = errno;
    if (!written && !m_temporary.empty())
        unlink(m_temporary.c_str());
    m_temporary.clear();
    errno = why;
    return written;
}

void JunitFile::Discard()
{
    if (!m_stream && m_fd >= 0)
        close(m_fd);
    m_fd = -1;
    if (m_temporary.empty())
        return;
    unlink(m_temporary.c_str());
    unlink(m_target.c_str());
    m_temporary.clear();
}
