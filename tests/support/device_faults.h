// The link's device as the link in this process calls it: its CreateFileW,
// ReadFile and WriteFile calls go through a recorder (the process's import
// table is pointed at it) that keeps each write and fails the call it is
// told to, as a driver or a dropped line would. Calls on other handles pass
// untouched. One recorder at a time.
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
    // The next write stores the first `written` of its bytes, then fails.
    void FailNextWrite(DWORD written);
    // The next read asking for at least `size` bytes fails as it returns,
    // keeping whatever it stored.
    void FailNextRead(DWORD size);
    // The next write takes `milliseconds` before it goes, as on a line that
    // does not drain; true once one has begun so, within `timeoutMs`.
    void HoldNextWrite(DWORD milliseconds) { m_holdWriteMs = milliseconds; }
    bool WaitForHeldWrite(DWORD timeoutMs) const;

private:
    static HANDLE WINAPI OnCreateFile(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD,
                                      HANDLE);
    static BOOL WINAPI OnRead(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
    static BOOL WINAPI OnWrite(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
    bool IsDevice(HANDLE handle) const;

    std::wstring m_path;
    // Touched by the link's threads and the test: under m_mutex, or atomic.
    mutable std::mutex m_mutex;
    std::set<HANDLE> m_devices;
    std::vector<std::string> m_writes;
    std::atomic<size_t> m_bytesRead{0};
    std::atomic<long> m_failWriteAfter{-1};
    std::atomic<DWORD> m_failReadOfAtLeast{0};
    std::atomic<DWORD> m_holdWriteMs{0};
    HANDLE m_writeHeld;  // auto-reset; set as a held write begins
};
