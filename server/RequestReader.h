// Reads a connection's HTTP requests one at a time for the SOAP runtime:
// it hands out the header and exactly the body its Content-Length
// declares, then reports the end, so that a body which is no complete
// envelope ends the parse at once instead of waiting for bytes that never
// come.  Each request must arrive in full within a time limit counted from
// the moment the server starts waiting for it, so a silent client and one
// that trickles bytes are both cut off.
#ifndef SKYVANE_REQUESTREADER_H
#define SKYVANE_REQUESTREADER_H

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

class RequestReader {
public:
    static constexpr size_t kMaxHeaderBytes = 16 * 1024;
    static constexpr uint64_t kMaxBodyBytes = 1024 * 1024;

    RequestReader(int socket, int receiveLimitSeconds);

    // Starts the next request on the connection: its time runs from now,
    // and what the runtime left unread of the previous body is skipped.
    void beginRequest();

    // Up to size bytes of the current request; 0 at its declared end, when
    // the client stops sending or when the time is up.
    size_t read(char* buffer, size_t size);

    // The request arrived as its header declared, or was refused for its
    // header: either way it is owed an answer.
    bool owesAnswer() const { return refusal_ || (headerDone_ && left_ == 0); }
    // Why the request cannot be served whatever its body says; null when
    // it may be.
    const char* refusal() const { return refusal_; }

private:
    bool parseHeader();
    bool receiveMore(size_t wanted);
    void skipPending();

    int socket_;
    std::chrono::seconds receiveLimit_;
    std::chrono::steady_clock::time_point deadline_;
    std::string pending_;      // received and not yet handed out
    bool headerDone_ = false;
    uint64_t left_ = 0;        // bytes of the current request still to hand out
    uint64_t skip_ = 0;        // bytes of an earlier body still to drop
    const char* refusal_ = nullptr;
};

#endif
