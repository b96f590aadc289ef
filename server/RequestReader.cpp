#include "RequestReader.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include <poll.h>
#include <sys/socket.h>

namespace {

constexpr char kHeaderEnd[] = "\r\n\r\n";

std::string lowerCase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

std::string trimmed(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The value of the first header field called name (lower case).
bool findField(const std::string& header, const char* name, std::string& value)
{
    size_t lineStart = header.find("\r\n");
    while (lineStart != std::string::npos && lineStart + 2 < header.size()) {
        lineStart += 2;
        const size_t lineEnd = header.find("\r\n", lineStart);
        const std::string line = header.substr(lineStart, lineEnd - lineStart);
        const size_t colon = line.find(':');
        if (colon != std::string::npos && lowerCase(trimmed(line.substr(0, colon))) == name) {
            value = trimmed(line.substr(colon + 1));
            return true;
        }
        lineStart = lineEnd;
    }
    return false;
}

// A decimal count of at most 19 digits, nothing else.
bool parseLength(const std::string& text, uint64_t& length)
{
    if (text.empty() || text.size() > 19 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    length = std::stoull(text);
    return true;
}

}  // namespace

RequestReader::RequestReader(int socket, int receiveLimitSeconds)
    : socket_(socket), receiveLimit_(receiveLimitSeconds)
{
    beginRequest();
}

void RequestReader::beginRequest()
{
    deadline_ = std::chrono::steady_clock::now() + receiveLimit_;
    skip_ = headerDone_ ? left_ : 0;
    headerDone_ = false;
    left_ = 0;
    refusal_ = nullptr;
}

size_t RequestReader::read(char* buffer, size_t size)
{
    while (!headerDone_) {
        skipPending();
        if (refusal_ || (skip_ == 0 && parseHeader()))
            break;
        if (!receiveMore(skip_ > 0 ? size_t(std::min<uint64_t>(skip_, 65536)) : kMaxHeaderBytes + 1 - pending_.size()))
            return 0;
    }
    if (left_ == 0)
        return 0;
    if (pending_.empty() && !receiveMore(size_t(std::min<uint64_t>(left_, 65536))))
        return 0;
    const size_t n = size_t(std::min<uint64_t>({uint64_t(size), uint64_t(pending_.size()), left_}));
    std::memcpy(buffer, pending_.data(), n);
    pending_.erase(0, n);
    left_ -= n;
    return n;
}

void RequestReader::skipPending()
{
    const size_t n = size_t(std::min<uint64_t>(skip_, pending_.size()));
    pending_.erase(0, n);
    skip_ -= n;
}

// Once the header is complete: how much of the request there is to hand
// out.  A header too long or a length that cannot be served is refused.
bool RequestReader::parseHeader()
{
    const size_t end = pending_.find(kHeaderEnd);
    if (end == std::string::npos) {
        if (pending_.size() > kMaxHeaderBytes)
            refusal_ = "The request header is too long";
        return false;
    }
    const size_t headerLength = end + std::strlen(kHeaderEnd);
    const std::string header = pending_.substr(0, headerLength);
    std::string text;
    uint64_t bodyLength = 0;
    if (findField(header, "transfer-encoding", text))
        refusal_ = "The request must declare its length with Content-Length";
    else if (findField(header, "content-length", text) && !parseLength(text, bodyLength))
        refusal_ = "The request's Content-Length is not a number";
    else if (bodyLength > kMaxBodyBytes)
        refusal_ = "The request is larger than this server accepts";
    headerDone_ = true;
    left_ = headerLength + (refusal_ ? 0 : bodyLength);
    return true;
}

// Waits for more bytes until the request's deadline; false when none can
// come (the time is up, the client closed or the connection failed).
bool RequestReader::receiveMore(size_t wanted)
{
    char buffer[65536];
    wanted = std::min(wanted, sizeof(buffer));
    for (;;) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline_ || wanted == 0)
            return false;
        const auto waitMs = std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - now).count() + 1;
        pollfd descriptor{socket_, POLLIN, 0};
        const int ready = ::poll(&descriptor, 1, int(std::min<long long>(waitMs, 60000)));
        if (ready < 0 && errno != EINTR)
            return false;
        if (ready <= 0)
            continue;
        const ssize_t n = ::recv(socket_, buffer, wanted, MSG_DONTWAIT);
        if (n > 0) {
            pending_.append(buffer, size_t(n));
            return true;
        }
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
            return false;
    }
}
