// The link's device as the link in this process calls it: its CreateFileW,
// ReadFile, WriteFile, SetCommTimeouts and CloseHandle calls go through a
// recorder (the process's import
// table is pointed at it) that keeps each write and each open's time, and
// fails or holds up the call it is told to, as a driver, a dropped line or
// a Bluetooth port that takes its time to connect would. Calls on other
// handles and paths pass untouched. One recorder at a time.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <set>
#include <string>
#include <vector>

class DeviceFaults {
public:
    // `path`: the name the link opens, as its device layer passes it on
    // (L"COM5:").
    explicit DeviceFaults(const wchar_t* path);
    ~DeviceFaults();
    DeviceFaults(const DeviceFaults&) = delete;
    DeviceFaults& operator=(const DeviceFaults&) = delete;

    // The bytes of each write the link made to the device, one entry a call.
    std::vector<std::string> Writes() const;
    size_t BytesRead() const { return m_bytesRead; }
    size_t BytesWritten() const { return m_bytesWritten; }
    // When each open of the device began, on the NowMs clock.
    std::vector<double> OpenTimes() const;
    // The next write stores the first `written` of its bytes, then fails.
    void FailNextWrite(DWORD written);
    // The next read asking for at least `size` bytes fails as it returns,
    // keeping whatever it stored.
    void FailNextRead(DWORD size);
    // Opens fail as for a device that is not there, until told otherwise.
    void FailOpens(bool fail) { m_failOpens = fail; }
    // The next change of the device's timeouts fails, as a driver may.
    void FailNextTimeouts() { m_failTimeouts = true; }
    // The next write, open or close takes `milliseconds` before it goes, as
    // on a line that does not drain, a port that connects, or a close that
    // drains what is still to go; WaitForHeldCall is true once one has
    // begun so, within `timeoutMs`.
    void HoldNextWrite(DWORD milliseconds) { m_holdWriteMs = milliseconds; }
    void HoldNextOpen(DWORD milliseconds) { m_holdOpenMs = milliseconds; }
    void HoldNextClose(DWORD milliseconds) { m_holdCloseMs = milliseconds; }
    bool WaitForHeldCall(DWORD timeoutMs) const;

private:
    static HANDLE WINAPI OnCreateFile(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD,
                                      HANDLE);
    static BOOL WINAPI OnRead(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
    static BOOL WINAPI OnWrite(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
    static BOOL WINAPI OnSetTimeouts(HANDLE, LPCOMMTIMEOUTS);
    static BOOL WINAPI OnClose(HANDLE);
    bool IsDevice(HANDLE handle) const;
    void Hold(std::atomic<DWORD>& holdMs);

    std::wstring m_path;
    // Touched by the link's threads and the test: under m_mutex, or atomic.
    mutable std::mutex m_mutex;
    std::set<HANDLE> m_devices;
    std::vector<std::string> m_writes;
    std::vector<double> m_openTimes;
    std::atomic<size_t> m_bytesRead{0};
    std::atomic<size_t> m_bytesWritten{0};
    std::atomic<long> m_failWriteAfter{-1};
    std::atomic<DWORD> m_failReadOfAtLeast{0};
    std::atomic<bool> m_failOpens{false};
    std::atomic<bool> m_failTimeouts{false};
    std::atomic<DWORD> m_holdWriteMs{0};
    std::atomic<DWORD> m_holdOpenMs{0};
    std::atomic<DWORD> m_holdCloseMs{0};
    HANDLE m_callHeld;  // auto-reset; set as a held call begins
};
