// Turns every groove's score into its sixteen motions, fits each motion's
// ranges over all the grooves, and deals the rows out to the two collections.

#include "catalogue/generator/beats/catalogue.hpp"

#include <cstdio>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>

#include "catalogue/generator/shared/authoring.hpp"
#include "catalogue/generator/beats/grooves.hpp"
#include "catalogue/generator/beats/score.hpp"

namespace kinetrope_tablegen {

using kinetrope::grooves::engine::beat_motions;
using kinetrope::grooves::engine::BeatMotion;
using kinetrope::grooves::engine::club_motion_count;
using kinetrope::grooves::engine::fit_motion_ranges;
using kinetrope::grooves::engine::GrooveLanes;
using kinetrope::grooves::engine::listen;
using kinetrope::grooves::engine::MotionFit;

namespace {

const char* const dash = " \u2014 ";

// The club motions of a dancefloor-only groove: one fixed sentence each, and
// its own glide label.
struct ClubMotionWording {
    const char* label;
    const char* sentence;
};
const ClubMotionWording dancefloor_club_wording[club_motion_count]{
    {"Kick-led bounce", "Original Club 05 kick-led downstroke and side accents."},
    {"Snare side-step", "Original Club 05 alternating lateral kick and snare gestures."},
    {"Percussion orbit", "Original Club 05 event-weighted orbital speed, radius and depth."},
    {"Bass / phrase glide", "Original Club 05 continuous phrase path with bass excursions."},
};

struct GrooveRows {
    const BeatGroove* groove;
    bool in_club;
    std::vector<Table> tables;  // one per motion, in motion order
};

// four_floor's bounce, step and orbit are given exactly; the fit leaves them.
bool is_exact(const GrooveRows& rows, std::size_t motion) {
    return std::string(rows.groove->stem) == "four_floor" && motion < 3;
}

int dimensions_of(const GrooveRows& rows, std::size_t motion) {
    const std::string suffix = beat_motions()[motion].suffix;
    if (suffix == "bounce" || suffix == "step") return rows.groove->dimensions;
    if (suffix == "orbit" && std::string(rows.groove->stem) == "four_floor") return 2;
    return 3;
}

std::string description_of(const GrooveRows& rows, std::size_t motion) {
    const BeatMotion& m = beat_motions()[motion];
    const std::string head = std::string(rows.groove->title) + dash;
    if (motion >= std::size_t(club_motion_count)) return head + m.label + ". " + m.sentence;
    if (rows.in_club) return head + m.label + ". " + rows.groove->sentence;
    const ClubMotionWording& wording = dancefloor_club_wording[motion];
    return head + wording.label + ". " + wording.sentence;
}

AuthoredPattern row_of(GrooveRows& rows, std::size_t motion) {
    const BeatGroove& groove = *rows.groove;
    return make_pattern(std::string("beat_") + groove.stem + "_" + beat_motions()[motion].suffix, groove.period,
                        dimensions_of(rows, motion), description_of(rows, motion), std::move(rows.tables[motion]));
}

GrooveRows perform(const BeatGroove& groove, bool in_club, const std::filesystem::path& data_dir) {
    const DrumPart score = read_score(data_dir / "beats" / "scores" / (std::string(groove.stem) + ".groove"));
    if (score.period() != groove.period)
        throw std::runtime_error(std::string("score of ") + groove.stem + " has the wrong length");
    const GrooveLanes lanes = listen(score);
    GrooveRows rows{&groove, in_club, {}};
    for (const BeatMotion& motion : beat_motions()) rows.tables.push_back(motion.rule(lanes));
    return rows;
}

std::vector<MotionFit> fit_every_motion(std::vector<GrooveRows>& all) {
    std::vector<MotionFit> fits;
    for (std::size_t m = 0; m < beat_motions().size(); ++m) {
        std::vector<Table*> fitted;
        std::vector<const Table*> fixed;
        for (GrooveRows& rows : all) {
            if (is_exact(rows, m))
                fixed.push_back(&rows.tables[m]);
            else
                fitted.push_back(&rows.tables[m]);
        }
        fits.push_back(fit_motion_ranges(fitted, fixed, beat_motions()[m].ranges, beat_motions()[m].suffix));
    }
    return fits;
}

BeatCollections deal_out(std::vector<GrooveRows>& all) {
    BeatCollections out{{"club", {}}, {"dancefloor", {}}, {}};
    const std::size_t motions = beat_motions().size();
    for (GrooveRows& rows : all)
        if (rows.in_club)
            for (std::size_t m = 0; m < std::size_t(club_motion_count); ++m)
                out.club.patterns.push_back(row_of(rows, m));
    for (GrooveRows& rows : all)
        if (rows.in_club)
            for (std::size_t m = club_motion_count; m < motions; ++m)
                out.dancefloor.patterns.push_back(row_of(rows, m));
    for (GrooveRows& rows : all)
        if (!rows.in_club)
            for (std::size_t m = 0; m < motions; ++m) out.dancefloor.patterns.push_back(row_of(rows, m));
    return out;
}

BeatCollections author_beats(const std::filesystem::path& data_dir) {
    std::vector<GrooveRows> all;
    for (const BeatGroove& groove : club_grooves()) all.push_back(perform(groove, true, data_dir));
    for (const BeatGroove& groove : dancefloor_grooves()) all.push_back(perform(groove, false, data_dir));
    std::vector<MotionFit> fits = fit_every_motion(all);
    BeatCollections out = deal_out(all);
    out.fits = std::move(fits);
    return out;
}

}  // namespace

const BeatCollections& beat_collections(const std::filesystem::path& data_dir) {
    static std::map<std::filesystem::path, std::unique_ptr<BeatCollections>> authored;
    std::unique_ptr<BeatCollections>& slot = authored[data_dir];
    if (!slot) slot = std::make_unique<BeatCollections>(author_beats(data_dir));
    return *slot;
}

std::string groove_fits_source(const std::vector<MotionFit>& fits) {
    const auto hex = [](double value) {
        char text[40];
        std::snprintf(text, sizeof text, "%a", value);
        return std::string(text);
    };
    std::ostringstream out;
    out << "// Generated by kinetrope_tablegen: each beat motion's x, y and z maps, with the raw ends they were fitted on.\n"
        << "#include \"grooves/engine.hpp\"\n\nnamespace kinetrope::grooves::engine {\n\n"
        << "const std::array<MotionFit, motion_count> builtin_fits{{\n";
    for (const MotionFit& fit : fits) {
        out << "    {{";
        for (std::size_t a = 0; a < fit.size(); ++a)
            out << (a ? ", " : "") << "{" << hex(fit[a].c1) << ", " << hex(fit[a].c2) << ", " << hex(fit[a].low) << ", "
                << hex(fit[a].high) << "}";
        out << "}},\n";
    }
    out << "}};\n\n}  // namespace kinetrope::grooves::engine\n";
    return out.str();
}

}  // namespace kinetrope_tablegen
