#include "animation_export.h"

#include "GeoProjector.h"
#include "GribFileHelper.h"
#include "webp_animation.h"

#include <QImage>
#include <QPainter>

ForecastPictures::ForecastPictures(GeoProjector& projector, GribFileHelper& helper, int type)
    : projector(projector), helper(helper), type(type)
{
}

void ForecastPictures::showStep(int step)
{
    helper.goCompound(step);
    projector.setData(&helper, type, false, 0.0f);
    blendStep = -1;
}

void ForecastPictures::showBlend(int step, double fraction)
{
    if (step != blendStep) {
        // The window's way into a step: the step before fills the value
        // cache, which becomes the previous values once the step is current.
        helper.goCompound(step - 1);
        projector.setData(&helper, type, false, 0.0f);
        projector.update(true);
        helper.goCompound(step);
        projector.setData(&helper, type, true, 0.0f);
        projector.update(true);
        blendStep = step;
    }
    projector.setData(&helper, type, true, float(fraction));
}

void ForecastPictures::paint(QImage& picture)
{
    QPainter painter(&picture);
    projector.render(painter);
}

QString exportAnimation(ForecastPictures& pictures, const AnimationFrames& frames, const AnimationExport& out)
{
    QImage picture(out.width, out.height, QImage::Format_ARGB32_Premultiplied);
    if (picture.isNull())
        return "not enough memory for a picture of that size";
    WebpAnimation animation(out.width, out.height, out.quality);
    if (!animation.begin(out.path))
        return animation.error();
    for (int64_t k = 0; k < frames.count(); ++k) {
        const AnimationFrame frame = frames.frame(k);
        if (frame.blend >= 1.0)
            pictures.showStep(frame.step);
        else
            pictures.showBlend(frame.step, frame.blend);
        pictures.paint(picture);
        if (!animation.add(picture, frames.startMs(k)))
            return animation.error();
        if (out.progress)
            out.progress(k + 1, frames.count());
    }
    if (!animation.finish(frames.startMs(frames.count())))
        return animation.error();
    return QString();
}
