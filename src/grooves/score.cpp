// Drum parts: checking them, reading score text and writing it back.

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <string>

#include "grooves/engine.hpp"

namespace kinetrope::grooves {

namespace {

constexpr std::array<std::string_view, voice_count> voice_names{
    "kick", "snare", "clap", "rim", "hat", "open", "shaker", "tom", "perc", "bell", "bass", "ride", "crash"};

// Held notes cost a pass over every pip they hold, so their total is bounded
// like the events are.
constexpr double max_held_pips = double(1 << 22);
constexpr int max_steps = 1024;

[[noreturn]] void refuse(const std::string& message) { throw PartError(message); }

std::string meter_problem(int beats, int unit) {
    const bool unit_ok = unit == 1 || unit == 2 || unit == 4 || unit == 8 || unit == 16;
    if (beats >= 1 && beats <= max_beats_per_bar && unit_ok) return "";
    return "a meter has 1 to " + std::to_string(max_beats_per_bar) + " beats of a 1, 2, 4, 8 or 16 note";
}

std::string size_problem(long long bars, long long period) {
    if (bars < 1) return "a part has at least one bar";
    if (bars > max_bars) return "a part has at most " + std::to_string(max_bars) + " bars";
    if (period > max_period) return "a part lasts at most " + std::to_string(max_period) + " pips";
    return "";
}

std::string event_problem(const DrumEvent& e, int period) {
    if (int(e.voice) < 0 || int(e.voice) >= voice_count) return "unknown voice";
    if (!(e.pip >= 0.0 && e.pip < period)) return "event outside the score";
    if (!(e.velocity > 0.0 && e.velocity <= 1.0)) return "velocity must be above 0 and at most 1";
    if (!(e.length >= 0.0 && e.length < period)) return "a sustained note must last less than the score";
    if (e.swell && e.length == 0.0) return "a swell needs a length";
    return "";
}

// -0 is 0 (adding +0 turns -0 into +0): a part reads back from its text,
// where both are written 0, as it was.
DrumEvent without_negative_zero(DrumEvent e) {
    e.pip += 0.0;
    e.length += 0.0;
    return e;
}

// By onset; events at one pip keep the order they came in, which decides
// which of them leads (a ricochet's target, a step's side).
void sort_by_onset(std::vector<DrumEvent>& events) {
    std::stable_sort(events.begin(), events.end(), [](const DrumEvent& a, const DrumEvent& b) { return a.pip < b.pip; });
}

bool parse_double(std::string_view text, double& out) {
    if (text.empty() || text.front() == '+') return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out);
    return error == std::errc() && end == text.data() + text.size() && std::isfinite(out);
}

bool parse_int(std::string_view text, int& out) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out);
    return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

// "256/3" or "96" or "42.5"
bool parse_pips(std::string_view text, double& out) {
    const std::size_t slash = text.find('/');
    if (slash == std::string_view::npos) return parse_double(text, out);
    double over = 0.0, under = 0.0;
    if (!parse_double(text.substr(0, slash), over) || !parse_double(text.substr(slash + 1), under)) return false;
    out = over / under;
    return std::isfinite(out);
}

// A digit is ninths; a decimal is the loudness itself.
bool parse_velocity(std::string_view text, double& out) {
    if (text.size() == 1) {
        if (text[0] < '1' || text[0] > '9') return false;
        out = (text[0] - '0') / 9.0;
        return true;
    }
    return parse_double(text, out) && out > 0.0 && out <= 1.0;
}

std::vector<std::string_view> words_of(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t at = 0;
    while (true) {
        at = line.find_first_not_of(" \t\r\v\f", at);
        if (at == std::string_view::npos) return words;
        const std::size_t end = std::min(line.find_first_of(" \t\r\v\f", at), line.size());
        words.push_back(line.substr(at, end - at));
        at = end;
    }
}

struct ScoreReader {
    int line_number = 0;
    int bars = 0;
    int beats = 4;
    int unit = 4;
    int steps = 0;  // grid steps a bar; 0: sixteenths
    double swing = 0.5;
    bool in_voices = false;
    double held = 0.0;
    std::vector<DrumEvent> events;

    [[noreturn]] void bad(const std::string& problem) const {
        refuse("line " + std::to_string(line_number) + ": " + problem);
    }
    int bar_pips() const { return beats * (256 / unit); }
    int period() const { return bars * bar_pips(); }
    int steps_a_bar() const { return steps > 0 ? steps : bar_pips() / 16; }

    void add(const DrumEvent& event) {
        if (const std::string problem = event_problem(event, period()); !problem.empty()) bad(problem);
        if (int(events.size()) == max_events) bad("a part has at most " + std::to_string(max_events) + " events");
        held += event.length;
        if (held > max_held_pips)
            bad("sustained notes hold at most " + std::to_string(int(max_held_pips)) + " pips in all");
        events.push_back(without_negative_zero(event));
    }

    // Where step `step` of the grid falls, every second step of a bar
    // delayed by the swing.
    double step_pip(long long step) const {
        const long long bar = step / steps_a_bar(), within = step % steps_a_bar();
        const double start = double(bar * bar_pips());
        if (within % 2 == 1 && swing != 0.5)
            return start + (double(within - 1) + 2.0 * swing) * bar_pips() / steps_a_bar();
        return start + double(within * bar_pips()) / steps_a_bar();
    }

    void grid_line(Voice voice, const std::vector<std::string_view>& words) {
        std::string cells;
        for (std::size_t w = 1; w < words.size(); ++w) cells += words[w];
        std::erase(cells, '|');
        if ((long long)(cells.size()) != (long long)(bars) * steps_a_bar())
            bad("grid must have " + std::to_string(steps_a_bar()) + " steps a bar");
        for (std::size_t step = 0; step < cells.size(); ++step) {
            const char c = cells[step];
            if (c == '.') continue;
            if (c < '1' || c > '9') bad("grid cells are '.' or 1 to 9");
            add({voice, step_pip((long long)step), (c - '0') / 9.0});
        }
    }

    void off_grid_line(Voice voice, const std::vector<std::string_view>& words) {
        for (std::size_t w = 2; w < words.size(); ++w) {
            const std::string_view token = words[w];
            const std::size_t colon = token.find(':');
            const std::size_t mark = token.find_first_of("~<", colon == std::string_view::npos ? 0 : colon);
            DrumEvent event{voice, 0.0, 0.0};
            const bool ok = colon != std::string_view::npos && parse_pips(token.substr(0, colon), event.pip) &&
                            parse_velocity(token.substr(colon + 1, mark == std::string_view::npos
                                                                          ? std::string_view::npos
                                                                          : mark - colon - 1),
                                           event.velocity) &&
                            (mark == std::string_view::npos || parse_pips(token.substr(mark + 1), event.length));
            if (!ok) bad("events are written pip:velocity, sustained ones pip:velocity~length");
            if (!(event.pip >= 0.0 && event.pip < period())) bad("event outside the score");
            if (mark != std::string_view::npos) {
                event.swell = token[mark] == '<';
                if (!(event.length > 0.0 && event.length < period())) bad("a sustained note must last less than the score");
            }
            add(event);
        }
    }

    void header(std::string_view head, const std::vector<std::string_view>& words) {
        if (in_voices) bad(std::string(head) + " must come before the voices");
        const std::string_view value = words.size() == 2 ? words[1] : std::string_view();
        if (head == "bars") {
            if (!parse_int(value, bars) || bars < 1) bad("bars needs a positive count");
        } else if (head == "meter") {
            const std::size_t slash = value.find('/');
            if (slash == std::string_view::npos || !parse_int(value.substr(0, slash), beats) ||
                !parse_int(value.substr(slash + 1), unit))
                bad("meter is written beats/unit, such as 7/8");
            if (const std::string problem = meter_problem(beats, unit); !problem.empty()) bad(problem);
        } else if (head == "steps") {
            if (!parse_int(value, steps) || steps < 1 || steps > max_steps)
                bad("steps needs a count from 1 to " + std::to_string(max_steps) + " a bar");
        } else {
            if (!parse_double(value, swing) || swing < 0.5 || swing > 0.75)
                bad("swing is a number from 0.5 (straight) to 0.75");
        }
        if (bars > 0)
            if (const std::string problem = size_problem(bars, (long long)(bars) * bar_pips()); !problem.empty())
                bad(problem);
    }

    void line(std::string_view text) {
        ++line_number;
        const std::vector<std::string_view> words = words_of(text.substr(0, text.find('#')));
        if (words.empty()) return;
        const std::string_view head = words[0];
        if (head == "bars" || head == "meter" || head == "steps" || head == "swing") return header(head, words);
        const std::optional<Voice> voice = voice_named(head);
        if (!voice) bad("unknown voice " + std::string(head.substr(0, 40)));
        if (bars == 0) bad("bars must come before the voices");
        in_voices = true;
        if (words.size() > 1 && words[1] == "@") return off_grid_line(*voice, words);
        grid_line(*voice, words);
    }
};

// The fewest digits that read back to the same double.
std::string shortest_text(double value) {
    char text[32];
    const auto written = std::to_chars(text, text + sizeof text, value);
    return std::string(text, written.ptr);
}

// Whole pips as integers; a triplet's or a MIDI tick's pip as the fraction
// it is ("128/3", "6038/15"), which reads back to the same double.
std::string number_text(double value) {
    if (value == std::floor(value) && std::fabs(value) < 1e15) return std::to_string((long long)(value));
    for (int under = 2; under <= 16 && std::fabs(value) < 1e12; ++under) {
        const double over = std::round(value * under);
        if (over / under == value) return std::to_string((long long)(over)) + "/" + std::to_string(under);
    }
    return shortest_text(value);
}

std::string velocity_text(double velocity) {
    const double ninths = std::round(velocity * 9.0);
    if (ninths >= 1.0 && ninths <= 9.0 && ninths / 9.0 == velocity) return std::string(1, char('0' + int(ninths)));
    return shortest_text(velocity);
}

bool on_the_grid(const DrumEvent& e) {
    return e.length == 0.0 && std::fmod(e.pip, 16.0) == 0.0 && velocity_text(e.velocity).size() == 1;
}

std::string grid_text(const DrumPart& part, const std::string& cells) {
    const std::size_t steps_a_bar = std::size_t(part.bar_pips() / 16), steps_a_beat = std::size_t(16 / part.beat_unit);
    std::string text = " |";
    for (std::size_t step = 0; step < cells.size(); ++step) {
        if (step > 0 && step % steps_a_bar == 0)
            text += "|";
        else if (step > 0 && step % steps_a_beat == 0)
            text += " ";
        text += cells[step];
    }
    return text + "|";
}

// One voice's events of one rank: a grid line (sixteenths, loudness in
// ninths) for the rank-0 events that fit it, an '@' line for the rest.
std::string voice_lines(const DrumPart& part, const std::vector<int>& rank, int r, Voice voice) {
    std::string cells(std::size_t(part.period() / 16), '.');
    std::string off_grid;
    bool any_on_grid = false;
    for (std::size_t i = 0; i < part.events.size(); ++i) {
        const DrumEvent& e = part.events[i];
        if (e.voice != voice || rank[i] != r) continue;
        if (r == 0 && on_the_grid(e)) {
            cells[std::size_t(e.pip / 16.0)] = velocity_text(e.velocity)[0];
            any_on_grid = true;
            continue;
        }
        off_grid += " " + number_text(e.pip) + ":" + velocity_text(e.velocity);
        if (e.length > 0.0) off_grid += (e.swell ? "<" : "~") + number_text(e.length);
    }
    const std::string name(voice_names[std::size_t(voice)]);
    std::string lines;
    // Names padded to the longest ("shaker"), so the bars line up.
    if (any_on_grid) lines += name + std::string(6 - name.size(), ' ') + grid_text(part, cells) + "\n";
    if (!off_grid.empty()) lines += name + " @" + off_grid + "\n";
    return lines;
}

}  // namespace

std::string_view voice_name(Voice voice) { return voice_names.at(std::size_t(voice)); }

std::optional<Voice> voice_named(std::string_view name) {
    for (std::size_t v = 0; v < voice_names.size(); ++v)
        if (voice_names[v] == name) return Voice(v);
    return std::nullopt;
}

DrumPart make_part(int bars, int beats_per_bar, int beat_unit, std::vector<DrumEvent> events) {
    if (const std::string problem = meter_problem(beats_per_bar, beat_unit); !problem.empty()) refuse(problem);
    DrumPart part{bars, beats_per_bar, beat_unit, std::move(events)};
    if (const std::string problem = size_problem(bars, (long long)(bars) * part.bar_pips()); !problem.empty())
        refuse(problem);
    if (part.events.size() > std::size_t(max_events))
        refuse("a part has at most " + std::to_string(max_events) + " events");
    double held = 0.0;
    for (std::size_t i = 0; i < part.events.size(); ++i) {
        if (const std::string problem = event_problem(part.events[i], part.period()); !problem.empty())
            refuse("event " + std::to_string(i) + ": " + problem);
        held += part.events[i].length;
        part.events[i] = without_negative_zero(part.events[i]);
    }
    if (held > max_held_pips) refuse("sustained notes hold at most " + std::to_string(int(max_held_pips)) + " pips in all");
    sort_by_onset(part.events);
    return part;
}

DrumPart parse_score(std::string_view text) {
    if (text.size() > max_score_chars)
        refuse("a score is at most " + std::to_string(max_score_chars) + " characters");
    ScoreReader reader;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        reader.line(text.substr(start, end - start));
        start = end + 1;
    }
    if (reader.bars == 0) reader.bad("score is empty");
    sort_by_onset(reader.events);
    return {reader.bars, reader.beats, reader.unit, std::move(reader.events)};
}

std::string score_text(const DrumPart& part) {
    std::string text = "meter " + std::to_string(part.beats_per_bar) + "/" + std::to_string(part.beat_unit) +
                       "\nbars " + std::to_string(part.bars) + "\n";
    // Events sharing a pip are read back in line order: all rank-0 lines in
    // voice order, then the rank-1 lines, and so on. An event keeps the rank
    // of the one before it at its pip when its voice comes later, so a part
    // read from a score (voices in order) writes back as plain grid lines.
    std::vector<int> rank(part.events.size(), 0);
    for (std::size_t i = 1; i < part.events.size(); ++i) {
        const DrumEvent &before = part.events[i - 1], &event = part.events[i];
        if (event.pip == before.pip) rank[i] = rank[i - 1] + (event.voice > before.voice ? 0 : 1);
    }
    const int ranks = part.events.empty() ? 0 : *std::max_element(rank.begin(), rank.end()) + 1;
    for (int r = 0; r < ranks; ++r)
        for (int v = 0; v < voice_count; ++v) text += voice_lines(part, rank, r, Voice(v));
    return text;
}

}  // namespace kinetrope::grooves
