#include "catalogue/generator/beats/score.hpp"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

namespace kinetrope_tablegen {

namespace {

const std::map<std::string, Voice> voice_names{
    {"kick", Voice::kick},   {"snare", Voice::snare},   {"clap", Voice::clap},     {"rim", Voice::rim},
    {"hat", Voice::hat},     {"open", Voice::open_hat}, {"shaker", Voice::shaker}, {"tom", Voice::tom},
    {"perc", Voice::perc},   {"bell", Voice::bell},     {"bass", Voice::bass},     {"ride", Voice::ride},
    {"crash", Voice::crash},
};

[[noreturn]] void bad_score(const std::filesystem::path& file, int line, const std::string& problem) {
    throw std::runtime_error(file.filename().string() + ":" + std::to_string(line) + ": " + problem);
}

double velocity_digit(char c) { return (c - '0') / 9.0; }

// "256/3" or "96"
double rational_pip(const std::string& text) {
    const std::size_t slash = text.find('/');
    if (slash == std::string::npos) return std::stod(text);
    return std::stod(text.substr(0, slash)) / std::stod(text.substr(slash + 1));
}

struct ScoreReader {
    const std::filesystem::path& file;
    int line_number = 0;
    int bars = 0;
    std::vector<DrumEvent> events;

    void grid_line(Voice voice, std::istringstream& rest) {
        std::string cells, token;
        while (rest >> token) cells += token;
        std::erase(cells, '|');
        if (int(cells.size()) != bars * 16) bad_score(file, line_number, "grid must have 16 steps a bar");
        for (std::size_t step = 0; step < cells.size(); ++step) {
            const char c = cells[step];
            if (c == '.') continue;
            if (c < '1' || c > '9') bad_score(file, line_number, "grid cells are '.' or 1 to 9");
            events.push_back({voice, double(step * pips_per_sixteenth), velocity_digit(c)});
        }
    }

    void off_grid_line(Voice voice, std::istringstream& rest) {
        std::string token;
        while (rest >> token) {
            const std::size_t colon = token.find(':');
            const bool sustained = colon != std::string::npos && colon + 2 < token.size() &&
                                   (token[colon + 2] == '~' || token[colon + 2] == '<') && colon + 3 < token.size();
            if (colon == std::string::npos || (colon + 2 != token.size() && !sustained) || token[colon + 1] < '1' ||
                token[colon + 1] > '9')
                bad_score(file, line_number, "events are written pip:velocity, sustained ones pip:velocity~length");
            const double pip = rational_pip(token.substr(0, colon));
            if (!(pip >= 0.0 && pip < bars * pips_per_bar)) bad_score(file, line_number, "event outside the score");
            DrumEvent event{voice, pip, velocity_digit(token[colon + 1])};
            if (sustained) {
                event.length = rational_pip(token.substr(colon + 3));
                event.swell = token[colon + 2] == '<';
                if (!(event.length > 0.0 && event.length < bars * pips_per_bar))
                    bad_score(file, line_number, "a sustained note lasts less than the score");
            }
            events.push_back(event);
        }
    }

    void line(const std::string& text) {
        ++line_number;
        std::istringstream words(text.substr(0, text.find('#')));
        std::string head;
        if (!(words >> head)) return;
        if (head == "bars") {
            if (!(words >> bars) || bars < 1) bad_score(file, line_number, "bars needs a positive count");
            return;
        }
        const auto voice = voice_names.find(head);
        if (voice == voice_names.end()) bad_score(file, line_number, "unknown voice " + head);
        if (bars == 0) bad_score(file, line_number, "bars must come before the voices");
        std::streampos start = words.tellg();
        std::string marker;
        words >> marker;
        if (marker == "@") return off_grid_line(voice->second, words);
        words.clear();
        words.seekg(start);
        grid_line(voice->second, words);
    }
};

}  // namespace

Score read_score(const std::filesystem::path& file) {
    std::ifstream in(file);
    if (!in) throw std::runtime_error("cannot read " + file.string());
    ScoreReader reader{file, 0, 0, {}};
    for (std::string text; std::getline(in, text);) reader.line(text);
    if (reader.bars == 0 || reader.events.empty()) bad_score(file, reader.line_number, "score is empty");
    std::stable_sort(reader.events.begin(), reader.events.end(),
                     [](const DrumEvent& a, const DrumEvent& b) { return a.pip < b.pip; });
    return {reader.bars * pips_per_bar, std::move(reader.events)};
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

std::vector<DrumEvent> events_of(const Score& score, Voices voices) {
    std::vector<DrumEvent> chosen;
    for (const DrumEvent& event : score.events)
        if (std::find(voices.begin(), voices.end(), event.voice) != voices.end()) chosen.push_back(event);
    return chosen;
}

bool has_voice(const Score& score, Voices voices) { return !events_of(score, voices).empty(); }

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

Lane make_lane(const Score& score, Voices voices, const Gesture* gesture, double delay) {
    Lane lane{std::vector<double>(score.period, 0.0), std::vector<double>(score.period, 0.0)};
    const std::vector<DrumEvent> events = events_of(score, voices);
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
        const double onset = std::fmod(event.pip + delay, double(score.period));
        const Gesture shape = gesture ? *gesture : voice_gesture(event.voice);
        for_each_note_pip(score.period, event, onset, shape, [&](int pip, double weight) {
            lane.level[pip] += event.velocity * weight;
            lane.swing[pip] += sides[i] * event.velocity * weight;
        });
    }
    return lane;
}

}  // namespace kinetrope_tablegen
