#include "tests/support/scripted_phone.h"

namespace {

constexpr DWORD kListenSliceMs = 50;

size_t CountLines(const std::string& bytes)
{
    size_t count = 0;
    for (char c : bytes)
        count += c == '\r';
    return count;
}

}  // namespace

ScriptedPhone::ScriptedPhone(const NullModemPair& pair, Answer answer)
    : m_port(pair),
      m_answer(answer),
      m_lineArrived(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      m_stop(0),
      m_listener(m_port.IsOpen() ? CreateThread(nullptr, 0, Listen, this, 0, nullptr)
                                 : nullptr)
{
}

ScriptedPhone::~ScriptedPhone()
{
    InterlockedExchange(&m_stop, 1);
    if (m_listener != nullptr) {
        WaitForSingleObject(m_listener, INFINITE);
        CloseHandle(m_listener);
    }
    CloseHandle(m_lineArrived);
}

void ScriptedPhone::Send(const std::string& bytes)
{
    m_port.Write(bytes);
}

std::string ScriptedPhone::Received() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_received;
}

std::vector<std::string> ScriptedPhone::Lines() const
{
    std::vector<std::string> lines;
    std::string line;
    for (char c : Received()) {
        if (c == '\r') {
            lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    return lines;
}

void ScriptedPhone::Forget()
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_received.clear();
}

bool ScriptedPhone::WaitForLines(size_t count, DWORD timeoutMs)
{
    const ULONGLONG until = GetTickCount64() + timeoutMs;
    for (;;) {
        if (CountLines(Received()) >= count)
            return true;
        const ULONGLONG now = GetTickCount64();
        if (now >= until)
            return false;
        WaitForSingleObject(m_lineArrived, static_cast<DWORD>(until - now));
    }
}

DWORD WINAPI ScriptedPhone::Listen(LPVOID param)
{
    auto* self = static_cast<ScriptedPhone*>(param);
    while (InterlockedCompareExchange(&self->m_stop, 0, 0) == 0) {
        const std::string bytes = self->m_port.Read(4096, kListenSliceMs);
        if (!bytes.empty())
            self->OnBytes(bytes);
    }
    return 0;
}

// A phone accepts every non-empty line, as the program does.
void ScriptedPhone::OnBytes(const std::string& bytes)
{
    size_t answers = 0;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_received += bytes;
        for (char c : bytes) {
            if (c != '\r') {
                m_pending += c;
                continue;
            }
            answers += !m_pending.empty();
            m_pending.clear();
        }
    }
    if (m_answer == kAnswerOk) {
        for (size_t i = 0; i < answers; ++i)
            m_port.Write("OK\r");
    }
    if (CountLines(bytes) != 0)
        SetEvent(m_lineArrived);
}
