// The frames of an exported forecast animation: which time step each frame
// shows, how far it has blended from the step before, and when it starts.
// The pace is the window's: the picture blends linearly from one step into
// the next over the time given to a step, and frames fall at a fixed rate.
// Integer milliseconds throughout, so the frame count and the blend of each
// frame come out the same on every machine.
#ifndef SKYVANE_ANIMATION_FRAMES_H
#define SKYVANE_ANIMATION_FRAMES_H

#include <cstdint>

struct AnimationFrame {
    int step = 0;
    // From the step before (0) into step (1); 1 shows step itself, unblended.
    double blend = 1.0;
};

class AnimationFrames {
public:
    // Steps firstStep to lastStep (lastStep >= firstStep), stepMs of
    // animation time per step (>= 1), framesPerSecond >= 1.
    AnimationFrames(int firstStep, int lastStep, int stepMs, int framesPerSecond);

    // The first frame shows firstStep, the last lastStep, both unblended.
    int64_t count() const { return frameCount; }
    // Frame index, 0 to count() - 1.
    AnimationFrame frame(int64_t index) const;
    // When the frame begins, rounded to the millisecond; startMs(count())
    // is when the last frame ends.
    int64_t startMs(int64_t index) const;

private:
    int firstStep;
    int lastStep;
    int64_t stepMs;
    int64_t framesPerSecond;
    int64_t frameCount;
};

#endif
