// Receives the DIME attachment of a forecast download straight into one
// block of its declared size, reporting progress to the object that runs
// the download and stopping when that object says the transfer is
// cancelled.
#ifndef SKYVANE_ATTACHMENTSINK_H
#define SKYVANE_ATTACHMENTSINK_H

#include <cstddef>
#include <cstdint>
#include <vector>

struct soap;
class QObject;

// One received attachment; data is a malloc block of capacity bytes.
struct DimeBuffer {
    unsigned char* data = nullptr;
    uint32_t capacity = 0;
    uint32_t received = 0;
};

// Frees the block and the buffer (either may be null).
void freeDimeBuffer(DimeBuffer* buffer);

// Implemented by the object that receives a download's setProgress(int,
// int) calls: the worker itself, or else the worker's parent.  The sink
// reads it from the worker's thread.
class TransferControl {
public:
    virtual ~TransferControl() = default;
    virtual bool transferRunning() const = 0;
};

// The sink's state for one SOAP context: the worker whose transfer it
// reports (see TransferControl), and every buffer opened and not yet handed out, so that
// a payload pointer can be checked and nothing leaks on failure.
class AttachmentSink {
public:
    explicit AttachmentSink(QObject* worker);
    ~AttachmentSink();
    AttachmentSink(const AttachmentSink&) = delete;
    AttachmentSink& operator=(const AttachmentSink&) = delete;

    // Makes this sink receive the attachments read by soap.
    void install(struct soap* soap);

    // The buffer behind a deserialised payload pointer, handed to the
    // caller (who frees it with freeDimeBuffer); null when the pointer is
    // not one of this sink's buffers.
    DimeBuffer* take(const void* payloadPointer);

    // Frees every buffer not handed out.
    void clear();

    // The largest declared attachment the sink accepts.
    static constexpr uint32_t kMaxCapacity = 1u << 30;

    QObject* worker() const { return worker_; }
    void adopt(DimeBuffer* buffer) { buffers_.push_back(buffer); }
    void postProgress(uint32_t received, uint32_t total) const;
    bool running() const;

private:
    // Who gets the progress calls and says whether to go on.
    QObject* controller() const;

    QObject* worker_;
    std::vector<DimeBuffer*> buffers_;
};

// The runtime's attachment callbacks, installed by AttachmentSink::install.
void* dime_write_open(struct soap* soap, const char* id, const char* type, const char* options);
int dime_write(struct soap* soap, void* handle, const char* bytes, size_t n);
void dime_write_close(struct soap* soap, void* handle);

#endif
