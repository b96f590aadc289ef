#include "AttachmentSink.h"

#include <QMetaObject>
#include <QObject>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "stdsoap2.h"

void freeDimeBuffer(DimeBuffer* buffer)
{
    if (!buffer)
        return;
    std::free(buffer->data);
    delete buffer;
}

AttachmentSink::AttachmentSink(QObject* worker) : worker_(worker) {}

AttachmentSink::~AttachmentSink()
{
    clear();
}

void AttachmentSink::install(struct soap* soap)
{
    soap->user = this;
    soap->fdimewriteopen = dime_write_open;
    soap->fdimewrite = dime_write;
    soap->fdimewriteclose = dime_write_close;
}

DimeBuffer* AttachmentSink::take(const void* payloadPointer)
{
    auto it = std::find(buffers_.begin(), buffers_.end(), payloadPointer);
    if (!payloadPointer || it == buffers_.end())
        return nullptr;
    DimeBuffer* buffer = *it;
    buffers_.erase(it);
    return buffer;
}

void AttachmentSink::clear()
{
    for (DimeBuffer* buffer : buffers_)
        freeDimeBuffer(buffer);
    buffers_.clear();
}

QObject* AttachmentSink::controller() const
{
    if (!worker_)
        return nullptr;
    // A download worker relays to its dialog itself, so that it can be
    // abandoned without the sink reaching a dialog that is gone.
    if (dynamic_cast<TransferControl*>(worker_))
        return worker_;
    return worker_->parent();
}

void AttachmentSink::postProgress(uint32_t received, uint32_t total) const
{
    QObject* receiver = controller();
    if (!receiver)
        return;
    QMetaObject::invokeMethod(receiver, "setProgress", Qt::QueuedConnection,
                              Q_ARG(int, int(received)), Q_ARG(int, int(total)));
}

bool AttachmentSink::running() const
{
    const auto* control = dynamic_cast<const TransferControl*>(controller());
    return !control || control->transferRunning();
}

namespace {

AttachmentSink* sinkOf(struct soap* soap)
{
    return static_cast<AttachmentSink*>(soap->user);
}

// Ends the whole call, as the runtime does for a broken connection.
int failWrite(struct soap* soap)
{
    soap->errnum = errno;
    return soap->error = SOAP_EOF;
}

}  // namespace

void* dime_write_open(struct soap* soap, const char*, const char*, const char*)
{
    AttachmentSink* sink = sinkOf(soap);
    // A declared length beyond the cap would be a bogus or hostile header;
    // refusing it keeps a four-gigabyte allocation from being tried.
    if (!sink || soap->dime.size > AttachmentSink::kMaxCapacity) {
        soap->error = SOAP_EOM;
        return nullptr;
    }
    auto* buffer = new DimeBuffer;
    buffer->capacity = uint32_t(soap->dime.size);
    // One byte more than declared, so that an empty attachment still has a
    // block and is refused by the length check rather than the allocation.
    buffer->data = static_cast<unsigned char*>(std::malloc(size_t(buffer->capacity) + 1));
    if (!buffer->data) {
        delete buffer;
        soap->error = SOAP_EOM;
        return nullptr;
    }
    sink->adopt(buffer);
    sink->postProgress(0, buffer->capacity);
    return buffer;
}

int dime_write(struct soap* soap, void* handle, const char* bytes, size_t n)
{
    AttachmentSink* sink = sinkOf(soap);
    auto* buffer = static_cast<DimeBuffer*>(handle);
    if (!sink || !buffer || !buffer->data || n > buffer->capacity - buffer->received)
        return failWrite(soap);
    if (!sink->running())
        return failWrite(soap);
    std::memcpy(buffer->data + buffer->received, bytes, n);
    buffer->received += uint32_t(n);
    sink->postProgress(buffer->received, buffer->capacity);
    return SOAP_OK;
}

void dime_write_close(struct soap*, void*)
{
    // The buffer stays with the sink until the payload is taken.
}
