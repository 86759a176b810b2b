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

constexpr DWORD kIdlePollMs = 100;  // how soon the reader sees Close
constexpr DWORD kReopenIntervalMs = 1000;
constexpr DWORD kReaderCheckIntervalMs = 500;
constexpr int kReaderChecks = 4;
// For a driver that does not say its line's speed: slow, so that no write
// on a working line runs out of time.
constexpr uint32_t kUnknownLineBitsPerSecond = 9600;

// A byte on the line: a start bit, its data bits, a parity bit if any and
// its stop bits (one and a half counted as two).
uint32_t BitsPerByte(const DCB& line)
{
    const uint32_t dataBits = line.ByteSize >= 5 && line.ByteSize <= 8 ? line.ByteSize : 8;
    return 1 + dataBits + (line.Parity != NOPARITY ? 1 : 0) + (line.StopBits == ONESTOPBIT ? 1 : 2);
}

// Waits for the first byte, then takes what else is queued, up to `room`
// bytes, into `into`. False when the device fails: a read or its status.
// *read counts what was stored, also when a read fails after storing some.
bool ReadArrivedBytes(HANDLE port, char* into, size_t room, size_t* read)
{
    DWORD first = 0;
    const bool firstRead = ReadFile(port, into, 1, &first, nullptr) != FALSE;
    *read = first;
    DWORD errors = 0;
    COMSTAT status = {};
    if (!firstRead || !ClearCommError(port, &errors, &status))
        return false;
    if (first == 1 && status.cbInQue != 0 && room > 1) {
        const DWORD wanted = static_cast<DWORD>(
            status.cbInQue < room - 1 ? status.cbInQue : room - 1);
        DWORD more = 0;
        const bool moreRead = ReadFile(port, into + 1, wanted, &more, nullptr) != FALSE;
        *read += more;
        return moreRead;
    }
    return true;
}

bool BytesWaiting(HANDLE port)
{
    DWORD errors = 0;
    COMSTAT status = {};
    return ClearCommError(port, &errors, &status) && status.cbInQue != 0;
}

// Waits for `object` on this thread while still answering messages that
// other threads send to its windows; true once it is signalled (a mutex is
// then held, also one that its holder left by ending).
bool WaitAnsweringSentMessages(HANDLE object, DWORD milliseconds)
{
    const DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        const DWORD left =
            milliseconds == INFINITE ? INFINITE : TicksLeft(start, milliseconds, GetTickCount());
        const DWORD result =
            MsgWaitForMultipleObjectsEx(1, &object, left, QS_SENDMESSAGE, MWMO_INPUTAVAILABLE);
        if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED_0)
            return true;
        if (result != WAIT_OBJECT_0 + 1 || left == 0)
            return false;
    }
}

}  // namespace

// Where the reader is, as far as Close must know before it ends the reader
// by force: never inside a device's open, which would leave whatever the
// open holds (the device's claim) held for good. Close leaves a reader that
// is inside an open to finish it; this then belongs to that reader, which
// deletes it, and the link may be gone.
struct SerialAccessoryLink::ReaderPlace {
    enum Place { kRunning, kOpening, kLeftInOpen, kBeingForced };

    // The reader, before an open: false once Close is about to end it.
    bool StartOpen() { return Move(kRunning, kOpening); }
    // The reader, after it: false when Close has left it.
    bool FinishOpen() { return Move(kOpening, kRunning); }
    // Close: true when the reader is inside an open, and now left to it.
    bool LeaveInOpen() { return Move(kOpening, kLeftInOpen); }
    // Close: true when the reader is not inside an open and will not go
    // into one.
    bool KeepOutOfOpens() { return Move(kRunning, kBeingForced); }

    bool Move(Place from, Place to)
    {
        int expected = from;
        return place.compare_exchange_strong(expected, to);
    }

    std::atomic<int> place{kRunning};
};

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
      m_menuBuild(CreateMutexW(nullptr, FALSE, nullptr)),
      m_currentMenuId(1),
      m_submenuBuilds(0),
      m_registers(false),
      m_port(INVALID_HANDLE_VALUE),
      m_portTiming{},
      m_readerThread(nullptr),
      m_readerThreadId(0),
      m_readerPlace(nullptr),
      m_readerLocks(0),
      m_readerLockSteps(0),
      m_replyArrived(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      m_readCount(0)
{
    if (portName != nullptr && wcslen(portName) < _countof(m_portName))
        wcscpy(m_portName, portName);
    InitializeCriticalSection(&m_lock);
    InitializeCriticalSection(&m_portLock);
    InitializeCriticalSection(&m_timeoutsLock);
    InitializeCriticalSection(&m_replyLock);
}

SerialAccessoryLink::~SerialAccessoryLink()
{
    SerialAccessoryLink::Close();
    DeleteCriticalSection(&m_lock);
    DeleteCriticalSection(&m_portLock);
    DeleteCriticalSection(&m_timeoutsLock);
    DeleteCriticalSection(&m_replyLock);
    for (HANDLE object : {m_menuBuild, m_replyArrived}) {
        if (object != nullptr)
            CloseHandle(object);
    }
}

bool SerialAccessoryLink::Usable() const
{
    return m_menuBuild != nullptr && m_replyArrived != nullptr;
}

// An open link stays as it is, also while its reader waits for the device
// to come back: a second Open fails without touching it. A device that does
// not open is left to the reader, which tries it again as it would a device
// that has gone; a name that fits no device is refused outright.
int SerialAccessoryLink::Open(const char* menuName)
{
    if (m_readerThread != nullptr || m_port != INVALID_HANDLE_VALUE || m_portName[0] == L'\0')
        return 0;
    ReaderPlace* const place = new (std::nothrow) ReaderPlace;
    if (place == nullptr)
        return 0;
    const HANDLE port = MakeReady(OpenStreamDevice(m_portName), &m_portTiming);
    m_port = port;
    m_registers = menuName != nullptr;
    m_menuName = m_registers ? menuName : "";
    m_receiveBuffer = ReceiveBuffer();  // nothing of an earlier session's
    Lock(&m_replyLock);
    m_replies = ReplyPairing();  // nor a reply it still owed
    Unlock(&m_replyLock);

    // Suspended, so that the reader finds itself running at its first check.
    DWORD readerId = 0;
    const HANDLE reader =
        CreateThread(nullptr, 0, ReaderThread, this, CREATE_SUSPENDED, &readerId);
    if (reader == nullptr) {
        if (port != INVALID_HANDLE_VALUE)
            CloseStreamDevice(port);
        m_port = INVALID_HANDLE_VALUE;
        delete place;
        return 0;
    }
    m_readerPlace = place;
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
        if (StopReader(reader, m_readerPlace))
            delete m_readerPlace;
        m_readerPlace = nullptr;
        CloseHandle(reader);
        m_readerThreadId = 0;
    }
    DropDevice();
    LeaveCriticalSection(&m_lock);
    return 0;
}

// The running flag is already cleared; the reader ends at its next poll.
// Each check waits for it to end, up to the check interval, so that Close
// returns as soon as it has; it is forced only when it still runs after
// the last check, and never while it holds or waits for the port, the
// timeouts or the reply lock, which would then stay held: a write the
// reader has begun ends within the device's write timeout. A reader that was at a
// lock during its checks gets them afresh: forced as it left, it could be
// ending, or busy with the rest of its batch, and would die holding
// whatever it held then. A reader inside an open is left to it (false):
// the open may last seconds.
bool SerialAccessoryLink::StopReader(HANDLE reader, ReaderPlace* place)
{
    for (;;) {
        const unsigned stepsBefore = m_readerLockSteps;
        for (int check = 1; check <= kReaderChecks; ++check) {
            if (place->LeaveInOpen())
                return false;
            if (WaitMindingOwner(reader, kReaderCheckIntervalMs))
                return true;
        }
        if (m_readerLockSteps == stepsBefore && stepsBefore % 2 == 0 && place->KeepOutOfOpens())
            break;  // away from the locks through all the checks, and from opens
    }
    TerminateThread(reader, 0);
    WaitForSingleObject(reader, INFINITE);
    return true;
}

// On the owner's thread the reader may be blocked sending this thread a
// line or a query: answer it, so that the reader finishes by itself instead
// of being forced while its message is still queued for the owner, which
// would then handle a line from a link that no longer exists, and so that a
// reader building a submenu lets the menu lock go.
bool SerialAccessoryLink::WaitMindingOwner(HANDLE object, DWORD milliseconds)
{
    if (GetWindowThreadProcessId(m_ownerWindow, nullptr) == GetCurrentThreadId())
        return WaitAnsweringSentMessages(object, milliseconds);
    const DWORD result = WaitForSingleObject(object, milliseconds);
    return result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
}

int SerialAccessoryLink::WriteLine(const char* text)
{
    return WriteLineIfLatest(text, std::nullopt, nullptr);
}

// A line leaves with its CR in one write: a write that fails sends no CR
// that would make the far end act on the part that went, and every write
// costs a round trip to the Wine server, or a radio packet of its own on a
// Bluetooth serial port. Only the port lock is taken, so that the reader,
// which writes the accessory's answers, never waits for a command in
// progress. A submenu's line goes only while no later submenu has been
// built: checked under the port lock, so that a later one, whose line
// waits for the lock or comes after, always goes after it. The phone
// answers lines in the order they went, so the reply to a line that asks
// for one (`expected`) takes its place among the replies to come under the
// port lock too: a command's wait opens just before its line goes, since
// the reply may be read as the write ends; the reader's own line, whose
// reply nobody waits for, leaves it owed once it has gone (nothing is read
// meanwhile).
int SerialAccessoryLink::WriteLineIfLatest(const char* text, std::optional<uint32_t> submenuBuild,
                                           const char* expected)
{
    if (m_port == INVALID_HANDLE_VALUE)
        return 0;
    std::string line = text;
    line += '\r';
    const DWORD length = static_cast<DWORD>(line.size());
    const bool answered = expected != nullptr && expected[0] != '\0';
    const bool byReader = GetCurrentThreadId() == m_readerThreadId;
    DWORD written = 0;
    Lock(&m_portLock);
    const HANDLE port = m_port;  // invalid while the device is away
    const bool latest = !submenuBuild || *submenuBuild == m_submenuBuilds;
    if (port != INVALID_HANDLE_VALUE && latest && AllowWrite(port, length)) {
        if (answered && !byReader) {
            Lock(&m_replyLock);
            m_replies.Await(m_readCount, expected);
            Unlock(&m_replyLock);
        }
        WriteFile(port, line.data(), length, &written, nullptr);
        if (answered && byReader && written == length) {
            Lock(&m_replyLock);
            m_replies.Owe(m_readCount);
            Unlock(&m_replyLock);
        }
    }
    Unlock(&m_portLock);
    return written == length;
}

// Under the port lock: the write that follows may last what its bytes take
// at the line's speed and a margin, and no longer, so that a line that stops
// draining (a Bluetooth link whose flow stops) holds neither the writer nor
// the port lock, nor Close, for long. Lines of about one length share one
// setting, which spares the device a call for each. The driver takes a
// write's timeouts as it begins, so the reader's changes of its read wait
// meanwhile leave the write its allowance.
bool SerialAccessoryLink::AllowWrite(HANDLE port, size_t bytes)
{
    return SetTimeout(port, &COMMTIMEOUTS::WriteTotalTimeoutConstant,
                      WriteAllowanceMs(m_portTiming.bitsPerSecond, m_portTiming.bitsPerByte, bytes));
}

// A read of one byte with only a total timeout returns as soon as that byte
// is there, or after `waitMs` with nothing. (Serial drivers document it so;
// the interval timeout's "return at the first byte" form does not return
// early under Wine.) Set also while a write lasts.
bool SerialAccessoryLink::SetReadWait(HANDLE port, DWORD waitMs)
{
    return SetTimeout(port, &COMMTIMEOUTS::ReadTotalTimeoutConstant, waitMs);
}

// One of the device's timeouts, the others kept as the link set them.
bool SerialAccessoryLink::SetTimeout(HANDLE port, DWORD COMMTIMEOUTS::*timeout,
                                     DWORD milliseconds)
{
    Lock(&m_timeoutsLock);
    COMMTIMEOUTS timeouts = m_portTiming.timeouts;
    timeouts.*timeout = milliseconds;
    const bool set = m_portTiming.timeouts.*timeout == milliseconds ||
                     SetCommTimeouts(port, &timeouts) != FALSE;
    if (set)
        m_portTiming.timeouts = timeouts;
    Unlock(&m_timeoutsLock);
    return set;
}

// Complete lines go out as soon as their CR is read; the unfinished line
// after them waits in the buffer for its rest (see ReceiveBuffer), and goes
// out as it stands when the device fails. A device that fails, or that Open
// could not open, is opened again.
void SerialAccessoryLink::RunReader()
{
    ReaderPlace* const place = m_readerPlace;
    HANDLE port = m_port;
    DWORD lastOpenTick = GetTickCount();
    DWORD wait = kIdlePollMs;  // the read wait the device is set to, from its open
    while (m_readerThread != nullptr) {
        if (port == INVALID_HANDLE_VALUE) {
            if (!ReopenDevice(place, &lastOpenTick))
                return;  // to end, or left inside an open: touch nothing more
            port = m_port;
            wait = 0;
            AskOwner(LN_DEVICE_STATE, 1, 0);
            AnnounceAgain();
            continue;
        }
        DWORD nextWait = kIdlePollMs;
        if (m_receiveBuffer.HasUnfinished()) {
            // Bytes that came while the owner kept the reader busy past the
            // pause continue the line: no pause was seen.
            const DWORD pauseLeft = m_receiveBuffer.PauseLeft(GetTickCount());
            if (pauseLeft == 0 && !BytesWaiting(port)) {
                DispatchLines(m_receiveBuffer.TakeUnfinished());
                continue;
            }
            nextWait = pauseLeft == 0 ? 1 : (pauseLeft < nextWait ? pauseLeft : nextWait);
        }
        size_t read = 0;
        const bool readable =
            (nextWait == wait || SetReadWait(port, nextWait)) &&
            ReadArrivedBytes(port, m_receiveBuffer.Space(), m_receiveBuffer.Room(), &read);
        if (read != 0) {
            ++m_readCount;
            DispatchLines(m_receiveBuffer.Add(read, GetTickCount()));
        }
        if (!readable) {
            DispatchLines(m_receiveBuffer.TakeUnfinished());
            DropDevice();
            port = INVALID_HANDLE_VALUE;
            AskOwner(LN_DEVICE_STATE, 0, 0);
            continue;
        }
        wait = nextWait;
    }
}

void SerialAccessoryLink::DispatchLines(LineCursor lines)
{
    size_t length = 0;
    while (char* line = NextLine(lines, &length))
        DispatchLine(line, length);
}

// Writers see the link as closed from here on; a write in progress ends
// before the device is closed under it.
void SerialAccessoryLink::DropDevice()
{
    Lock(&m_portLock);
    const HANDLE port = m_port.exchange(INVALID_HANDLE_VALUE);
    Unlock(&m_portLock);
    if (port != INVALID_HANDLE_VALUE)
        CloseStreamDevice(port);
}

// The device with its timeouts set before anyone may write to it: a write
// with none could last for ever on a line that does not drain. The line's
// speed and framing are read, never changed, to bound each write by them.
HANDLE SerialAccessoryLink::MakeReady(HANDLE device, PortTiming* timing)
{
    if (device == INVALID_HANDLE_VALUE)
        return device;
    DCB line = {};
    line.DCBlength = sizeof line;
    const bool known = GetCommState(device, &line) != FALSE && line.BaudRate != 0;
    timing->bitsPerSecond = known ? line.BaudRate : kUnknownLineBitsPerSecond;
    timing->bitsPerByte = BitsPerByte(line);
    timing->timeouts = {};
    timing->timeouts.ReadTotalTimeoutConstant = kIdlePollMs;
    timing->timeouts.WriteTotalTimeoutConstant =
        WriteAllowanceMs(timing->bitsPerSecond, timing->bitsPerByte, 1);
    if (!SetCommTimeouts(device, &timing->timeouts)) {
        CloseStreamDevice(device);
        return INVALID_HANDLE_VALUE;
    }
    return device;
}

// The reader says when it holds or waits for the port, the timeouts or the
// reply lock (a write of its own may take all three), so that Close does
// not end it by force then.
void SerialAccessoryLink::Lock(CRITICAL_SECTION* lock)
{
    if (GetCurrentThreadId() == m_readerThreadId && m_readerLocks++ == 0)
        ++m_readerLockSteps;
    EnterCriticalSection(lock);
}

void SerialAccessoryLink::Unlock(CRITICAL_SECTION* lock)
{
    LeaveCriticalSection(lock);
    if (GetCurrentThreadId() == m_readerThreadId && --m_readerLocks == 0)
        ++m_readerLockSteps;
}

// Opens the device again, at most once every kReopenIntervalMs, until it
// opens or the reader is to end; false then. A reader that Close left
// inside an open touches nothing of the link, which may be gone: it closes
// what it opened, deletes its place and ends.
bool SerialAccessoryLink::ReopenDevice(ReaderPlace* place, DWORD* lastOpenTick)
{
    while (m_readerThread != nullptr) {
        const DWORD left = TicksLeft(*lastOpenTick, kReopenIntervalMs, GetTickCount());
        if (left != 0) {
            Sleep(left < kIdlePollMs ? left : kIdlePollMs);
            continue;
        }
        *lastOpenTick = GetTickCount();
        wchar_t name[_countof(m_portName)];
        wcscpy(name, m_portName);
        if (!place->StartOpen())
            return false;
        const HANDLE device = OpenStreamDevice(name);
        if (!place->FinishOpen()) {
            if (device != INVALID_HANDLE_VALUE)
                CloseStreamDevice(device);
            delete place;
            return false;
        }
        PortTiming timing;
        const HANDLE port = MakeReady(device, &timing);
        if (port != INVALID_HANDLE_VALUE) {
            Lock(&m_portLock);
            m_port = port;
            m_portTiming = timing;
            Unlock(&m_portLock);
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
    TakeLeftLine(line, m_readCount);
}

LRESULT SerialAccessoryLink::AskOwner(WORD code, WORD value, LPARAM lParam)
{
    return SendMessageW(m_ownerWindow, m_ownerMessage, MAKEWPARAM(value, code), lParam);
}
