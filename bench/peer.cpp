#include "bench/peer.h"

#include "ce/stream_device.h"

namespace {

void ThrowAwayPending(HANDLE port)
{
    PurgeComm(port, PURGE_RXCLEAR | PURGE_TXCLEAR | PURGE_RXABORT | PURGE_TXABORT);
}

}  // namespace

Peer::Peer(const NullModemPair& pair, std::string reply)
    : m_port(OpenStreamDevice(pair.peerDevice)),
      m_arrived(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      m_stop(0),
      m_reply(std::move(reply)),
      m_lastArrival(NowMs()),
      m_listener(nullptr)
{
    const HANDLE linkEnd = OpenStreamDevice(pair.linkDevice);
    if (linkEnd != INVALID_HANDLE_VALUE) {
        ThrowAwayPending(linkEnd);
        CloseStreamDevice(linkEnd);
    }
    if (!IsOpen())
        return;
    ThrowAwayPending(m_port);
    COMMTIMEOUTS timeouts = {};
    timeouts.ReadIntervalTimeout = 20;
    timeouts.ReadTotalTimeoutConstant = 50;
    SetCommTimeouts(m_port, &timeouts);
    m_listener = CreateThread(nullptr, 0, Listen, this, 0, nullptr);
}

Peer::~Peer()
{
    Hangup();
    CloseHandle(m_arrived);
}

void Peer::Hangup()
{
    InterlockedExchange(&m_stop, 1);
    if (m_listener != nullptr) {
        WaitForSingleObject(m_listener, INFINITE);
        CloseHandle(m_listener);
        m_listener = nullptr;
    }
    if (IsOpen())
        CloseStreamDevice(m_port);
    m_port = INVALID_HANDLE_VALUE;
}

bool Peer::Send(const std::string& bytes)
{
    DWORD written = 0;
    return WriteFile(m_port, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr) &&
           written == bytes.size();
}

void Peer::SetReply(std::string reply)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_reply = std::move(reply);
}

std::string Peer::Received() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_received;
}

Lines Peer::ReceivedLines() const
{
    Lines lines;
    const std::string bytes = Received();
    for (size_t start = 0, end; (end = bytes.find('\r', start)) != std::string::npos;
         start = end + 1)
        lines.push_back(bytes.substr(start, end - start));
    return lines;
}

void Peer::Forget()
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_received.clear();
}

bool Peer::WaitForLines(size_t count, DWORD timeoutMs)
{
    const ULONGLONG until = GetTickCount64() + timeoutMs;
    while (ReceivedLines().size() < count) {
        const ULONGLONG now = GetTickCount64();
        if (now >= until)
            return false;
        WaitForSingleObject(m_arrived, static_cast<DWORD>(until - now));
    }
    return true;
}

std::string Peer::Exchange(const std::string& bytes, DWORD quietMs)
{
    Forget();
    Send(bytes);
    return ReceivedWhenQuiet(quietMs);
}

std::string Peer::ReceivedWhenQuiet(DWORD quietMs)
{
    const double since = NowMs();
    for (;;) {
        const double last = LastArrivalMs() > since ? LastArrivalMs() : since;
        const double now = NowMs();
        if (now >= last + quietMs)
            return Received();
        WaitForSingleObject(m_arrived, static_cast<DWORD>(last + quietMs - now) + 1);
    }
}

double Peer::LastArrivalMs() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_lastArrival;
}

double NowMs()
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

DWORD WINAPI Peer::Listen(LPVOID param)
{
    auto* self = static_cast<Peer*>(param);
    char chunk[4096];
    while (InterlockedCompareExchange(&self->m_stop, 0, 0) == 0) {
        DWORD read = 0;
        if (!ReadFile(self->m_port, chunk, sizeof chunk, &read, nullptr))
            Sleep(20);  // a line whose far end has gone fails at once
        else if (read != 0)
            self->OnBytes(chunk, read);
    }
    return 0;
}

// A phone accepts every non-empty line, as the program does.
void Peer::OnBytes(const char* bytes, DWORD length)
{
    std::string answers;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_received.append(bytes, length);
        m_lastArrival = NowMs();
        for (DWORD i = 0; i < length; ++i) {
            if (bytes[i] != '\r') {
                m_pending += bytes[i];
            } else {
                if (!m_pending.empty())
                    answers += m_reply;
                m_pending.clear();
            }
        }
    }
    if (!answers.empty())
        Send(answers);
    SetEvent(m_arrived);
}
