// The line as the link and its readers share it: the device of each
// session, lines written to it, and commands paired with their replies.
#include "link/link_share.h"

#include <stdlib.h>
#include <wchar.h>

#include "ce/events.h"
#include "link/link_reader.h"
#include "link/tick_span.h"

namespace {

constexpr DWORD kReplyTimeoutMs = 1000;
constexpr DWORD kIdlePollMs = 100;  // the read wait a device starts with
// For a driver that does not say its line's speed: slow, so that no write
// on a working line runs out of time.
constexpr uint32_t kUnknownLineBitsPerSecond = 9600;

class StateLock {
public:
    explicit StateLock(CRITICAL_SECTION* lock) : m_lock(lock) { EnterCriticalSection(m_lock); }
    ~StateLock() { LeaveCriticalSection(m_lock); }
    StateLock(const StateLock&) = delete;
    StateLock& operator=(const StateLock&) = delete;

private:
    CRITICAL_SECTION* m_lock;
};

}  // namespace

int WaitAnsweringOwner(HWND owner, DWORD count, const HANDLE* objects, DWORD milliseconds)
{
    const bool ownersThread = GetWindowThreadProcessId(owner, nullptr) == GetCurrentThreadId();
    const DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        if (ownersThread)
            PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        const DWORD left =
            milliseconds == INFINITE ? INFINITE : TicksLeft(start, milliseconds, GetTickCount());
        const DWORD result =
            ownersThread
                ? MsgWaitForMultipleObjectsEx(count, objects, left, QS_SENDMESSAGE,
                                              MWMO_INPUTAVAILABLE)
                : WaitForMultipleObjects(count, objects, FALSE, left);
        if (result < WAIT_OBJECT_0 + count)
            return static_cast<int>(result - WAIT_OBJECT_0);
        if (result >= WAIT_ABANDONED_0 && result < WAIT_ABANDONED_0 + count)
            return static_cast<int>(result - WAIT_ABANDONED_0);
        if (result != WAIT_OBJECT_0 + count || left == 0)
            return -1;
    }
}

bool PrepareDevice(HANDLE device, PortTiming* timing)
{
    DCB line = {};
    line.DCBlength = sizeof line;
    const bool known = GetCommState(device, &line) != FALSE && line.BaudRate != 0;
    timing->bitsPerSecond = known ? line.BaudRate : kUnknownLineBitsPerSecond;
    timing->bitsPerByte = BitsPerByte(line.ByteSize, line.Parity != NOPARITY, line.StopBits);
    timing->timeouts = {};
    timing->timeouts.ReadTotalTimeoutConstant = kIdlePollMs;
    timing->timeouts.WriteTotalTimeoutConstant =
        WriteAllowanceMs(timing->bitsPerSecond, timing->bitsPerByte, 1);
    return SetCommTimeouts(device, &timing->timeouts) != FALSE;
}

LinkShare::LinkShare(const wchar_t* portName, HWND ownerWindow, UINT ownerMessage)
    : m_portName{},
      m_ownerWindow(ownerWindow),
      m_ownerMessage(ownerMessage),
      m_replyArrived(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      m_commands(CreateMutexW(nullptr, FALSE, nullptr)),
      m_menuBuild(CreateMutexW(nullptr, FALSE, nullptr))
{
    if (portName != nullptr && wcslen(portName) < _countof(m_portName))
        wcscpy(m_portName, portName);
    InitializeCriticalSection(&m_state);
    InitializeCriticalSection(&m_writing);
}

LinkShare::~LinkShare()
{
    DeleteCriticalSection(&m_state);
    DeleteCriticalSection(&m_writing);
    for (HANDLE object : {m_replyArrived, m_commands, m_menuBuild}) {
        if (object != nullptr)
            CloseHandle(object);
    }
}

bool LinkShare::Usable() const
{
    return m_replyArrived != nullptr && m_commands != nullptr && m_menuBuild != nullptr;
}

void LinkShare::Release()
{
    if (--m_references == 0)
        delete this;
}

// Under the state lock the reader's stop and its session's start are one
// step: a reader asked to stop never publishes a device.
bool LinkShare::Publish(LinkReader& reader, HANDLE device, const PortTiming& timing,
                        uint32_t* session)
{
    StateLock lock(&m_state);
    if (reader.StopAsked())
        return false;
    EndSession();
    m_device = device;
    m_timing = timing;
    m_sessionReader = &reader;
    *session = m_session;
    return true;
}

void LinkShare::EndSessionOf(const LinkReader& reader)
{
    StateLock lock(&m_state);
    if (m_sessionReader == &reader)
        EndSession();
}

// Under the state lock: the next session's number, no device, nothing owed,
// and the open wait over.
void LinkShare::EndSession()
{
    m_device = INVALID_HANDLE_VALUE;
    m_sessionReader = nullptr;
    ++m_session;
    m_closing = false;
    m_writesStopped = false;
    m_replies.Forget();
    EventModify(m_replyArrived, EVENT_SET);
}

void LinkShare::StopReader(LinkReader& reader)
{
    StateLock lock(&m_state);
    reader.AskToStop();
    if (m_sessionReader == &reader)
        m_closing = true;
}

bool LinkShare::SetReadWait(uint32_t session, DWORD waitMs)
{
    StateLock lock(&m_state);
    return session == m_session &&
           SetTimeout(m_device, &COMMTIMEOUTS::ReadTotalTimeoutConstant, waitMs);
}

void LinkShare::WaitForWrites()
{
    EnterCriticalSection(&m_writing);
    LeaveCriticalSection(&m_writing);
}

// Under the state lock: the write that follows may last what its bytes
// take at the line's speed and a margin, and no longer, so that a line that
// stops draining (a Bluetooth link whose flow stops) holds neither the
// writer nor the next line for long. Lines of about one length share one
// setting, which spares the device a call for each. The driver takes a
// write's timeouts as it begins, so the reader's changes of its read wait
// meanwhile leave the write its allowance.
bool LinkShare::AllowWrite(HANDLE device, size_t bytes)
{
    return SetTimeout(device, &COMMTIMEOUTS::WriteTotalTimeoutConstant,
                      WriteAllowanceMs(m_timing.bitsPerSecond, m_timing.bitsPerByte, bytes));
}

// One of the device's timeouts, the others kept as the link set them.
bool LinkShare::SetTimeout(HANDLE device, DWORD COMMTIMEOUTS::*timeout, DWORD milliseconds)
{
    if (m_timing.timeouts.*timeout == milliseconds)
        return true;
    COMMTIMEOUTS timeouts = m_timing.timeouts;
    timeouts.*timeout = milliseconds;
    if (!SetCommTimeouts(device, &timeouts))
        return false;
    m_timing.timeouts = timeouts;
    return true;
}

// A line leaves with its CR in one write: a write that fails sends no CR
// that would make the far end act on the part that went (which then joins
// the next line there, and gets its answer), and every write
// costs a round trip to the Wine server, or a radio packet of its own on a
// Bluetooth serial port. The phone answers lines in the order they went,
// so the reply a line asks for takes its place among those to come as it
// goes, under the write lock; a line that does not go gives up its place.
int LinkShare::Send(const char* text, LineKind kind, const char* expected,
                    std::optional<uint32_t> submenuBuild)
{
    std::string line = text;
    line += '\r';
    const DWORD length = static_cast<DWORD>(line.size());
    EnterCriticalSection(&m_writing);
    HANDLE device;
    uint32_t session, ticket = 0;
    bool goes;
    {
        StateLock lock(&m_state);
        device = m_device;
        session = m_session;
        goes = device != INVALID_HANDLE_VALUE && !m_writesStopped &&
               (!submenuBuild || *submenuBuild == m_submenuBuilds) && AllowWrite(device, length);
        if (goes && kind == LineKind::kAwaitsReply)
            m_replies.Await(m_reads, expected);
        if (goes && kind == LineKind::kReplyOwed)
            ticket = m_replies.Owe(m_reads);
    }
    DWORD written = 0;
    if (goes)
        WriteFile(device, line.data(), length, &written, nullptr);
    const bool went = written == length;
    if (goes && !went) {
        // Also when the device went meanwhile: no wait of a command whose
        // line did not go stays open for the next to find.
        StateLock lock(&m_state);
        if (kind == LineKind::kAwaitsReply)
            m_replies.Withdraw();
        if (kind == LineKind::kReplyOwed)
            m_replies.Forgive(ticket);
        if (session == m_session)
            m_writesStopped = m_closing;
    }
    LeaveCriticalSection(&m_writing);
    return went ? 1 : 0;
}

int LinkShare::Exchange(const char* command, const char* expected,
                        std::optional<uint32_t> submenuBuild)
{
    const bool awaited = expected != nullptr && expected[0] != '\0';
    if (WaitAnsweringOwner(m_ownerWindow, 1, &m_commands, INFINITE) != 0)
        return 0;
    int result = Send(command, awaited ? LineKind::kAwaitsReply : LineKind::kNoReply,
                      awaited ? expected : "", submenuBuild);
    if (awaited && result != 0)
        result = AwaitOpenReply();
    ReleaseMutex(m_commands);
    return result;
}

// A caller that wrote its line itself gets a wait of its own, from now on.
int LinkShare::AwaitReply(const char* expected)
{
    if (WaitAnsweringOwner(m_ownerWindow, 1, &m_commands, INFINITE) != 0)
        return 0;
    {
        StateLock lock(&m_state);
        m_replies.Await(m_reads, expected != nullptr ? expected : "");
    }
    const int result = AwaitOpenReply();
    ReleaseMutex(m_commands);
    return result;
}

// A signal left from a wait that ran out may still be set: the wait's own
// state decides.
int LinkShare::AwaitOpenReply()
{
    const DWORD start = GetTickCount();
    for (DWORD left = kReplyTimeoutMs; left != 0 && !WaitOver();
         left = TicksLeft(start, kReplyTimeoutMs, GetTickCount()))
        WaitForSingleObject(m_replyArrived, left);
    StateLock lock(&m_state);
    return m_replies.Finish();
}

bool LinkShare::WaitOver()
{
    StateLock lock(&m_state);
    return m_replies.Over();
}

void LinkShare::OfferReply(uint32_t session, uint32_t readNumber, const char* line)
{
    StateLock lock(&m_state);
    if (session == m_session && m_replies.Offer(readNumber, line))
        EventModify(m_replyArrived, EVENT_SET);
}

// The reader asks through its own gate; any other thread asks directly.
bool LinkShare::Ask(LinkReader* asker, WORD code, WORD value, LPARAM lParam, LRESULT* answer)
{
    if (asker != nullptr)
        return asker->AskOwner(code, value, lParam, answer);
    *answer = SendMessageW(m_ownerWindow, m_ownerMessage, MAKEWPARAM(value, code), lParam);
    return true;
}
