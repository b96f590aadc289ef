// How fast the animation plays and whether it starts again after the last
// step.  The normal pace is one second of real time per forecast hour; the
// faster speeds divide it by 2, 4 or 8.
#ifndef SKYVANE_ANIMATIONPACE_H
#define SKYVANE_ANIMATIONPACE_H

class AnimationPace {
public:
    static constexpr int kSpeeds[] = {1, 2, 4, 8};

    AnimationPace() = default;
    AnimationPace(int speed, bool loop);

    int speed() const { return speedFactor; }
    bool loops() const { return looping; }
    // False, leaving the speed, for a factor not offered.
    bool setSpeed(int speed);
    void setLoop(bool loop) { looping = loop; }

    // Milliseconds one step of timeStepHours takes; a step of 0 hours
    // plays as one hour.
    int stepDurationMs(int timeStepHours) const;

private:
    int speedFactor = 1;
    bool looping = false;
};

#endif
