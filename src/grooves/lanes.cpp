// Gestures and lanes: how each drum event moves the pips around it.

#include <algorithm>
#include <cmath>

#include "grooves/engine.hpp"

namespace kinetrope::grooves::engine {

double phase_angle(double pip, int period) { return 2.0 * pi * pip / period; }

double smootherstep(double u) {
    const double u3 = u * u * u;
    const double u4 = u3 * u;
    const double u5 = u4 * u;
    return 6.0 * u5 - 15.0 * u4 + 10.0 * u3;
}

double loop_distance(double pip, double onset, int period) {
    const double half = period / 2.0;
    double d = std::fmod(pip - onset, double(period));
    if (d > half) d -= period;
    if (d <= -half) d += period;
    return d;
}

Gesture voice_gesture(Voice voice) {
    switch (voice) {
        case Voice::kick:
            return {6.4, 29.44};
        case Voice::snare:
            return {4.8, 24.0};
        case Voice::clap:
            return {4.8, 20.8};
        case Voice::rim:
            return {3.2, 14.4};
        case Voice::hat:
            return {2.4, 9.6};
        case Voice::open_hat:
            return {3.2, 19.2};
        case Voice::shaker:
            return {2.4, 8.0};
        case Voice::tom:
            return {6.4, 25.6};
        case Voice::perc:
            return {4.0, 16.0};
        case Voice::bell:
            return {3.2, 19.2};
        case Voice::bass:
            return {9.6, 44.8};
        case Voice::ride:
            return {3.2, 16.0};
        case Voice::crash:
            return {4.8, 40.0};
    }
    return {6.4, 29.44};
}

double gesture_weight(double distance, Gesture gesture) {
    double c = 0.0;
    if (distance > -gesture.rise && distance <= 0.0)
        c = std::cos(pi * distance / (2.0 * gesture.rise));
    else if (distance > 0.0 && distance < gesture.fall)
        c = std::cos(pi * distance / (2.0 * gesture.fall));
    return c * c;
}

double sustained_weight(double distance, Gesture gesture, const DrumEvent& note) {
    // a swell is cut off where it peaks, as quickly as it could rise
    if (distance > note.length)
        return gesture_weight(distance - note.length, note.swell ? Gesture{gesture.rise, gesture.rise} : gesture);
    if (distance > 0.0) return note.swell ? smootherstep(distance / note.length) : 1.0;
    return note.swell ? 0.0 : gesture_weight(distance, gesture);
}

std::vector<DrumEvent> events_of(const DrumPart& part, Voices voices) {
    std::vector<DrumEvent> chosen;
    for (const DrumEvent& event : part.events)
        if (std::find(voices.begin(), voices.end(), event.voice) != voices.end()) chosen.push_back(event);
    return chosen;
}

bool has_voice(const DrumPart& part, Voices voices) {
    return std::any_of(part.events.begin(), part.events.end(), [&](const DrumEvent& event) {
        return std::find(voices.begin(), voices.end(), event.voice) != voices.end();
    });
}

std::vector<double> alternating_sides(const std::vector<DrumEvent>& events, EventTest is_counted) {
    const bool any_main = std::any_of(events.begin(), events.end(), is_counted);
    const auto counts = [&](const DrumEvent& e) { return !any_main || is_counted(e); };
    // group index of every counted event; quiet ones get the last group's
    std::vector<int> group(events.size(), -1);
    int groups = 0;
    double group_onset = -2.0;
    for (std::size_t i = 0; i < events.size(); ++i) {
        if (!counts(events[i])) continue;
        if (events[i].pip - group_onset >= 1.0) {
            ++groups;
            group_onset = events[i].pip;
        }
        group[i] = groups - 1;
    }
    std::vector<double> sides(events.size());
    int last = groups - 1;
    for (std::size_t i = 0; i < events.size(); ++i) {
        if (group[i] >= 0) last = group[i];
        sides[i] = last % 2 == 0 ? 1.0 : -1.0;
    }
    return sides;
}

Lane make_lane(const DrumPart& part, Voices voices, const Gesture* gesture, double delay) {
    const int period = part.period();
    Lane lane{std::vector<double>(period, 0.0), std::vector<double>(period, 0.0)};
    const std::vector<DrumEvent> events = events_of(part, voices);
    // Only kicks and backbeats are main hits; hats, percussion and bass
    // alternate on every note, in lanes of their own.
    const bool has_main_voices = std::any_of(voices.begin(), voices.end(), [](Voice v) {
        return v == Voice::kick || v == Voice::snare || v == Voice::clap || v == Voice::rim;
    });
    std::vector<double> sides = alternating_sides(events);
    if (!has_main_voices)
        for (std::size_t i = 0, group = 0; i < events.size(); ++i) {
            if (i > 0 && events[i].pip - events[i - 1].pip >= 1.0) ++group;
            sides[i] = group % 2 == 0 ? 1.0 : -1.0;
        }
    for (std::size_t i = 0; i < events.size(); ++i) {
        const DrumEvent& event = events[i];
        const double onset = std::fmod(event.pip + delay, double(period));
        const Gesture shape = gesture ? *gesture : voice_gesture(event.voice);
        for_each_note_pip(period, event, onset, shape, [&](int pip, double weight) {
            lane.level[pip] += event.velocity * weight;
            lane.swing[pip] += sides[i] * event.velocity * weight;
        });
    }
    return lane;
}

}  // namespace kinetrope::grooves::engine
