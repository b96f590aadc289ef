#include "webp_animation.h"

#include <QImage>

#include <webp/encode.h>
#include <webp/mux.h>

#include <climits>
#include <cstring>

namespace {

// Lossless effort: the encoder's level 1 of 0 to 9.  Forecast maps are
// large flat areas of few colours that compress well at little effort: on
// a 1280 x 800 map, levels 3 to 6 take two and a half times as long for
// files a quarter smaller, level 0 is slower still and larger.
constexpr int kLosslessLevel = 1;

}  // namespace

WebpAnimation::WebpAnimation(int width, int height, int quality)
    : width(width), height(height), quality(quality), picture(std::make_unique<WebPPicture>()),
      config(std::make_unique<WebPConfig>())
{
    std::memset(picture.get(), 0, sizeof(WebPPicture));
}

WebpAnimation::~WebpAnimation()
{
    if (encoder)
        WebPAnimEncoderDelete(encoder);
    WebPPictureFree(picture.get());
}

bool WebpAnimation::begin(const QString& path)
{
    if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) {
        message = QString("a WebP picture is 1 to %1 pixels each way, not %2x%3").arg(kMaxSide).arg(width).arg(height);
        return false;
    }
    const bool configured = quality == kLossless
                                ? WebPConfigInit(config.get()) && WebPConfigLosslessPreset(config.get(), kLosslessLevel)
                                : WebPConfigPreset(config.get(), WEBP_PRESET_DEFAULT, float(quality));
    if (!configured || !WebPValidateConfig(config.get())) {
        message = "this libwebp does not accept the encoding settings";
        return false;
    }
    if (!WebPPictureInit(picture.get())) {
        message = "this libwebp does not match the version it was built against";
        return false;
    }
    picture->use_argb = 1;
    picture->width = width;
    picture->height = height;
    if (!WebPPictureAlloc(picture.get())) {
        message = "not enough memory for a frame of that size";
        return false;
    }
    WebPAnimEncoderOptions options;
    if (!WebPAnimEncoderOptionsInit(&options)) {
        message = "this libwebp does not match the version it was built against";
        return false;
    }
    options.anim_params.loop_count = 0;  // play for ever, as a forecast loop is watched
    encoder = WebPAnimEncoderNew(width, height, &options);
    if (!encoder) {
        message = "not enough memory for the animation encoder";
        return false;
    }
    file.setFileName(path);
    if (!file.open(QIODevice::WriteOnly)) {
        message = "cannot write " + path + ": " + file.errorString();
        return false;
    }
    return true;
}

// The encoder takes straight (not premultiplied) ARGB words, which
// QImage::Format_ARGB32 holds in the same order on every machine.
bool WebpAnimation::copyPixels(const QImage& frame)
{
    if (frame.width() != width || frame.height() != height) {
        message = QString("a frame of %1x%2 in an animation of %3x%4")
                      .arg(frame.width()).arg(frame.height()).arg(width).arg(height);
        return false;
    }
    const QImage straight =
        frame.format() == QImage::Format_ARGB32 ? frame : frame.convertToFormat(QImage::Format_ARGB32);
    if (straight.isNull()) {
        message = "not enough memory to convert a frame";
        return false;
    }
    for (int y = 0; y < height; ++y)
        std::memcpy(picture->argb + size_t(y) * size_t(picture->argb_stride), straight.constScanLine(y),
                    size_t(width) * sizeof(uint32_t));
    return true;
}

bool WebpAnimation::encoderFailed(const QString& what)
{
    const char* why = encoder ? WebPAnimEncoderGetError(encoder) : nullptr;
    message = what + (why && *why ? QString(": ") + why : QString());
    return false;
}

bool WebpAnimation::add(const QImage& frame, int64_t startMs)
{
    if (!encoder || !file.isOpen()) {
        message = "the animation was not begun";
        return false;
    }
    if (startMs < 0 || startMs > INT_MAX) {
        message = "the animation would last longer than WebP can time";
        return false;
    }
    if (!copyPixels(frame))
        return false;
    if (!WebPAnimEncoderAdd(encoder, picture.get(), int(startMs), config.get()))
        return encoderFailed("encoding a frame failed");
    return true;
}

bool WebpAnimation::finish(int64_t endMs)
{
    if (!encoder || !file.isOpen()) {
        message = "the animation was not begun";
        return false;
    }
    if (endMs < 0 || endMs > INT_MAX) {
        message = "the animation would last longer than WebP can time";
        return false;
    }
    if (!WebPAnimEncoderAdd(encoder, nullptr, int(endMs), nullptr))
        return encoderFailed("ending the animation failed");
    WebPData data;
    WebPDataInit(&data);
    if (!WebPAnimEncoderAssemble(encoder, &data)) {
        WebPDataClear(&data);
        return encoderFailed("assembling the animation failed");
    }
    const qint64 size = qint64(data.size);
    const bool written = file.write(reinterpret_cast<const char*>(data.bytes), size) == size;
    WebPDataClear(&data);
    if (!written || !file.commit()) {
        message = "cannot write " + file.fileName() + ": " + file.errorString();
        return false;
    }
    return true;
}
