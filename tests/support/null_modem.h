// The virtual null-modem: socat pty pairs that the run maps to COM ports.
// The test plays the peer on one end; the link under test opens the other.
#pragma once

#include <windows.h>

#include <string>

struct NullModemPair {
    const wchar_t* linkDevice;  // the handheld name the link opens
    const wchar_t* peerDevice;  // the desktop path the test opens
};

// The pairs started for the run; tests/CMakeLists.txt hands the same
// list to the script that starts them.
constexpr NullModemPair kPairA = {L"COM5:", L"\\\\.\\COM6"};
constexpr NullModemPair kPairB = {L"COM7:", L"\\\\.\\COM8"};
constexpr NullModemPair kBluetoothPair = {L"BSP2:", L"\\\\.\\COM9"};

// The peer's end, opened raw, with whatever an earlier test left on either
// end of the line thrown away.
class PeerPort {
public:
    explicit PeerPort(const NullModemPair& pair);
    ~PeerPort();
    PeerPort(const PeerPort&) = delete;
    PeerPort& operator=(const PeerPort&) = delete;

    bool IsOpen() const { return m_port != INVALID_HANDLE_VALUE; }
    bool Write(const std::string& bytes);
    // Reads until `count` bytes have come or `timeoutMs` has passed.
    std::string Read(size_t count, DWORD timeoutMs);
    // Reads whatever arrives until the line stays quiet for `quietMs`.
    std::string ReadUntilQuiet(DWORD quietMs);

private:
    HANDLE m_port;
};
