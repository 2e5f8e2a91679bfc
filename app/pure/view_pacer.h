// How often a view shows figures that change faster than anyone can read them: at most once
// every 100 ms, and once more when the work ends, so that the last figures are always the ones
// on screen. Every update of a dialog's control from a worker is a round trip to the dialog's
// thread and a repaint there; paced, a long run costs a few of them a second instead of one per
// step of its work.
#pragma once
#include <chrono>

class ViewPacer {
public:
    static constexpr std::chrono::milliseconds kInterval{ 100 };

    // True when the view was never updated or its last update is kInterval old.
    bool Due() const { return std::chrono::steady_clock::now() - m_updated >= kInterval; }
    // Notes that the view shows the latest figures now.
    void Updated() { m_updated = std::chrono::steady_clock::now(); }

private:
    std::chrono::steady_clock::time_point m_updated{};
};
