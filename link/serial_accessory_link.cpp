// The line: the device opened, read by the reader thread and opened again
// when it fails, its lines handed to the owner, lines written to it.
#include "link/serial_accessory_link.h"

#include <new>
#include <string.h>
#include <wchar.h>

#include "ce/stream_device.h"
#include "link/line_framing.h"
#include "link/tick_span.h"

namespace {

constexpr size_t kBatchLimit = 2047;
constexpr DWORD kIdlePollMs = 100;     // how soon the reader sees Close
constexpr DWORD kLinePauseMs = 200;    // a pause longer than this ends a line
constexpr DWORD kReopenIntervalMs = 1000;
constexpr DWORD kReaderCheckIntervalMs = 500;
constexpr int kReaderChecks = 4;

// A read of one byte with only a total timeout returns as soon as that byte
// is there, or after `waitMs` with nothing. (Serial drivers document it so;
// the interval timeout's "return at the first byte" form does not return
// early under Wine.)
bool SetReadWait(HANDLE port, DWORD waitMs)
{
    COMMTIMEOUTS timeouts = {};
    timeouts.ReadTotalTimeoutConstant = waitMs;
    timeouts.WriteTotalTimeoutMultiplier = 200;
    timeouts.WriteTotalTimeoutConstant = 200;
    return SetCommTimeouts(port, &timeouts) != FALSE;
}

// Waits for the first byte, then takes what else is queued, up to `room`
// bytes, into `into`. False when the device fails: the read or its status.
bool ReadArrivedBytes(HANDLE port, char* into, size_t room, size_t* read)
{
    DWORD first = 0;
    if (!ReadFile(port, into, 1, &first, nullptr))
        return false;
    DWORD errors = 0;
    COMSTAT status = {};
    if (!ClearCommError(port, &errors, &status))
        return false;
    DWORD more = 0;
    if (first == 1 && status.cbInQue != 0 && room > 1) {
        const DWORD wanted = static_cast<DWORD>(
            status.cbInQue < room - 1 ? status.cbInQue : room - 1);
        if (!ReadFile(port, into + 1, wanted, &more, nullptr))
            return false;
    }
    *read = first + more;
    return true;
}

bool BytesWaiting(HANDLE port)
{
    DWORD errors = 0;
    COMSTAT status = {};
    return ClearCommError(port, &errors, &status) && status.cbInQue != 0;
}

// Waits for `object` on this thread while still answering messages that
// other threads send to its windows; true once it is signalled.
bool WaitAnsweringSentMessages(HANDLE object, DWORD milliseconds)
{
    const DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        if (WaitForSingleObject(object, 0) == WAIT_OBJECT_0)
            return true;
        const DWORD left = TicksLeft(start, milliseconds, GetTickCount());
        if (left == 0)
            return false;
        MsgWaitForMultipleObjectsEx(1, &object, left, QS_SENDMESSAGE, MWMO_INPUTAVAILABLE);
    }
}

}  // namespace

AccessoryLink* CreateAccessoryLink(const wchar_t* portName, HWND ownerWindow,
                                   UINT ownerMessage)
{
    SerialAccessoryLink* link =
        new (std::nothrow) SerialAccessoryLink(portName, ownerWindow, ownerMessage);
    if (link != nullptr && !link->Usable()) {
        delete link;
        return nullptr;
    }
    return link;
}

DWORD WINAPI ReaderThread(LPVOID link)
{
    static_cast<SerialAccessoryLink*>(link)->RunReader();
    return 0;
}

SerialAccessoryLink::SerialAccessoryLink(const wchar_t* portName, HWND ownerWindow,
                                         UINT ownerMessage)
    : m_portName{},
      m_ownerWindow(ownerWindow),
      m_ownerMessage(ownerMessage),
      m_currentMenuId(1),
      m_registers(false),
      m_port(INVALID_HANDLE_VALUE),
      m_readerThread(nullptr),
      m_readerThreadId(0),
      m_handedOverLine(nullptr),
      m_receiveBuffer{}
{
    if (portName != nullptr && wcslen(portName) < _countof(m_portName))
        wcscpy(m_portName, portName);
    m_replyAwaited = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    m_replyArrived = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    m_replyConsumed = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    InitializeCriticalSection(&m_lock);
    InitializeCriticalSection(&m_portLock);
}

SerialAccessoryLink::~SerialAccessoryLink()
{
    SerialAccessoryLink::Close();
    DeleteCriticalSection(&m_lock);
    DeleteCriticalSection(&m_portLock);
    for (HANDLE event : {m_replyAwaited, m_replyArrived, m_replyConsumed}) {
        if (event != nullptr)
            CloseHandle(event);
    }
}

bool SerialAccessoryLink::Usable() const
{
    return m_replyAwaited != nullptr && m_replyArrived != nullptr &&
           m_replyConsumed != nullptr;
}

// An open link stays as it is, also while its reader waits for the device
// to come back: a second Open fails without touching it. A device that does
// not open is left to the reader, which tries it again as it would a device
// that has gone; a name that fits no device is refused outright.
int SerialAccessoryLink::Open(const char* menuName)
{
    if (m_readerThread != nullptr || m_port != INVALID_HANDLE_VALUE || m_portName[0] == L'\0')
        return 0;
    const HANDLE port = OpenStreamDevice(m_portName);
    m_port = port;
    m_registers = menuName != nullptr;
    m_menuName = m_registers ? menuName : "";

    // Suspended, so that the reader finds itself running at its first check.
    DWORD readerId = 0;
    const HANDLE reader =
        CreateThread(nullptr, 0, ReaderThread, this, CREATE_SUSPENDED, &readerId);
    if (reader == nullptr) {
        if (port != INVALID_HANDLE_VALUE)
            CloseStreamDevice(port);
        m_port = INVALID_HANDLE_VALUE;
        return 0;
    }
    m_readerThread = reader;
    m_readerThreadId = readerId;
    ResumeThread(reader);

    if (port == INVALID_HANDLE_VALUE)
        return 0;
    if (m_registers)
        Register();
    return 1;
}

int SerialAccessoryLink::Close()
{
    EnterCriticalSection(&m_lock);
    const HANDLE reader = m_readerThread.exchange(nullptr);
    if (reader != nullptr) {
        StopReader(reader);
        CloseHandle(reader);
        m_readerThreadId = 0;
    }
    const HANDLE port = m_port.exchange(INVALID_HANDLE_VALUE);
    if (port != INVALID_HANDLE_VALUE)
        CloseStreamDevice(port);
    LeaveCriticalSection(&m_lock);
    return 0;
}

// The running flag is already cleared; the reader ends at its next poll.
// Each check waits for it to end, up to the check interval, so that Close
// returns as soon as it has; it is forced only when it still runs after the
// last check.
void SerialAccessoryLink::StopReader(HANDLE reader)
{
    for (int check = 1; check <= kReaderChecks; ++check) {
        if (WaitForReader(reader, kReaderCheckIntervalMs))
            return;
    }
    TerminateThread(reader, 0);
    WaitForSingleObject(reader, INFINITE);
}

// On the owner's thread the reader may be blocked sending this thread a
// line: answer it, so that the reader finishes by itself instead of being
// forced while its message is still queued for the owner, which would then
// handle a line from a link that no longer exists.
bool SerialAccessoryLink::WaitForReader(HANDLE reader, DWORD milliseconds)
{
    if (GetWindowThreadProcessId(m_ownerWindow, nullptr) == GetCurrentThreadId())
        return WaitAnsweringSentMessages(reader, milliseconds);
    return WaitForSingleObject(reader, milliseconds) == WAIT_OBJECT_0;
}

int SerialAccessoryLink::WriteLine(const char* text)
{
    if (m_port == INVALID_HANDLE_VALUE)
        return 0;
    EnterCriticalSection(&m_lock);
    EnterCriticalSection(&m_portLock);
    const HANDLE port = m_port;  // invalid while the device is away
    const DWORD length = static_cast<DWORD>(strlen(text));
    DWORD textWritten = 0;
    DWORD endWritten = 0;
    if (port != INVALID_HANDLE_VALUE) {
        WriteFile(port, text, length, &textWritten, nullptr);
        WriteFile(port, "\r", 1, &endWritten, nullptr);
    }
    LeaveCriticalSection(&m_portLock);
    LeaveCriticalSection(&m_lock);
    return textWritten == length && endWritten == 1;
}

// Complete lines go out as soon as their CR is read. The unfinished line
// after them stays at the start of the buffer and goes out as it stands
// once the bytes pause for more than kLinePauseMs, or when the device
// fails. A device that fails, or that Open could not open, is opened again.
void SerialAccessoryLink::RunReader()
{
    HANDLE port = m_port;
    DWORD lastOpenTick = GetTickCount();
    DWORD lastByteTick = 0;
    DWORD wait = 0;     // the read wait the device is set to; 0: not yet set
    size_t held = 0;    // bytes of an unfinished line at the buffer's start
    while (m_readerThread != nullptr) {
        if (port == INVALID_HANDLE_VALUE) {
            if (!ReopenDevice(&lastOpenTick))
                return;
            port = m_port;
            wait = 0;
            AskOwner(LN_DEVICE_STATE, 1, 0);
            AnnounceAgain();
            continue;
        }
        DWORD nextWait = kIdlePollMs;
        if (held != 0) {
            // Bytes that came while the owner kept the reader busy past the
            // pause continue the line: no pause was seen.
            const DWORD pauseLeft = TicksLeft(lastByteTick, kLinePauseMs + 1, GetTickCount());
            if (pauseLeft == 0 && !BytesWaiting(port)) {
                DispatchHeldLine(&held);
                continue;
            }
            nextWait = pauseLeft == 0 ? 1 : (pauseLeft < nextWait ? pauseLeft : nextWait);
        }
        size_t read = 0;
        if ((nextWait != wait && !SetReadWait(port, nextWait)) ||
            !ReadArrivedBytes(port, m_receiveBuffer + held, kBatchLimit - held, &read)) {
            DispatchHeldLine(&held);
            DropDevice();
            port = INVALID_HANDLE_VALUE;
            AskOwner(LN_DEVICE_STATE, 0, 0);
            continue;
        }
        wait = nextWait;
        if (read == 0)
            continue;
        lastByteTick = GetTickCount();
        const bool full = held + read >= kBatchLimit;
        const size_t length = held + CleanBatch(m_receiveBuffer + held, read);
        const size_t ready = CompleteLinesLength(m_receiveBuffer, length, full);
        DispatchLines(ready);
        held = length - ready;
        memmove(m_receiveBuffer, m_receiveBuffer + ready, held);
        memset(m_receiveBuffer + held, 0, sizeof m_receiveBuffer - held);
    }
}

// Hands over the lines in the buffer's first `length` bytes, which are
// followed by a terminator.
void SerialAccessoryLink::DispatchLines(size_t length)
{
    LineCursor cursor = {m_receiveBuffer, m_receiveBuffer + length};
    size_t lineLength = 0;
    while (char* line = NextLine(cursor, &lineLength))
        DispatchLine(line, lineLength);
}

// The unfinished line goes out as it stands.
void SerialAccessoryLink::DispatchHeldLine(size_t* held)
{
    DispatchLines(*held);
    memset(m_receiveBuffer, 0, *held);
    *held = 0;
}

// Writers see the link as closed until the device is back.
void SerialAccessoryLink::DropDevice()
{
    EnterCriticalSection(&m_portLock);
    const HANDLE port = m_port.exchange(INVALID_HANDLE_VALUE);
    LeaveCriticalSection(&m_portLock);
    CloseStreamDevice(port);
}

// Opens the device again, at most once every kReopenIntervalMs, until it
// opens or the reader is to stop; false then.
bool SerialAccessoryLink::ReopenDevice(DWORD* lastOpenTick)
{
    while (m_readerThread != nullptr) {
        const DWORD left = TicksLeft(*lastOpenTick, kReopenIntervalMs, GetTickCount());
        if (left != 0) {
            Sleep(left < kIdlePollMs ? left : kIdlePollMs);
            continue;
        }
        *lastOpenTick = GetTickCount();
        const HANDLE port = OpenStreamDevice(m_portName);
        if (port != INVALID_HANDLE_VALUE) {
            EnterCriticalSection(&m_portLock);
            m_port = port;
            LeaveCriticalSection(&m_portLock);
            return true;
        }
    }
    return false;
}

void SerialAccessoryLink::DispatchLine(char* line, size_t length)
{
    if (SendMessageW(m_ownerWindow, m_ownerMessage,
                     MAKEWPARAM(static_cast<WORD>(length), LN_LINE),
                     reinterpret_cast<LPARAM>(line)) != 0)
        return;
    TakeLeftLine(line);
}

LRESULT SerialAccessoryLink::AskOwner(WORD code, WORD value, LPARAM lParam)
{
    return SendMessageW(m_ownerWindow, m_ownerMessage, MAKEWPARAM(value, code), lParam);
}
