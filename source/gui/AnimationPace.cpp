#include "AnimationPace.h"

#include <algorithm>
#include <iterator>

AnimationPace::AnimationPace(int speed, bool loop)
    : looping(loop)
{
    setSpeed(speed);
}

bool AnimationPace::setSpeed(int speed)
{
    if (std::find(std::begin(kSpeeds), std::end(kSpeeds), speed) == std::end(kSpeeds))
        return false;
    speedFactor = speed;
    return true;
}

int AnimationPace::stepDurationMs(int timeStepHours) const
{
    // A damaged file's step must not overflow the product.
    constexpr int kLongestStepHours = 100000;
    const int hours = timeStepHours > 0 ? std::min(timeStepHours, kLongestStepHours) : 1;
    return hours * 1000 / speedFactor;
}
