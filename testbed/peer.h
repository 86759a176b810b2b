// The far end of a virtual null-modem, played by a test or the benchmark:
// it keeps every byte that arrives, with the time of the last arrival, and
// can answer each non-empty line with a fixed reply.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "testbed/null_modem.h"

using Lines = std::vector<std::string>;

// How many times `text` stands in `bytes`, none overlapping.
size_t Occurrences(const std::string& bytes, const std::string& text);

class Peer {
public:
    enum Start { kPurgeBothEnds, kPairJustBack };
    // Whatever an earlier test left on either end of the line is thrown
    // away. A pair that has just come back holds nothing stale, and the
    // program at its other end may already have opened it and spoken.
    explicit Peer(const NullModemPair& pair, std::string reply = "",
                  Start start = kPurgeBothEnds);
    ~Peer();
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    bool IsOpen() const { return m_port != INVALID_HANDLE_VALUE; }
    bool Send(const std::string& bytes);
    void SetReply(std::string reply);
    // Closes this end while the listener keeps running; the pair then ends.
    void Hangup();

    std::string Received() const;  // every byte since the last Forget
    Lines ReceivedLines() const;    // the complete lines among them
    void Forget();
    bool WaitForLines(size_t count, DWORD timeoutMs);
    // Until what has come holds `text` `count` times.
    bool WaitForText(const std::string& text, size_t count, DWORD timeoutMs);
    // Forgets, sends, and returns what came back once the line was quiet
    // for `quietMs` (the far end reads within 100 ms of a 200 ms pause).
    std::string Exchange(const std::string& bytes, DWORD quietMs = 600);
    // What has come since the last Forget, once the line has been quiet for
    // `quietMs` from now or from the last arrival.
    std::string ReceivedWhenQuiet(DWORD quietMs = 600);
    double LastArrivalMs() const;  // on the NowMs clock

private:
    // Until `condition` holds, looking again at each arrival.
    template <typename Condition>
    bool WaitUntil(Condition condition, DWORD timeoutMs);
    static DWORD WINAPI Listen(LPVOID self);
    void OnBytes(const char* bytes, DWORD length);

    // Counts a thread that waits on m_arrived from before it looks at what
    // has come; the listener signals only then, which spares a burst one
    // server round trip for every chunk.
    struct WaitingScope {
        explicit WaitingScope(std::atomic<int>& waiters) : m_waiters(waiters) { ++m_waiters; }
        ~WaitingScope() { --m_waiters; }
        std::atomic<int>& m_waiters;
    };

    HANDLE m_port;
    HANDLE m_arrived;  // auto-reset; set by the listener after each chunk that a thread waits for
    std::atomic<int> m_waiters{0};
    volatile LONG m_stop;
    // Written by the test, read by the listener: under m_mutex.
    mutable std::mutex m_mutex;
    std::string m_reply;
    std::string m_received;
    std::string m_pending;  // the line being received, until its CR
    double m_lastArrival;
    HANDLE m_listener;
};
