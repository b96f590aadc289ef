#include "LandMaskImage.h"

#include <QFile>
#include <QImageReader>
#include <QImageWriter>

#include <mutex>

namespace {

// Bit depth and colour type from a PNG's header (IHDR follows the
// signature at once); false when the file is no PNG.
bool pngHeader(const QString& path, int& depth, int& colourType)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(26);
    if (head.size() < 26 || !head.startsWith("\x89PNG\r\n\x1a\n") || head.mid(12, 4) != "IHDR")
        return false;
    depth = static_cast<unsigned char>(head[24]);
    colourType = static_cast<unsigned char>(head[25]);
    return true;
}

bool fail(QString* error, const QString& path, const QString& why)
{
    if (error)
        *error = path + QStringLiteral(": ") + why;
    return false;
}

// Qt's reader refuses images of this many pixels whatever their depth (at
// one bit per pixel a mask takes 36 MB), and its limit is process-wide.
// While any mask is being read the limit is lifted; the first reader to
// start saves it and the last to finish puts it back, so reads on several
// threads never restore it under one another.
std::mutex liftMutex;
int liftingReaders = 0;  // under liftMutex
int savedLimitMb = 0;    // under liftMutex

class ReadLimitLift {
public:
    ReadLimitLift()
    {
        const std::lock_guard<std::mutex> lock(liftMutex);
        if (liftingReaders++ == 0) {
            savedLimitMb = QImageReader::allocationLimit();
            QImageReader::setAllocationLimit(0);
        }
    }
    ~ReadLimitLift()
    {
        const std::lock_guard<std::mutex> lock(liftMutex);
        if (--liftingReaders == 0)
            QImageReader::setAllocationLimit(savedLimitMb);
    }
    ReadLimitLift(const ReadLimitLift&) = delete;
    ReadLimitLift& operator=(const ReadLimitLift&) = delete;
};

}  // namespace

bool LandMaskImage::read(const QString& path, QImage& mask, QString* error)
{
    int depth = 0, colourType = 0;
    if (!pngHeader(path, depth, colourType))
        return fail(error, path, QStringLiteral("missing or not a PNG image"));
    if (depth != 1 || (colourType != 0 && colourType != 3))
        return fail(error, path, QStringLiteral("not a 1-bit grey or palette image"));
    QImageReader reader(path);
    reader.setAutoTransform(false);
    const QSize expected(kWidth, kHeight);
    if (reader.size() != expected)
        return fail(error, path, QStringLiteral("not %1 x %2 pixels").arg(kWidth).arg(kHeight));
    QImage image;
    bool read = false;
    {
        const ReadLimitLift lift;
        read = reader.read(&image);
    }
    if (!read)
        return fail(error, path, reader.errorString());
    if (image.format() == QImage::Format_MonoLSB)
        image = image.convertToFormat(QImage::Format_Mono);
    if (image.size() != expected || image.format() != QImage::Format_Mono || image.colorCount() != 2)
        return fail(error, path, QStringLiteral("unexpected image layout"));
    // A set sample means land: white in a grey image (Qt hands those over
    // with a white index 0), index 1 in a palette image.
    if (colourType == 0 && qGray(image.color(1)) < qGray(image.color(0))) {
        image.invertPixels();
        image.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    }
    mask = image;
    return true;
}

bool LandMaskImage::write(const QImage& mask, const QString& path, QString* error)
{
    QImage image = mask;
    image.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    QImageWriter writer(path, "png");
    if (!writer.write(image))
        return fail(error, path, writer.errorString());
    return true;
}
