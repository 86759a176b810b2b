#include "app/single_instance.h"

#include "ce/foreground.h"

namespace {

constexpr int kAttempts = 5;
constexpr DWORD kSecondLookDelayMs = 500;

}  // namespace

HRESULT EnsureSingleInstance(const wchar_t* className, const wchar_t* title,
                             BOOL* foundOther)
{
    *foundOther = FALSE;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        // The first copy keeps its mutex open for its whole life.
        const HANDLE mutex = CreateMutexW(nullptr, FALSE, className);
        if (mutex == nullptr)
            return E_FAIL;
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            return S_OK;
        CloseHandle(mutex);

        // The running copy may still be creating its window.
        HWND other = FindWindowW(className, title);
        if (other == nullptr) {
            Sleep(kSecondLookDelayMs);
            other = FindWindowW(className, title);
        }
        if (other != nullptr) {
            BringWindowForward(other);
            *foundOther = TRUE;
            return S_OK;
        }
    }
    return E_FAIL;
}
