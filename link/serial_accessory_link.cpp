// The link: opening starts a reader, closing stops it; the rest goes to
// what the link shares with it.
#include "link/serial_accessory_link.h"

#include <new>

#include "ce/stream_device.h"
#include "link/menu_protocol.h"
#include "link/tick_span.h"

namespace {

// How long Close waits for a reader that does not end: its time outside
// writes (a write is bounded by its allowance), and in all.
constexpr DWORD kReaderPatienceMs = 2000;
constexpr DWORD kCloseLimitMs = 10000;

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

SerialAccessoryLink::SerialAccessoryLink(const wchar_t* portName, HWND ownerWindow,
                                         UINT ownerMessage)
    : m_share(new (std::nothrow) LinkShare(portName, ownerWindow, ownerMessage))
{
}

SerialAccessoryLink::~SerialAccessoryLink()
{
    if (m_share == nullptr)
        return;
    SerialAccessoryLink::Close();
    m_share->Release();
}

// An open link stays as it is, also while its reader waits for the device
// to come back: a second Open fails without touching it. A device that does
// not open is left to the reader, which tries it again as it would a device
// that has gone; a name that fits no device is refused outright.
int SerialAccessoryLink::Open(const char* menuName)
{
    if (m_reader != nullptr || m_share->PortName()[0] == L'\0')
        return 0;
    PortTiming timing = {};
    HANDLE device = OpenStreamDevice(m_share->PortName());
    if (device != INVALID_HANDLE_VALUE && !PrepareDevice(device, &timing)) {
        CloseStreamDevice(device);
        device = INVALID_HANDLE_VALUE;
    }
    LinkReader* const reader = LinkReader::Create(m_share, device, timing, menuName);
    HANDLE thread = nullptr;
    if (reader == nullptr || !reader->Start(&thread)) {
        if (reader != nullptr)
            reader->Release();  // it closed the device
        else if (device != INVALID_HANDLE_VALUE)
            CloseStreamDevice(device);
        return 0;
    }
    m_reader = reader;
    m_readerThread = thread;
    if (device == INVALID_HANDLE_VALUE)
        return 0;
    if (menuName != nullptr)
        SendCommand(RegistrationCommand(menuName).c_str());
    return 1;
}

// The reader finishes its batch in hand and ends; what it shares with the
// link outlives the link for as long as it runs. Hereafter the link touches
// neither the reader nor its thread.
int SerialAccessoryLink::Close()
{
    LinkReader* const reader = m_reader;
    if (reader == nullptr)
        return 0;
    m_share->StopReader(*reader);
    WaitForReader(reader, m_readerThread);
    if (reader->CloseToOwner() == LinkReader::kWithOwner &&
        GetWindowThreadProcessId(m_share->OwnerWindow(), nullptr) == GetCurrentThreadId()) {
        // Its question waits for this thread: answered now, never later;
        // bounded, for a Close made inside the handling of that question.
        const HANDLE changed = reader->StepChanged();
        const DWORD start = GetTickCount();
        while (reader->CurrentStep() == LinkReader::kWithOwner &&
               WaitAnsweringOwner(m_share->OwnerWindow(), 1, &changed,
                                  TicksLeft(start, kReaderPatienceMs, GetTickCount())) == 0) {
        }
    }
    m_share->EndSessionOf(*reader);
    CloseHandle(m_readerThread);
    reader->Release();
    m_reader = nullptr;
    m_readerThread = nullptr;
    return 0;
}

// Until the reader ends, or Close's patience with it runs out. A reader in
// an open, or already in a close of its device as Close begins (a device
// that went), is left to it at once, since those may take seconds (a
// Bluetooth port connecting, a close that drains); the close it makes as
// it ends is waited for, so that the device is free once Close returns.
void SerialAccessoryLink::WaitForReader(LinkReader* reader, HANDLE thread)
{
    const HANDLE objects[] = {thread, reader->StepChanged()};
    const DWORD start = GetTickCount();
    DWORD patience = kReaderPatienceMs;
    for (bool first = true;; first = false) {
        const LinkReader::Step step = reader->CurrentStep();
        const DWORD left = TicksLeft(start, kCloseLimitMs, GetTickCount());
        if (step == LinkReader::kOpening || (first && step == LinkReader::kClosingDevice) ||
            left == 0)
            return;
        const bool counts = step != LinkReader::kWriting;
        const DWORD waitStart = GetTickCount();
        if (WaitAnsweringOwner(m_share->OwnerWindow(), 2, objects,
                               counts && patience < left ? patience : left) == 0)
            return;
        if (counts) {
            const DWORD waited = GetTickCount() - waitStart;
            patience = waited < patience ? patience - waited : 0;
            if (patience == 0)
                return;
        }
    }
}

int SerialAccessoryLink::ShowMenu(int menuId)
{
    m_share->ShowMenu(menuId, nullptr);
    return 1;
}

int SerialAccessoryLink::SendCommand(const char* command)
{
    return Transact(command, "OK");
}

int SerialAccessoryLink::Transact(const char* command, const char* expected)
{
    return m_share->Exchange(command, expected);
}

int SerialAccessoryLink::WriteLine(const char* text)
{
    return m_share->Send(text, LineKind::kNoReply);
}

int SerialAccessoryLink::AwaitReply(const char* expected)
{
    return m_share->AwaitReply(expected);
}
