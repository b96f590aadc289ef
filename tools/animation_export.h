// A forecast's time steps drawn through a map projector and written as an
// animated WebP, frame by frame, blending between steps as the window's
// animation does.
#ifndef SKYVANE_ANIMATION_EXPORT_H
#define SKYVANE_ANIMATION_EXPORT_H

#include "animation_frames.h"

#include <QString>

#include <cstdint>
#include <functional>

class GeoProjector;
class GribFileHelper;
class QImage;

// Feeds a projector one time step of a forecast, or the blend into it from
// the step before.
class ForecastPictures {
public:
    ForecastPictures(GeoProjector& projector, GribFileHelper& helper, int type);

    // The step as it is, unblended.
    void showStep(int step);
    // fraction of the way from step - 1 (0) to step (1); step >= 1.  The
    // step before is drawn once to fill the projector's previous values,
    // then every fraction of the same step only blends.
    void showBlend(int step, double fraction);
    // The frame of whatever was shown last.
    void paint(QImage& picture);

private:
    GeoProjector& projector;
    GribFileHelper& helper;
    int type;
    int blendStep = -1;  // the step whose blend the projector holds
};

struct AnimationExport {
    QString path;
    int width = 0;
    int height = 0;
    int quality = -1;  // WebpAnimation::kLossless or 0 to 100
    // After each frame, with the frames done and the frames in all.
    std::function<void(int64_t done, int64_t total)> progress;
};

// Draws every frame and writes the file; an empty string, or why it failed
// (then no file is left under the name).
QString exportAnimation(ForecastPictures& pictures, const AnimationFrames& frames, const AnimationExport& out);

#endif
