#include "testbed/peer.h"

#include "ce/stream_device.h"
#include "testbed/wait.h"

namespace {

void ThrowAwayPending(HANDLE port)
{
    PurgeComm(port, PURGE_RXCLEAR | PURGE_TXCLEAR | PURGE_RXABORT | PURGE_TXABORT);
}

}  // namespace

size_t Occurrences(const std::string& bytes, const std::string& text)
{
    size_t count = 0;
    for (size_t at = 0; (at = bytes.find(text, at)) != std::string::npos; at += text.size())
        ++count;
    return count;
}

Peer::Peer(const NullModemPair& pair, std::string reply, Start start)
    : m_port(OpenStreamDevice(pair.peerDevice)),
      m_arrived(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      m_stop(0),
      m_reply(std::move(reply)),
      m_lastArrival(NowMs()),
      m_listener(nullptr)
{
    if (start == kPurgeBothEnds) {
        const HANDLE link = OpenStreamDevice(pair.linkDevice);
        if (link != INVALID_HANDLE_VALUE) {
            ThrowAwayPending(link);
            CloseStreamDevice(link);
        }
    }
    if (!IsOpen())
        return;
    if (start == kPurgeBothEnds)
        ThrowAwayPending(m_port);
    // A read of one byte returns as that byte arrives; the rest of what has
    // come is taken at once after it.
    COMMTIMEOUTS timeouts = {};
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

template <typename Condition>
bool Peer::WaitUntil(Condition condition, DWORD timeoutMs)
{
    const ULONGLONG until = GetTickCount64() + timeoutMs;
    WaitingScope waiter(m_waiters);
    while (!condition()) {
        const ULONGLONG now = GetTickCount64();
        if (now >= until)
            return false;
        WaitForSingleObject(m_arrived, static_cast<DWORD>(until - now));
    }
    return true;
}

bool Peer::WaitForLines(size_t count, DWORD timeoutMs)
{
    return WaitUntil([&] { return ReceivedLines().size() >= count; }, timeoutMs);
}

bool Peer::WaitForText(const std::string& text, size_t count, DWORD timeoutMs)
{
    return WaitUntil([&] { return Occurrences(Received(), text) >= count; }, timeoutMs);
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
    WaitingScope waiter(m_waiters);
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

DWORD WINAPI Peer::Listen(LPVOID param)
{
    auto* self = static_cast<Peer*>(param);
    char chunk[4096];
    while (InterlockedCompareExchange(&self->m_stop, 0, 0) == 0) {
        DWORD read = 0, more = 0, errors = 0;
        COMSTAT status = {};
        if (!ReadFile(self->m_port, chunk, 1, &read, nullptr) ||
            !ClearCommError(self->m_port, &errors, &status)) {
            Sleep(20);  // a line whose far end has gone fails at once
            continue;
        }
        if (read == 0)
            continue;
        if (status.cbInQue != 0)
            ReadFile(self->m_port, chunk + 1,
                     status.cbInQue < sizeof chunk - 1 ? status.cbInQue : sizeof chunk - 1,
                     &more, nullptr);
        self->OnBytes(chunk, read + more);
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
    if (m_waiters.load() != 0)
        SetEvent(m_arrived);
}
