// An animated WebP file written frame by frame with libwebp's animation
// encoder: each frame is encoded as it is added (only the encoded frames
// are kept), and the file appears under its name only when it is whole.
#ifndef SKYVANE_WEBP_ANIMATION_H
#define SKYVANE_WEBP_ANIMATION_H

#include <QSaveFile>
#include <QString>

#include <cstdint>
#include <memory>

class QImage;
struct WebPAnimEncoder;
struct WebPConfig;
struct WebPPicture;

class WebpAnimation {
public:
    static constexpr int kLossless = -1;
    // WebP's own limit on either side of the canvas.
    static constexpr int kMaxSide = 16383;

    // quality: kLossless, or 0 to 100 for lossy frames.
    WebpAnimation(int width, int height, int quality);
    ~WebpAnimation();
    WebpAnimation(const WebpAnimation&) = delete;
    WebpAnimation& operator=(const WebpAnimation&) = delete;

    // Opens path for writing (through a temporary beside it) and prepares
    // the encoder; false with error() when either fails.
    bool begin(const QString& path);
    // A frame of the canvas size, shown from startMs on; startMs never
    // goes back.
    bool add(const QImage& frame, int64_t startMs);
    // The last frame ends at endMs; writes the file and gives it its name.
    bool finish(int64_t endMs);
    QString error() const { return message; }

private:
    bool copyPixels(const QImage& frame);
    bool encoderFailed(const QString& what);

    int width;
    int height;
    int quality;
    QSaveFile file;
    WebPAnimEncoder* encoder = nullptr;
    std::unique_ptr<WebPPicture> picture;
    std::unique_ptr<WebPConfig> config;
    QString message;
};

#endif
