#include "grooves/engine.hpp"

#include <algorithm>
#include <array>
#include <cmath>

namespace kinetrope::grooves::engine {

namespace {

template <typename Shape>
Table per_pip(int period, Shape shape) {
    Table table(period);
    for (int p = 0; p < period; ++p) table[p] = shape(p);
    return table;
}

// A phase that runs `turns` full turns over the loop, faster where the
// energy is high; it starts at 0 and closes exactly.
std::vector<double> warped_phase(const std::vector<double>& energy, double gain, double turns) {
    std::vector<double> phase(energy.size());
    double total = 0.0;
    for (double e : energy) total += 1.0 + gain * e;
    double running = 0.0;
    for (std::size_t p = 0; p < energy.size(); ++p) {
        phase[p] = 2.0 * pi * turns * (running / total);
        running += 1.0 + gain * energy[p];
    }
    return phase;
}

// The same, bar by bar: `turns` turns in every bar, each bar line at a
// whole number of turns, so a long loop moves at the speed of a short one.
std::vector<double> warped_phase_per_bar(const GrooveLanes& g, const std::vector<double>& energy, double gain,
                                         double turns = 1.0) {
    const std::size_t bar_pips = std::size_t(g.bar_pips);
    std::vector<double> phase(energy.size());
    for (std::size_t start = 0; start < energy.size(); start += bar_pips) {
        const std::vector<double> bar(energy.begin() + start, energy.begin() + start + bar_pips);
        const std::vector<double> within = warped_phase(bar, gain, turns);
        const double bar_start = 2.0 * pi * turns * double(start / bar_pips);
        for (std::size_t p = 0; p < bar_pips; ++p) phase[start + p] = bar_start + within[p];
    }
    return phase;
}

std::vector<double> sum_of(const std::vector<double>& a, double wa, const std::vector<double>& b, double wb) {
    std::vector<double> out(a.size());
    for (std::size_t p = 0; p < a.size(); ++p) out[p] = wa * a[p] + wb * b[p];
    return out;
}

// Softens a unit coordinate towards ±1 so a circle becomes a rounded square.
double corner(double v) { return std::tanh(2.5 * v) / std::tanh(2.5); }

// The slow depth wave of the corkscrew and spiral: once a loop of up to
// seven bars, once every four bars in a longer one, so a long part keeps
// turning at the pace of a short one; the loop always holds whole waves.
int slow_waves(const GrooveLanes& g) { return std::max(1, g.bars / 4); }

double theta(const GrooveLanes& g, int p) { return phase_angle(double(p) * slow_waves(g), g.period); }

// Kicks lift; the backbeat pulls down and tilts the point to its side, so a
// clap on a kick makes a lower lift leaning over, and a backbeat alone a dip;
// the hats bob it up and sideways between the kicks, where their swing shows;
// the other voices lean sideways. For four_floor only the kick term is left:
// (0, 0.55·weight, 0).
Table bounce(const GrooveLanes& g) {
    return per_pip(g.period, [&](int p) {
        const double side = 0.22 * g.backbeat.swing[p] + 0.3 * g.hats.swing[p] + 0.2 * g.percussion.swing[p] +
                            0.14 * g.low.swing[p] + 0.12 * g.ghosts.swing[p];
        return Offset3{side,
                       0.55 * g.kick.level[p] - 0.25 * g.backbeat.level[p] + 0.2 * g.hats.level[p] +
                           0.12 * g.percussion.level[p],
                       g.deep ? 0.06 * g.depth.swing[p] + 0.15 * g.ghosts.swing[p] : 0.0};
    });
}

// Main kick and backbeat hits alternate sides, each with a dip; hats lift a
// touch and shuffle the feet between the steps (never widening one), an
// open hat sways the weight across, and ghost notes tap the foot forward
// where the groove has depth. For four_floor: (±0.42·weight, -0.22·weight, 0).
Table step(const GrooveLanes& g) {
    return per_pip(g.period, [&](int p) {
        const double dip = -0.22 * g.kick.level[p] - 0.26 * g.backbeat.level[p];
        const double depth =
            g.deep ? 0.12 * g.depth.swing[p] + 0.06 * g.percussion.swing[p] + 0.2 * g.ghosts.level[p] : 0.0;
        const double between_steps = std::max(0.0, 1.0 - g.footwork.level[p]);
        return Offset3{0.42 * g.footwork.swing[p] + 0.22 * g.open_hats.swing[p] + 0.2 * between_steps * g.hats.swing[p],
                       dip + 0.28 * std::tanh(0.9 * g.hats.level[p] * (1.0 + g.hats.level[p])) +
                           0.05 * g.percussion.level[p],
                       depth};
    });
}

// One turn a bar, whatever the loop's length; the turn all but stops between
// the hits and leaps through them, so each groove draws the circle with its
// own stride. Hits widen it (open hats and ghost notes too); the upper voices
// give depth, so a kick-only groove stays flat. Kicks alone make the radius
// 0.58 on the kick.
Table orbit(const GrooveLanes& g) {
    const auto phase = warped_phase_per_bar(g, sum_of(g.kick_and_backbeat.level, 1.0, g.percussion.level, 0.8), 25.0);
    return per_pip(g.period, [&](int p) {
        // hits push the radius out from 0.22 towards 0.6, never beyond
        const double push = g.kick.level[p] + 0.9 * g.backbeat.level[p] + 0.7 * g.percussion.level[p] +
                            0.55 * g.hats.level[p] + 0.6 * g.open_hats.level[p] + 0.6 * g.ghosts.level[p];
        const double radius = 0.22 + 0.36 * std::tanh(2.0 * push) / std::tanh(2.0);
        const double depth = 0.22 * g.hats.swing[p] + 0.15 * g.percussion.level[p] - 0.2 * g.backbeat.level[p] +
                             0.3 * g.low.swing[p] + 0.22 * g.backbeat.swing[p] + 0.35 * g.ghosts.swing[p];
        // the backbeat knocks the whole orbit towards its side, the kick drops it
        return Offset3{radius * std::cos(phase[p]) + 0.22 * g.backbeat.swing[p] + 0.1 * g.percussion.swing[p],
                       radius * std::sin(phase[p]), depth};
    });
}

// A slow closed path over the whole phrase, hurried where the groove is
// busy; the low end pushes it out with long, gliding gestures, the backbeat
// nudges it from side to side and the upper voices ripple it.
Table glide(const GrooveLanes& g) {
    const auto phase = warped_phase_per_bar(g, g.drive, 6.0);
    return per_pip(g.period, [&](int p) {
        const double t = phase[p];
        const double reach = 0.25 + 0.3 * g.kick.level[p] + 0.25 * g.backbeat.level[p] + 0.2 * g.hats.level[p] +
                             0.2 * g.percussion.level[p];
        return Offset3{
            reach * std::sin(t) + 0.22 * g.plunge.swing[p] + 0.16 * g.percussion.swing[p] + 0.14 * g.backbeat.swing[p],
            0.16 * std::sin(2.0 * t) + 0.1 * std::cos(t) - 0.3 * std::tanh(g.plunge.level[p]) +
                0.16 * g.backbeat.swing[p],
            0.3 * std::sin(2.0 * t + 1.1) + 0.18 * g.plunge.swing[p] + 0.18 * g.hats.swing[p] +
                0.3 * g.ghosts.swing[p]};
    });
}

Table surge(const GrooveLanes& g) {
    return per_pip(g.period, [&](int p) {
        return Offset3{
            0.12 * g.hats.swing[p] + 0.1 * g.percussion.swing[p] + 0.06 * g.low.swing[p] + 0.08 * g.backbeat.swing[p],
            0.19 * g.accent.level[p] - 0.3 * g.kick.level[p] + 0.04 * g.hats.level[p] + 0.05 * g.percussion.level[p],
            0.68 * g.kick.level[p] - 0.29 * g.backbeat.level[p] + 0.05 * g.hats.swing[p] + 0.06 * g.low.level[p] +
                0.3 * g.ghosts.swing[p]};
    });
}

// The backbeat throws the point sideways and the bass leans it; y = lift /
// (1 + kick) can never go below 0.
Table recoil(const GrooveLanes& g) {
    return per_pip(g.period, [&](int p) {
        const double lift = 0.31 * g.accent.level[p] + 0.1 * g.hats.level[p] + 0.12 * g.percussion.level[p];
        return Offset3{
            0.64 * g.accent.swing[p] + 0.18 * g.percussion.swing[p] + 0.1 * g.hats.swing[p] + 0.12 * g.low.swing[p],
            lift / (1.0 + 1.5 * g.kick.level[p]),
            0.19 * g.kick.level[p] - 0.26 * g.echo.level[p] + 0.18 * g.low.swing[p] + 0.16 * g.hats.swing[p]};
    });
}

// Kicks and snares swing the point along a curved arc, side to side and
// rising towards either end; the hats shake it.
Table flutter(const GrooveLanes& g) {
    return per_pip(g.period, [&](int p) {
        const double sweep = std::tanh(g.arc.swing[p]);
        return Offset3{0.5 * sweep + 0.04 * g.hat_tremor.level[p] + 0.12 * g.low.swing[p],
                       0.4 * sweep * sweep + 0.12 * g.hat_tremor.level[p],
                       0.22 * g.hat_tremor.swing[p] + 0.1 * g.arc.swing[p] + 0.08 * g.percussion.level[p] +
                           0.1 * g.percussion.swing[p]};
    });
}

// The plunge saturates, so a bass that never stops holds the depth rather
// than dwarfing every sparser bass line.
Table dive(const GrooveLanes& g) {
    return per_pip(g.period, [&](int p) {
        const double plunge = std::tanh(1.2 * g.plunge.level[p]);
        return Offset3{0.45 * g.kick_and_backbeat.swing[p] + 0.1 * g.plunge.swing[p] + 0.16 * g.percussion.swing[p],
                       0.12 * g.accent.level[p] - 0.18 * plunge + 0.04 * g.hats.level[p] + 0.06 * g.hats.swing[p],
                       0.92 * plunge - 0.33 * g.accent.level[p] + 0.1 * g.hats.swing[p] + 0.1 * g.percussion.swing[p]};
    });
}

// A bob hanging below its pivot, one swing a bar: lowest in the middle
// of the swing, rising towards either end. The kicks and backbeats hurry the
// swing and the arc widens it, as do the hats (open hats most) and the
// ghost notes, which also rock it in depth.
Table pendulum(const GrooveLanes& g) {
    const auto phase = warped_phase_per_bar(g, sum_of(g.drive, 1.0, g.hats.level, 0.3), 10.0);
    return per_pip(g.period, [&](int p) {
        // the swing widens with the score but never goes over the top
        const double amplitude = std::tanh(0.12 + 0.7 * g.arc.level[p] + 0.2 * g.low.level[p] + 0.4 * g.hats.level[p] +
                                           0.6 * g.open_hats.level[p] + 0.5 * g.ghosts.level[p]);
        const double angle = 1.1 * amplitude * std::sin(phase[p]);
        return Offset3{0.6 * std::sin(angle), 0.3 - 0.5 * std::cos(angle) + 0.06 * g.accent.level[p],
                       0.26 * g.percussion.level[p] + 0.1 * g.hats.level[p] - 0.18 * g.kick.level[p] +
                           0.18 * g.hats.swing[p] + 0.18 * g.backbeat.swing[p] + 0.18 * g.low.swing[p] +
                           0.1 * g.percussion.swing[p] + 0.35 * g.ghosts.swing[p]};
    });
}

// One figure eight a bar, hurried through the busy stretches; kicks,
// backbeats and percussion widen the lobes. The bar line finds the point
// turning at the top of a lobe, not rushing through the crossing, so a fill
// into the downbeat never makes the seam the fastest step.
Table figure8(const GrooveLanes& g) {
    const auto phase = warped_phase_per_bar(g, g.drive, 6.0);
    return per_pip(g.period, [&](int p) {
        const double t = phase[p] + 0.25 * pi;
        const double width = 0.2 + 0.5 * g.arc.level[p] + 0.3 * g.percussion.level[p] + 0.2 * g.hats.level[p];
        return Offset3{width * std::sin(t) + 0.1 * g.hats.swing[p],
                       (0.25 + 0.3 * g.arc.level[p]) * std::sin(2.0 * t) + 0.2 * g.accent.level[p] +
                           0.14 * g.backbeat.swing[p],
                       0.17 * g.accent.level[p] - 0.2 * g.hats.level[p] + 0.05 * g.kick.swing[p] +
                           0.14 * g.percussion.swing[p] + 0.16 * g.low.swing[p] + 0.1 * g.hats.swing[p] +
                           0.3 * g.ghosts.swing[p]};
    });
}

// One tour of the four corners a bar, pushed forward by every hit; hats and
// ghost notes stretch the path outward and a backbeat pulls it in, so the
// outline shows where the backbeats fall.
Table box(const GrooveLanes& g) {
    // Hats stay out of the phase: a fill rushing into the downbeat would make
    // the seam the fastest stretch of the tour.
    const auto phase = warped_phase_per_bar(g, sum_of(g.kick_and_backbeat.level, 1.0, g.percussion.level, 0.7), 12.0);
    return per_pip(g.period, [&](int p) {
        const double push = 0.5 * g.hats.level[p] + 0.3 * g.open_hats.level[p] + 0.4 * g.ghosts.level[p] +
                            0.4 * g.kick.level[p];
        const double reach = 0.6 + 0.45 * std::tanh(2.0 * push) + 0.12 * g.low.swing[p] - 0.15 * g.backbeat.level[p];
        // the tour lingers in the corners and hurries along the edges
        const double turn = phase[p] - 0.22 * std::sin(4.0 * phase[p]);
        return Offset3{0.52 * reach * corner(std::cos(turn + 0.25 * pi)),
                       0.5 * reach * corner(std::sin(turn + 0.25 * pi)),
                       0.29 * g.accent.level[p] - 0.09 * g.hats.level[p] + 0.05 * g.kick.level[p] +
                           0.12 * g.percussion.swing[p] + 0.2 * g.low.swing[p] + 0.26 * g.hats.swing[p]};
    });
}

// Two turns on each slow depth wave; hits hurry the turn and widen
// it, the percussion most, but it stays a round turn (saturating, never
// through the middle).
Table corkscrew(const GrooveLanes& g) {
    const auto phase = warped_phase(sum_of(g.arc.level, 1.0, g.drive, 0.6), 6.0, 2.0 * slow_waves(g));
    return per_pip(g.period, [&](int p) {
        const double push = 0.9 * g.percussion.level[p] + 0.6 * g.hats.level[p] + 0.6 * g.kick.level[p] +
                            0.5 * g.backbeat.level[p];
        const double radius = 0.18 + 0.45 * std::tanh(1.5 * push);
        return Offset3{radius * std::cos(phase[p]), radius * std::sin(phase[p]),
                       0.3 * std::sin(theta(g, p)) + 0.25 * g.kick_and_backbeat.swing[p] + 0.25 * g.hats.swing[p] +
                           0.1 * g.backbeat.swing[p] + 0.25 * g.low.swing[p] + 0.3 * g.ghosts.swing[p]};
    });
}

// Two turns a depth wave while the radius shrinks to a quarter and grows back; the kick
// and backbeat hurry the turn and push it outwards, open hats widen it and
// ghost notes rock it in depth.
Table spiral(const GrooveLanes& g) {
    const auto phase = warped_phase(sum_of(g.arc.level, 1.0, g.drive, 0.5), 6.0, 2.0 * slow_waves(g));
    return per_pip(g.period, [&](int p) {
        const double t = theta(g, p);
        const double radius = 0.06 + 0.22 * (0.5 + 0.5 * std::cos(t)) + 0.3 * g.kick.level[p] +
                              0.2 * g.accent.level[p] + 0.2 * g.hats.level[p] + 0.3 * g.open_hats.level[p] +
                              0.25 * g.percussion.level[p];
        return Offset3{radius * std::cos(phase[p]), radius * std::sin(phase[p]),
                       0.2 * std::sin(t) + 0.15 * g.accent.swing[p] + 0.28 * g.percussion.swing[p] +
                           0.18 * g.hats.swing[p] + 0.16 * g.backbeat.swing[p] + 0.2 * g.low.swing[p] +
                           0.35 * g.ghosts.swing[p]};
    });
}

// Weaves left and right twice a bar, hurried by the hits; the depth runs
// against every second half-weave, so the floor track is a chain of S-bends.
// Kicks lift, snares cut back against the travel.
Table slalom(const GrooveLanes& g) {
    const auto phase = warped_phase_per_bar(g, sum_of(g.arc.level, 1.0, g.drive, 0.5), 6.0, 2.0);
    return per_pip(g.period, [&](int p) {
        const double travel = (0.3 + 0.3 * g.arc.level[p]) * std::sin(phase[p]);
        // a snare cuts back against the way the point is travelling
        const double cutback = -0.35 * g.backbeat.level[p] * std::cos(phase[p]);
        return Offset3{travel + cutback + 0.1 * g.hats.swing[p] + 0.12 * g.percussion.swing[p],
                       0.36 * g.kick.level[p] - 0.4 * g.backbeat.level[p] + 0.08 * g.hats.level[p],
                       -0.2 * travel - 0.3 * std::sin(2.0 * phase[p]) + 0.12 * g.kick.level[p] +
                           0.12 * g.hats.swing[p] + 0.12 * g.low.swing[p]};
    });
}

// A causal response: 0 with zero slope at the onset, a ringing excursion that
// decays, exactly 0 again after seven eighths of a beat.
constexpr double spring_length = 56.0;

double spring_response(double d) {
    if (!(d >= 0.0 && d < spring_length)) return 0.0;
    const double onset = 1.0 - std::exp(-d / 3.0);
    const double ring = std::sin(2.0 * pi * d / 20.0) * std::exp(-d / 16.0);
    return onset * ring * (1.0 - smootherstep(d / spring_length));
}

Offset3 spring_push(Voice voice, double side) {
    switch (voice) {
        case Voice::kick:
            return {0.0, 0.37, 0.59};
        case Voice::snare:
        case Voice::clap:
        case Voice::rim:
            return {side * 0.67, -0.3, -0.6};
        case Voice::tom:
        case Voice::perc:
        case Voice::bell:
            return {side * 0.3, 0.2, -0.3};
        case Voice::bass:
            return {0.0, -0.2, 0.4};
        default:
            return {side * 0.15, 0.08, 0.12};
    }
}

// For each of `events`, the side of the last main hit of `voices` at or
// before it (a hit of `voices` itself takes its own).
std::vector<double> accent_sides(const std::vector<DrumEvent>& events, const std::vector<Voice>& voices) {
    const auto in_voices = [&](const DrumEvent& e) {
        return std::find(voices.begin(), voices.end(), e.voice) != voices.end();
    };
    std::vector<DrumEvent> accents;
    for (const DrumEvent& e : events)
        if (in_voices(e)) accents.push_back(e);
    const std::vector<double> accent_side = alternating_sides(accents, is_main);
    std::vector<double> sides(events.size(), accent_side.empty() ? 1.0 : accent_side.back());
    for (std::size_t i = 0, k = 0; i < events.size(); ++i) {
        if (in_voices(events[i])) {
            sides[i] = accent_side[k++];
            continue;
        }
        sides[i] = i == 0 ? sides[i] : sides[i - 1];
    }
    return sides;
}

// Every listed hit adds its vector times response(d) to the pips within
// `before` pips ahead of it and `after` pips behind it.
template <typename Push, typename Response>
Table event_responses(int period, const std::vector<DrumEvent>& events, Push push, Response response, double before,
                      double after) {
    Table table(period, Offset3{0.0, 0.0, 0.0});
    for (std::size_t j = 0; j < events.size(); ++j) {
        const Offset3 v = push(j, events[j]);
        for (int k = int(std::floor(events[j].pip - before)); k <= int(std::ceil(events[j].pip + after)); ++k) {
            const double w = events[j].velocity * response(k - events[j].pip);
            if (w == 0.0) continue;
            Offset3& s = table[((k % period) + period) % period];
            s = {s.x + v.x * w, s.y + v.y * w, s.z + v.z * w};
        }
    }
    return table;
}

// The main backbeats (the kicks where there are none) take the sides in
// turn; ghosts and percussion throw to the side of the last of them, and the
// hats, too light to matter, alternate among themselves.
Table spring(const GrooveLanes& g) {
    const std::vector<double> sides = accent_sides(g.all_hits, g.accent_voices);
    const std::vector<Voice> hat_voices(hats.begin(), hats.end());
    const std::vector<double> hat_sides = alternating_sides(g.all_hits, [](const DrumEvent& e) {
        return e.voice == Voice::hat || e.voice == Voice::open_hat || e.voice == Voice::shaker;
    });
    // a swell is heard where it peaks and is cut off, so it springs there
    std::vector<DrumEvent> hits = g.all_hits;
    for (DrumEvent& e : hits)
        if (e.swell) e.pip = std::fmod(e.pip + e.length, double(g.period));
    return event_responses(
        g.period, hits,
        [&](std::size_t j, const DrumEvent& e) {
            const bool hat = std::find(hat_voices.begin(), hat_voices.end(), e.voice) != hat_voices.end();
            return spring_push(e.voice, hat ? hat_sides[j] : sides[j]);
        },
        spring_response, 0.0, spring_length);
}

// Onsets throw the point in turn towards five targets around the space.
constexpr std::array<Offset3, 5> ricochet_targets{{
    {0.85, 0.3, 0.2},
    {-0.4, -0.92, 0.45},
    {-0.85, 0.5, -0.3},
    {0.3, 0.7, -0.45},
    {0.5, -0.6, 0.4},
}};

// Each main onset moves on to the next target; a quiet one throws (as
// softly as it is played) towards the target of the last main onset, so
// ghosts never change where the main hits go. The hats add a shimmer in
// depth on top of the throws.
Table ricochet(const GrooveLanes& g) {
    static constexpr Gesture throw_shape{8.0, 40.0};
    std::vector<std::size_t> target(g.onsets.size());
    const std::size_t mains = std::size_t(std::count_if(g.onsets.begin(), g.onsets.end(), is_main));
    for (std::size_t j = 0, last = mains == 0 ? 0 : mains - 1, next = 0; j < g.onsets.size(); ++j) {
        if (is_main(g.onsets[j]) || mains == 0) last = next++;
        target[j] = last % ricochet_targets.size();
    }
    Table table = event_responses(
        g.period, g.onsets, [&](std::size_t j, const DrumEvent&) { return ricochet_targets[target[j]]; },
        [](double d) { return gesture_weight(d, throw_shape); }, throw_shape.rise, throw_shape.fall);
    for (int p = 0; p < g.period; ++p) table[p].z += 0.22 * g.hats.swing[p];
    return table;
}

// Each hat shakes inside a longer gesture: sin(2·pi·d / rate) about its onset.
Lane ringing_lane(const DrumPart& score, Voices voices, Gesture shape, double rate) {
    Lane lane{std::vector<double>(score.period(), 0.0), std::vector<double>(score.period(), 0.0)};
    double sign = 1.0;
    for (const DrumEvent& event : events_of(score, voices)) {
        for_each_gesture_pip(score.period(), event.pip, shape, [&](int pip, double weight) {
            const double shake = std::sin(2.0 * pi * loop_distance(pip, event.pip, score.period()) / rate);
            lane.level[pip] += event.velocity * weight * shake;
            lane.swing[pip] += sign * event.velocity * weight * shake;
        });
        sign = -sign;
    }
    return lane;
}

bool is_main_hit(const DrumEvent& e) {
    return is_main(e) && (e.voice == Voice::kick || e.voice == Voice::snare || e.voice == Voice::clap ||
                          e.voice == Voice::rim);
}

// Main hits (kicks and backbeats at half loudness or more) take the sides in
// turn, hits within a pip of each other being one step: one foot, as big as
// the loudest hit in it, so a kick with a clap steps no further than a kick
// alone. An odd count steps on across the seam to the side the first step
// takes again. Ghosts and percussion tap a little towards the foot that
// stepped last and never change feet.
Lane footwork_lane(const DrumPart& score) {
    Lane lane{std::vector<double>(score.period(), 0.0), std::vector<double>(score.period(), 0.0)};
    const auto hits = events_of(score, {Voice::kick, Voice::snare, Voice::clap, Voice::rim, Voice::tom, Voice::perc,
                                        Voice::bell});
    const auto sides = alternating_sides(hits, is_main_hit);
    // Two steps to one side (an odd count meeting itself across the seam)
    // overlap as one foot, not as a step twice the size; a tap under a step
    // adds nothing.
    std::vector<double> right(score.period(), 0.0), left(score.period(), 0.0);
    for (std::size_t i = 0; i < hits.size(); ++i) {
        const DrumEvent& e = hits[i];
        const bool main = is_main_hit(e);
        const bool leads = main && (i == 0 || !is_main_hit(hits[i - 1]) || e.pip - hits[i - 1].pip >= 1.0);
        if (main && !leads) continue;  // already stepped with its group
        // hits are in order of onset: only those within a pip can be under it
        const auto near = std::lower_bound(hits.begin(), hits.end(), e.pip - 1.0,
                                           [](const DrumEvent& h, double pip) { return h.pip < pip; });
        const bool under_a_step = [&] {
            for (auto h = near; h != hits.end() && h->pip - e.pip < 1.0; ++h)
                if (is_main_hit(*h) && std::fabs(h->pip - e.pip) < 1.0) return true;
            return false;
        }();
        if (!main && under_a_step) continue;
        double size = main ? 0.0 : 0.5 * e.velocity;
        for (std::size_t j = i; main && j < hits.size() && hits[j].pip - e.pip < 1.0; ++j)
            if (is_main_hit(hits[j])) size = std::max(size, hits[j].velocity);
        // a tap is quick, so it is over before the next step lands
        constexpr Gesture tap{3.2, 12.0};
        for_each_gesture_pip(score.period(), e.pip, main ? voice_gesture(e.voice) : tap, [&](int pip, double weight) {
            lane.level[pip] += size * weight;
            double& foot = sides[i] > 0.0 ? right[pip] : left[pip];
            foot = std::max(foot, size * weight);
        });
    }
    for (int p = 0; p < score.period(); ++p) lane.swing[p] = right[p] - left[p];
    return lane;
}

// Backbeats quieter than a main hit.
Lane ghost_lane(const DrumPart& score) {
    DrumPart ghosts{score.bars, score.beats_per_bar, score.beat_unit, {}};
    // quiet to hear, but a tap to see: twice as loud as played
    for (const DrumEvent& e : events_of(score, backbeats))
        if (!is_main(e)) ghosts.events.push_back({e.voice, e.pip, 2.0 * e.velocity});
    return make_lane(ghosts, backbeats);
}

}  // namespace

GrooveLanes listen(const DrumPart& score) {
    constexpr Gesture arc_shape{16.0, 48.0};
    constexpr Gesture plunge_shape{16.0, 72.0};
    const bool has_backbeat = has_voice(score, backbeats);
    const Voices accent_voices = has_backbeat ? backbeats : kicks;
    const Voices low_voices = has_voice(score, bass) ? bass : kicks;
    GrooveLanes g{
        score.period(),
        score.bars,
        score.bar_pips(),
        make_lane(score, kicks),
        make_lane(score, backbeats),
        make_lane(score, accent_voices),
        make_lane(score, hats),
        make_lane(score, {Voice::open_hat}),
        make_lane(score, percussion),
        make_lane(score, depth_voices),
        make_lane(score, {Voice::kick, Voice::snare, Voice::clap, Voice::rim}),
        make_lane(score, {Voice::kick, Voice::snare, Voice::clap, Voice::rim}, &arc_shape),
        make_lane(score, low_voices, &plunge_shape),
        make_lane(score, accent_voices, nullptr, 24.0),
        {},
        make_lane(score, bass),
        ghost_lane(score),
        footwork_lane(score),
        {},
        events_of(score, {Voice::kick, Voice::snare, Voice::clap, Voice::rim, Voice::tom, Voice::perc, Voice::bell,
                          Voice::bass}),
        score.events,
        has_voice(score, depth_voices),
        {},
    };
    g.accent_voices.assign(accent_voices.begin(), accent_voices.end());
    g.hat_tremor = ringing_lane(score, hats, {2.4, 20.0}, 6.0);
    // Every drum hurries a phase, the loudest most. The bass stays out: its
    // long tails would carry a pickup's rush across the loop seam.
    g.drive = std::vector<double>(score.period(), 0.0);
    for (int p = 0; p < score.period(); ++p)
        g.drive[p] = g.kick.level[p] + 0.8 * g.backbeat.level[p] + 0.7 * g.percussion.level[p] + 0.3 * g.hats.level[p];
    return g;
}

const std::vector<BeatMotion>& beat_motions() {
    static const std::vector<BeatMotion> motions{
        {"bounce", "Kick-led bounce", "", bounce, {{-0.297, 0.297}, {-0.240, 0.683}, {-0.040, 0.068}}},
        {"step", "Snare side-step", "", step, {{-0.734, 0.7464}, {-0.361, 0.088}, {-0.059, 0.181}}},
        {"orbit", "Percussion orbit", "", orbit, {{-0.620, 0.620}, {-0.614, 0.614}, {-0.216, 0.174}}},
        {"glide", "Bass-and-phrase glide", "", glide, {{-0.663, 0.700}, {-0.493, 0.260}, {-0.413, 0.485}}},
        {"surge",
         "Forward surge",
         "Kick thrust through depth with contrasting snare lift and hat detail.",
         surge,
         {{-0.212, 0.212}, {-0.362, 0.193}, {-0.288, 0.679}}},
        {"recoil",
         "Backbeat recoil",
         "Snare pushes sideways; kick counters downward; delayed echo draws back.",
         recoil,
         {{-0.641, 0.641}, {0.0, 0.312}, {-0.263, 0.187}}},
        {"flutter",
         "Upper-percussion flutter",
         "Hat and shaker tremors over a wider kick/snare arc.",
         flutter,
         {{-0.470, 0.541}, {-0.117, 0.350}, {-0.170, 0.294}}},
        {"dive",
         "Bass-led dive",
         "Bass drives a broad depth plunge with alternating drum counterweight.",
         dive,
         {{-0.384, 0.488}, {-0.187, 0.125}, {-0.328, 0.92}}},
        {"pendulum",
         "Weighted pendulum",
         "A hanging arc whose amplitude and angular speed respond to the score.",
         pendulum,
         {{-0.556, 0.556}, {-0.200, 0.091}, {-0.180, 0.264}}},
        {"figure8",
         "Woven figure eight",
         "Two crossing lobes expand at kicks with a lifted snare crossing.",
         figure8,
         {{-0.630, 0.645}, {-0.440, 0.440}, {-0.204, 0.178}}},
        {"box",
         "Rounded corner tour",
         "Rhythm-weighted phase travels around four softened corners.",
         box,
         {{-0.520, 0.520}, {-0.501, 0.400}, {-0.092, 0.290}}},
        {"corkscrew",
         "Closed corkscrew",
         "Two orbital turns ride a depth wave with percussion-driven radius.",
         corkscrew,
         {{-0.581, 0.596}, {-0.580, 0.580}, {-0.497, 0.602}}},
        {"spiral",
         "Breathing spiral",
         "A contracting and expanding double-turn path with a continuous seam.",
         spiral,
         {{-0.684, 0.527}, {-0.641, 0.623}, {-0.337, 0.337}}},
        {"slalom",
         "Drum slalom",
         "S-shaped travel with kick lift, snare cutbacks and depth counter-motion.",
         slalom,
         {{-0.656, 0.648}, {-0.410, 0.362}, {-0.373, 0.403}}},
        {"spring",
         "Causal spring",
         "An event starts at rest, then drives a damped ringing excursion.",
         spring,
         {{-0.670, 0.670}, {-0.367, 0.372}, {-0.601, 0.594}}},
        {"ricochet",
         "Directional ricochet",
         "Successive onsets send smooth excursions toward a cyclic series of targets.",
         ricochet,
         {{-0.856, 0.856}, {-0.92, 0.707}, {-0.469, 0.477}}},
    };
    return motions;
}

}  // namespace kinetrope::grooves::engine
