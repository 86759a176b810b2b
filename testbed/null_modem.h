// The virtual null-modem that scripts/nullmodem keeps: its pairs, and
// outages of a pair, as a dropped Bluetooth link or a pulled adapter.
#pragma once

#include <windows.h>

#include <string>

struct NullModemPair {
    const wchar_t* linkDevice;  // the handheld name the link opens
    const wchar_t* peerDevice;  // the desktop path the test opens
    const wchar_t* files;       // scripts/nullmodem's name for the pair
};

// The pairs a run starts; tests/CMakeLists.txt and scripts/bench hand the
// same names to scripts/nullmodem. kVanishingPair is the one tests cut.
constexpr NullModemPair kPairA = {L"COM5:", L"\\\\.\\COM6", L"com5-com6"};
constexpr NullModemPair kPairB = {L"COM7:", L"\\\\.\\COM8", L"com7-com8"};
constexpr NullModemPair kBluetoothPair = {L"BSP2:", L"\\\\.\\COM9", L"com12-com9"};
constexpr NullModemPair kVanishingPair = {L"COM3:", L"\\\\.\\COM11", L"com3-com11"};

// The folders under build/wine where the tests and the benchmark run their
// pairs.
constexpr wchar_t kTestModem[] = L"nullmodem";
constexpr wchar_t kBenchModem[] = L"nullmodem-bench";

// Cuts a pair from the Linux side and keeps it away until the outage ends;
// the pair then comes back with new ptys behind the same ports. (Wine starts
// a Unix program without a handle to wait on, so the pair's files tell.)
class Outage {
public:
    Outage(const wchar_t* modem, const NullModemPair& pair);
    ~Outage() { End(); }
    Outage(const Outage&) = delete;
    Outage& operator=(const Outage&) = delete;

    bool Gone() const { return m_gone; }  // both ends have gone
    // Lets the pair come back, and returns once both its ends can be opened
    // again (about a second after it went), so that whatever runs next finds
    // it there.
    void End();

private:
    std::wstring m_files;
    bool m_gone;
};
