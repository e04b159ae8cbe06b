#pragma once

// The automatic cross-fade: moves "X-Fader" towards one side over a fade time, or waits out a
// pause (a negative duration) and then jumps. Automix starts it at a change-over; the control
// host advances it once per tick.
//
// Thread: the audio thread (Automix and the control dispatch run there).
class CAutoFadeRamp {
public:
    // From the current cross-fader value towards target (0 or 255) in durationSeconds; a
    // negative duration is a pause of that length.
    void Start(float currentValue, int target, double durationSeconds) noexcept;
    // One tick of tickMs; false once the ramp is not running.
    bool Advance(double tickMs) noexcept;
    // Stops where it stands (target := value).
    void Freeze() noexcept;
    // Stops at the target (value := target); the caller shows the target on "X-Fader".
    void Complete() noexcept;

    bool Active() const noexcept { return m_active; }
    float Value() const noexcept { return m_value; }
    int Target() const noexcept { return m_target; }
    double DurationSeconds() const noexcept { return m_durationSeconds; }

private:
    bool m_active = false;
    float m_value = 0;            // cross-fader value 0..255
    int m_target = 0;             // 0 or 255
    double m_durationSeconds = 0; // negative: the pause still to wait
};
