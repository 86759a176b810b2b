#include "tests/support/null_modem.h"

#include "ce/stream_device.h"

namespace {

void ThrowAwayPending(HANDLE port)
{
    PurgeComm(port, PURGE_RXCLEAR | PURGE_TXCLEAR | PURGE_RXABORT | PURGE_TXABORT);
}

// The link's end too may hold bytes that an earlier test wrote to it.
void ThrowAwayPendingAt(const wchar_t* device)
{
    const HANDLE port = OpenStreamDevice(device);
    if (port == INVALID_HANDLE_VALUE)
        return;
    ThrowAwayPending(port);
    CloseStreamDevice(port);
}

}  // namespace

PeerPort::PeerPort(const NullModemPair& pair)
    : m_port(OpenStreamDevice(pair.peerDevice))
{
    ThrowAwayPendingAt(pair.linkDevice);
    if (IsOpen())
        ThrowAwayPending(m_port);
}

PeerPort::~PeerPort()
{
    if (IsOpen())
        CloseStreamDevice(m_port);
}

bool PeerPort::Write(const std::string& bytes)
{
    DWORD written = 0;
    return WriteFile(m_port, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr) &&
           written == bytes.size();
}

std::string PeerPort::Read(size_t count, DWORD timeoutMs)
{
    std::string bytes;
    const ULONGLONG until = GetTickCount64() + timeoutMs;
    while (bytes.size() < count) {
        const ULONGLONG now = GetTickCount64();
        if (now >= until)
            break;
        COMMTIMEOUTS timeouts = {};
        timeouts.ReadIntervalTimeout = 20;
        timeouts.ReadTotalTimeoutConstant = static_cast<DWORD>(until - now);
        SetCommTimeouts(m_port, &timeouts);
        char chunk[4096];
        const DWORD wanted = static_cast<DWORD>(
            count - bytes.size() < sizeof chunk ? count - bytes.size() : sizeof chunk);
        DWORD read = 0;
        if (!ReadFile(m_port, chunk, wanted, &read, nullptr))
            break;
        bytes.append(chunk, read);
    }
    return bytes;
}

std::string PeerPort::ReadUntilQuiet(DWORD quietMs)
{
    std::string bytes;
    for (;;) {
        const std::string more = Read(4096, quietMs);
        if (more.empty())
            return bytes;
        bytes += more;
    }
}
