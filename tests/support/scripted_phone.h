// Plays the phone on the peer's end of a null-modem pair: keeps every byte
// that arrives, can answer each command line with "OK", and sends what the
// test tells it to.
#pragma once

#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

#include "tests/support/null_modem.h"

class ScriptedPhone {
public:
    enum Answer { kAnswerOk, kSilent };

    ScriptedPhone(const NullModemPair& pair, Answer answer);
    ~ScriptedPhone();
    ScriptedPhone(const ScriptedPhone&) = delete;
    ScriptedPhone& operator=(const ScriptedPhone&) = delete;

    bool IsOpen() const { return m_port.IsOpen(); }
    void Send(const std::string& bytes);

    // Every byte received so far.
    std::string Received() const;
    // Received lines, each without its CR; empty ones included.
    std::vector<std::string> Lines() const;
    void Forget();

    // Waits until `count` lines have arrived since the last Forget.
    bool WaitForLines(size_t count, DWORD timeoutMs);

private:
    static DWORD WINAPI Listen(LPVOID self);
    void OnBytes(const std::string& bytes);

    PeerPort m_port;
    const Answer m_answer;
    mutable std::mutex m_mutex;  // guards m_received, m_pending
    std::string m_received;
    std::string m_pending;  // the line being received, until its CR
    HANDLE m_lineArrived;   // auto-reset; set after each line
    volatile LONG m_stop;
    HANDLE m_listener;
};
