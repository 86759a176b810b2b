// The reader thread: the device read, its lines handed to the owner, opened
// again when it fails, closed as the reader ends.
#include "link/link_reader.h"

#include <new>

#include "ce/events.h"
#include "ce/stream_device.h"
#include "link/accessory_link.h"
#include "link/menu_protocol.h"
#include "link/tick_span.h"

namespace {

constexpr DWORD kIdlePollMs = 100;  // how soon the reader sees a stop
constexpr DWORD kReopenIntervalMs = 1000;

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

}  // namespace

DWORD WINAPI ReaderThread(LPVOID param)
{
    LinkReader* const reader = static_cast<LinkReader*>(param);
    reader->Run();
    reader->Release();  // hereafter the thread touches nothing of the link
    return 0;
}

LinkReader* LinkReader::Create(LinkShare* share, HANDLE device, const PortTiming& timing,
                               const char* menuName)
{
    LinkReader* const reader = new (std::nothrow) LinkReader(share, device, timing, menuName);
    if (reader != nullptr && reader->m_stepChanged == nullptr) {
        reader->Release();
        return nullptr;
    }
    return reader;
}

LinkReader::LinkReader(LinkShare* share, HANDLE device, const PortTiming& timing,
                       const char* menuName)
    : m_share(share),
      m_registers(menuName != nullptr),
      m_menuName(menuName != nullptr ? menuName : ""),
      m_stepChanged(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      m_device(device),
      m_timing(timing)
{
    m_share->AddReference();
}

LinkReader::~LinkReader()
{
    if (m_stepChanged != nullptr)
        CloseHandle(m_stepChanged);
    m_share->Release();
}

void LinkReader::Release()
{
    if (--m_references == 0)
        delete this;
}

bool LinkReader::Start(HANDLE* thread)
{
    if (m_device != INVALID_HANDLE_VALUE)
        m_share->Publish(*this, m_device, m_timing, &m_session);
    ++m_references;  // the thread's
    *thread = CreateThread(nullptr, 0, ReaderThread, this, 0, nullptr);
    if (*thread != nullptr)
        return true;
    --m_references;
    DropDevice();
    return false;
}

void LinkReader::AskToStop()
{
    m_watched = true;
    m_stopAsked = true;
}

LinkReader::Step LinkReader::CloseToOwner()
{
    return static_cast<Step>(m_place.fetch_or(kClosedToOwner) & kStepMask);
}

void LinkReader::SetStep(Step step)
{
    int place = m_place;
    while (!m_place.compare_exchange_weak(place, (place & kClosedToOwner) | step)) {
    }
    if (m_watched)
        EventModify(m_stepChanged, EVENT_SET);
}

bool LinkReader::AskOwner(WORD code, WORD value, LPARAM lParam, LRESULT* answer)
{
    int place = m_place;
    do {
        if ((place & kClosedToOwner) != 0)
            return false;
    } while (!m_place.compare_exchange_weak(place, kWithOwner));
    *answer = SendMessageW(m_share->OwnerWindow(), m_share->OwnerMessage(), MAKEWPARAM(value, code),
                           lParam);
    SetStep(kWorking);
    return true;
}

// Complete lines go out as soon as their CR is read; the unfinished line
// after them waits in the buffer for its rest (see ReceiveBuffer), and goes
// out as it stands when the device fails. A device that fails, or that Open
// could not open, is opened again. Asked to stop, it finishes the batch in
// hand and lets the device go; what it had not finished stays with it.
void LinkReader::Run()
{
    DWORD lastOpenTick = GetTickCount();
    DWORD readWait = kIdlePollMs;  // as the device was made ready
    LRESULT ignored = 0;
    while (!m_stopAsked) {
        if (m_device == INVALID_HANDLE_VALUE) {
            if (!OpenAgain(&lastOpenTick))
                break;
            readWait = kIdlePollMs;
            AskOwner(LN_DEVICE_STATE, 1, 0, &ignored);
            // The phone at the other end may have lost what it was shown.
            if (m_registers) {
                m_share->RegisterAgain(m_menuName.c_str(), *this);
                m_share->ShowMenu(-1, this);
            }
            continue;
        }
        if (!ReadBatch(&readWait)) {
            DispatchLines(m_buffer.TakeUnfinished());
            DropDevice();
            AskOwner(LN_DEVICE_STATE, 0, 0, &ignored);
        }
    }
    DropDevice();
}

// One read and the lines it completes, or the unfinished line once the
// bytes have paused; false when the device failed.
bool LinkReader::ReadBatch(DWORD* readWait)
{
    DWORD nextWait = kIdlePollMs;
    if (m_buffer.HasUnfinished()) {
        // Bytes that came while the owner kept the reader busy past the
        // pause continue the line: no pause was seen.
        const DWORD pauseLeft = m_buffer.PauseLeft(GetTickCount());
        if (pauseLeft == 0 && !BytesWaiting(m_device)) {
            DispatchLines(m_buffer.TakeUnfinished());
            return true;
        }
        nextWait = pauseLeft == 0 ? 1 : (pauseLeft < nextWait ? pauseLeft : nextWait);
    }
    size_t read = 0;
    const size_t room = m_buffer.Room();
    const bool readable =
        (nextWait == *readWait || m_share->SetReadWait(m_session, nextWait)) &&
        ReadArrivedBytes(m_device, m_buffer.Space(), room, &read);
    if (read != 0) {
        m_share->CountRead();
        DispatchLines(m_buffer.Add(read, GetTickCount()));
    }
    *readWait = nextWait;
    return readable;
}

void LinkReader::DispatchLines(LineCursor lines)
{
    size_t length = 0;
    while (char* line = NextLine(lines, &length)) {
        if (!DispatchLine(line, length))
            return;
    }
}

// A line the owner leaves is an indication for the accessory, or a reply.
// False once the link has closed to the owner: the rest stays unsaid.
bool LinkReader::DispatchLine(char* line, size_t length)
{
    LRESULT taken = 0;
    if (!AskOwner(LN_LINE, static_cast<WORD>(length), reinterpret_cast<LPARAM>(line), &taken))
        return false;
    if (taken != 0)
        return true;
    // A pick is never a reply, even while a command waits for one: taken
    // for one it would be lost, and would fail the command.
    if (IsIndication(line))
        m_share->TranslateIndication(line, this);
    else
        m_share->OfferReply(m_session, m_share->Reads(), line);
    return true;
}

// Opens the device again, at most once every kReopenIntervalMs, until it
// opens or the reader is asked to stop; false then, with nothing held. It
// looks for a stop every kIdlePollMs meanwhile, as it does while it reads.
bool LinkReader::OpenAgain(DWORD* lastOpenTick)
{
    while (!m_stopAsked) {
        const DWORD left = TicksLeft(*lastOpenTick, kReopenIntervalMs, GetTickCount());
        if (left != 0) {
            Sleep(left < kIdlePollMs ? left : kIdlePollMs);
            continue;
        }
        *lastOpenTick = GetTickCount();
        SetStep(kOpening);
        HANDLE device = OpenStreamDevice(m_share->PortName());
        SetStep(kWorking);
        if (device == INVALID_HANDLE_VALUE)
            continue;
        PortTiming timing;
        m_device = device;
        if (PrepareDevice(device, &timing) &&
            m_share->Publish(*this, device, timing, &m_session))
            return true;
        DropDevice();
    }
    return false;
}

// Writers see no device of this reader's from here on; a write in progress
// ends before the device is closed under it.
void LinkReader::DropDevice()
{
    if (m_device == INVALID_HANDLE_VALUE)
        return;
    m_share->EndSessionOf(*this);
    SetStep(kWriting);
    m_share->WaitForWrites();
    SetStep(kClosingDevice);
    CloseStreamDevice(m_device);
    SetStep(kWorking);
    m_device = INVALID_HANDLE_VALUE;
}
