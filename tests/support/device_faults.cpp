#include "tests/support/device_faults.h"

#include <wchar.h>

#include "testbed/wait.h"

namespace {

DeviceFaults* g_faults;  // the recorder in place; set and cleared by the test's thread

using CreateFileCall = decltype(&CreateFileW);
using ReadFileCall = decltype(&ReadFile);
using WriteFileCall = decltype(&WriteFile);
using SetTimeoutsCall = decltype(&SetCommTimeouts);
using CloseCall = decltype(&CloseHandle);
// The real calls, as the import table held them.
CreateFileCall g_createFile;
ReadFileCall g_readFile;
WriteFileCall g_writeFile;
SetTimeoutsCall g_setTimeouts;
CloseCall g_close;

// This executable's import table slot that holds `function`.
void** ImportSlot(void* function)
{
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* library = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         library->Name != 0; ++library) {
        for (auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + library->FirstThunk);
             slot->u1.Function != 0; ++slot) {
            if (reinterpret_cast<void*>(slot->u1.Function) == function)
                return reinterpret_cast<void**>(&slot->u1.Function);
        }
    }
    return nullptr;
}

template <typename Call>
Call Redirect(Call from, Call to)
{
    void** slot = ImportSlot(reinterpret_cast<void*>(from));
    if (slot == nullptr)
        return nullptr;
    DWORD protection = 0;
    VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protection);
    void* const previous = *slot;
    *slot = reinterpret_cast<void*>(to);
    VirtualProtect(slot, sizeof *slot, protection, &protection);
    return reinterpret_cast<Call>(previous);
}

}  // namespace

DeviceFaults::DeviceFaults(const wchar_t* path)
    : m_path(path), m_callHeld(CreateEventW(nullptr, FALSE, FALSE, nullptr))
{
    g_faults = this;
    g_createFile = Redirect(&CreateFileW, &OnCreateFile);
    g_readFile = Redirect(&ReadFile, &OnRead);
    g_writeFile = Redirect(&WriteFile, &OnWrite);
    g_setTimeouts = Redirect(&SetCommTimeouts, &OnSetTimeouts);
    g_close = Redirect(&CloseHandle, &OnClose);
}

DeviceFaults::~DeviceFaults()
{
    Redirect<CreateFileCall>(&OnCreateFile, g_createFile);
    Redirect<ReadFileCall>(&OnRead, g_readFile);
    Redirect<WriteFileCall>(&OnWrite, g_writeFile);
    Redirect<SetTimeoutsCall>(&OnSetTimeouts, g_setTimeouts);
    Redirect<CloseCall>(&OnClose, g_close);
    g_faults = nullptr;
    CloseHandle(m_callHeld);
}

bool DeviceFaults::WaitForHeldCall(DWORD timeoutMs) const
{
    return WaitForSingleObject(m_callHeld, timeoutMs) == WAIT_OBJECT_0;
}

std::vector<std::string> DeviceFaults::Writes() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_writes;
}

std::vector<double> DeviceFaults::OpenTimes() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_openTimes;
}

void DeviceFaults::FailNextWrite(DWORD written) { m_failWriteAfter = written; }

void DeviceFaults::FailNextRead(DWORD size) { m_failReadOfAtLeast = size; }

bool DeviceFaults::IsDevice(HANDLE handle) const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_devices.count(handle) != 0;
}

// Outside the mutex, so that a thread held here holds up nobody else.
void DeviceFaults::Hold(std::atomic<DWORD>& holdMs)
{
    if (const DWORD milliseconds = holdMs.exchange(0)) {
        SetEvent(m_callHeld);
        Sleep(milliseconds);
    }
}

HANDLE WINAPI DeviceFaults::OnCreateFile(LPCWSTR path, DWORD access, DWORD share,
                                         LPSECURITY_ATTRIBUTES security, DWORD disposition,
                                         DWORD flags, HANDLE model)
{
    if (_wcsicmp(path, g_faults->m_path.c_str()) != 0)
        return g_createFile(path, access, share, security, disposition, flags, model);
    {
        std::lock_guard<std::mutex> guard(g_faults->m_mutex);
        g_faults->m_openTimes.push_back(NowMs());
    }
    g_faults->Hold(g_faults->m_holdOpenMs);
    if (g_faults->m_failOpens) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    const HANDLE file = g_createFile(path, access, share, security, disposition, flags, model);
    if (file != INVALID_HANDLE_VALUE) {
        std::lock_guard<std::mutex> guard(g_faults->m_mutex);
        g_faults->m_devices.insert(file);
    }
    return file;
}

BOOL WINAPI DeviceFaults::OnRead(HANDLE file, LPVOID into, DWORD size, LPDWORD read,
                                 LPOVERLAPPED overlapped)
{
    BOOL result = g_readFile(file, into, size, read, overlapped);
    if (!g_faults->IsDevice(file))
        return result;
    g_faults->m_bytesRead += *read;
    const DWORD failAt = g_faults->m_failReadOfAtLeast;
    if (failAt != 0 && size >= failAt && g_faults->m_failReadOfAtLeast.exchange(0) != 0) {
        SetLastError(ERROR_GEN_FAILURE);
        result = FALSE;
    }
    return result;
}

BOOL WINAPI DeviceFaults::OnWrite(HANDLE file, LPCVOID bytes, DWORD size, LPDWORD written,
                                  LPOVERLAPPED overlapped)
{
    if (!g_faults->IsDevice(file))
        return g_writeFile(file, bytes, size, written, overlapped);
    {
        std::lock_guard<std::mutex> guard(g_faults->m_mutex);
        g_faults->m_writes.emplace_back(static_cast<const char*>(bytes), size);
    }
    g_faults->Hold(g_faults->m_holdWriteMs);
    const long failAfter = g_faults->m_failWriteAfter.exchange(-1);
    if (failAfter < 0) {
        const BOOL result = g_writeFile(file, bytes, size, written, overlapped);
        g_faults->m_bytesWritten += *written;
        return result;
    }
    const DWORD kept = static_cast<DWORD>(failAfter) < size ? static_cast<DWORD>(failAfter) : size;
    if (kept == 0 || !g_writeFile(file, bytes, kept, written, overlapped))
        *written = 0;
    g_faults->m_bytesWritten += *written;
    SetLastError(ERROR_GEN_FAILURE);
    return FALSE;
}

BOOL WINAPI DeviceFaults::OnSetTimeouts(HANDLE file, LPCOMMTIMEOUTS timeouts)
{
    if (g_faults->IsDevice(file) && g_faults->m_failTimeouts.exchange(false)) {
        SetLastError(ERROR_GEN_FAILURE);
        return FALSE;
    }
    return g_setTimeouts(file, timeouts);
}

BOOL WINAPI DeviceFaults::OnClose(HANDLE handle)
{
    if (g_faults->IsDevice(handle)) {
        g_faults->Hold(g_faults->m_holdCloseMs);
        std::lock_guard<std::mutex> guard(g_faults->m_mutex);
        g_faults->m_devices.erase(handle);
    }
    return g_close(handle);
}
