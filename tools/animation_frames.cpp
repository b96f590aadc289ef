#include "animation_frames.h"

#include <algorithm>

// Frame k falls k / framesPerSecond seconds in, which is
// k * 1000 / (framesPerSecond * stepMs) steps: the whole part the steps
// passed, the rest the blend into the next one.
AnimationFrames::AnimationFrames(int firstStep, int lastStep, int stepMs, int framesPerSecond)
    : firstStep(firstStep), lastStep(std::max(firstStep, lastStep)), stepMs(std::max(1, stepMs)),
      framesPerSecond(std::max(1, framesPerSecond))
{
    const int64_t transitions = int64_t(this->lastStep) - firstStep;
    const int64_t unitsPerStep = this->framesPerSecond * this->stepMs;
    // The last frame is the first at or past the end, shown as the last step.
    frameCount = (transitions * unitsPerStep + 999) / 1000 + 1;
}

AnimationFrame AnimationFrames::frame(int64_t index) const
{
    if (index >= frameCount - 1)
        return {lastStep, 1.0};
    const int64_t unitsPerStep = framesPerSecond * stepMs;
    const int64_t units = std::max<int64_t>(0, index) * 1000;
    const int stepsPassed = int(units / unitsPerStep);
    const int64_t into = units % unitsPerStep;
    if (into == 0)
        return {firstStep + stepsPassed, 1.0};
    return {firstStep + stepsPassed + 1, double(into) / double(unitsPerStep)};
}

int64_t AnimationFrames::startMs(int64_t index) const
{
    return (index * 1000 + framesPerSecond / 2) / framesPerSecond;
}
