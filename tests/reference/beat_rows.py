"""The beat collections as their rows read: grooves and motions, titles,
labels and sentences, copied from the catalogue's own wording."""

# (suffix, label, dancefloor sentence, x range, y range, z range); the club
# motions have no dancefloor sentence
MOTIONS = [
    ('bounce', 'Kick-led bounce', '', (-0.297, 0.297), (-0.24, 0.683), (-0.04, 0.068)),
    ('step', 'Snare side-step', '', (-0.734, 0.746), (-0.361, 0.088), (-0.059, 0.181)),
    ('orbit', 'Percussion orbit', '', (-0.62, 0.62), (-0.614, 0.614), (-0.216, 0.174)),
    ('glide', 'Bass-and-phrase glide', '', (-0.663, 0.7), (-0.493, 0.26), (-0.413, 0.485)),
    ('surge', 'Forward surge', 'Kick thrust through depth with contrasting snare lift and hat detail.', (-0.212, 0.212), (-0.362, 0.193), (-0.288, 0.679)),
    ('recoil', 'Backbeat recoil', 'Snare pushes sideways; kick counters downward; delayed echo draws back.', (-0.641, 0.641), (0.0, 0.312), (-0.263, 0.187)),
    ('flutter', 'Upper-percussion flutter', 'Hat and shaker tremors over a wider kick/snare arc.', (-0.47, 0.541), (-0.117, 0.35), (-0.17, 0.294)),
    ('dive', 'Bass-led dive', 'Bass drives a broad depth plunge with alternating drum counterweight.', (-0.384, 0.488), (-0.187, 0.125), (-0.328, 0.92)),
    ('pendulum', 'Weighted pendulum', 'A hanging arc whose amplitude and angular speed respond to the score.', (-0.556, 0.556), (-0.2, 0.091), (-0.18, 0.264)),
    ('figure8', 'Woven figure eight', 'Two crossing lobes expand at kicks with a lifted snare crossing.', (-0.63, 0.645), (-0.44, 0.44), (-0.204, 0.178)),
    ('box', 'Rounded corner tour', 'Rhythm-weighted phase travels around four softened corners.', (-0.52, 0.52), (-0.501, 0.4), (-0.092, 0.29)),
    ('corkscrew', 'Closed corkscrew', 'Two orbital turns ride a depth wave with percussion-driven radius.', (-0.581, 0.596), (-0.58, 0.58), (-0.497, 0.602)),
    ('spiral', 'Breathing spiral', 'A contracting and expanding double-turn path with a continuous seam.', (-0.684, 0.527), (-0.641, 0.623), (-0.337, 0.337)),
    ('slalom', 'Drum slalom', 'S-shaped travel with kick lift, snare cutbacks and depth counter-motion.', (-0.656, 0.648), (-0.41, 0.362), (-0.373, 0.403)),
    ('spring', 'Causal spring', 'An event starts at rest, then drives a damped ringing excursion.', (-0.67, 0.67), (-0.367, 0.372), (-0.601, 0.594)),
    ('ricochet', 'Directional ricochet', 'Successive onsets send smooth excursions toward a cyclic series of targets.', (-0.856, 0.856), (-0.92, 0.707), (-0.469, 0.477)),
]

# (stem, title, period, bounce and step dims, groove sentence); None where the
# sentence is partly the author's own wording, checked on its own
CLUB_GROOVES = [
    ('four_floor', 'Four to the floor / bare pulse', 256, 2, 'Equal quarter-note kicks only. This shared foundation is not itself a complete genre.'),
    ('house_classic', 'House / kick-clap-offbeat hat', 512, 2, ''),
    ('house_shuffle', 'House / shuffled hats', 512, 2, ''),
    ('house_jack', 'Jackin house / ghost-kick turnaround', 512, 2, 'Original swung variant: extra ghost kicks and claps; not a transcription of a named track.'),
    ('techno_drive', 'Techno / straight driving pulse', 512, 2, ''),
    ('techno_toms', 'Techno / tom conversation', 512, 2, ''),
    ('techno_broken', 'Techno / broken kick study', 512, 2, 'A deliberately broken alternative; not all techno uses a quarter-note kick.'),
    ('techno_polymeter', 'Techno / three-step percussion cycle', 768, 2, 'Original three-sixteenth percussion cycle over 4/4: both layers close after three bars.'),
    ('ukg_two_step', 'UK garage / two-step foundation', 512, 2, 'Backbeats on 2/4; the second kick sits on the & of 3. Off-grid hats supply shuffle.'),
    ('ukg_skip', 'UK garage / skipping answer', 512, 2, ''),
    ('ukg_four_four', 'UK garage / four-four shuffle', 512, 2, 'Garage also has a four-to-the-floor branch; it is not all two-step.'),
    ('speed_garage', 'Speed garage / offbeat bass answers', 512, 3, None),
    ('bassline', 'Bassline / syncopated low-end hooks', 512, 3, ''),
    ('grime_sparse', 'Grime / sparse square-cut backbeat', 512, 2, ''),
    ('grime_syncopated', 'Grime / displaced snare conversation', 512, 2, 'A 140 BPM syncopated study; grime has no single mandatory snare pattern.'),
    ('grime_half', 'Grime / half-time negative space', 512, 3, ''),
    ('drill_tresillo', 'UK drill / grouped hats', 512, 3, '3+3+2 sixteenth grouping is not a tuplet: the grid here remains straight.'),
    ('drill_displaced', 'UK drill / moving second-bar snare', 512, 3, 'Snare: beat 3 in bar one, beat 4 in bar two. This is one common design, not a rule for all drill.'),
    ('drill_rolls', 'UK drill / true triplet hat fill', 512, 3, 'The added hat fill uses rational tuplets; grouped hats and triplet rolls remain distinct concepts.'),
    ('amen_four_bar', 'Amen / four-bar structural study', 1024, 3, None),
    ('amen_no_ghosts', 'Amen / remove the ghost snares', 1024, 3, 'A/B study: only quiet snares removed. This deliberately simplified version is not the complete Amen.'),
    ('jungle_chops', 'Jungle / rearranged break fragments', 512, 2, 'Original chopped-break-style arrangement, not the original Amen sequence.'),
    ('jungle_ghosts', 'Jungle / ghosts and snare rolls', 512, 2, ''),
    ('jungle_switch', 'Jungle / full-time to half-time answer', 1024, 2, 'Four-bar original phrase: the final half uses fewer main snares, not a tempo change.'),
    ('dnb_two_step', 'Drum & bass / two-step foundation', 512, 2, ''),
    ('dnb_rolling', 'Drum & bass / rolling ghosts', 512, 2, ''),
    ('dnb_half', 'Drum & bass / half-time space', 512, 3, ''),
    ('dubstep_half', 'Dubstep / half-step anchor', 512, 3, ''),
    ('dubstep_skip', 'Dubstep / skippy half-step', 512, 3, ''),
    ('trap_trills', 'Trap / half-time and hat trills', 512, 3, ''),
    ('electro', 'Electro / broken machine groove', 512, 2, ''),
    ('trance', 'Trance / offbeat lift', 512, 3, 'Offbeat bass/pulse is included. A rhythmic sketch cannot supply trance harmony, timbre or arrangement.'),
    ('rave_breaks', 'Rave / four-floor plus break layer', 512, 2, ''),
    ('dembow', 'Reggaeton / dembow answer', 512, 2, 'Quarter-note kick version with offbeat snare answers; one useful dembow foundation, not every dancehall rhythm.'),
    ('disco', 'Disco / lively hat accents', 512, 2, ''),
    ('amapiano', 'Amapiano / shaker and bass-percussion study', 512, 3, 'An original percussion and log-drum-style bass rhythm. Pitched bass is a cue lane, not a downloaded sample.'),
]

DANCEFLOOR_GROOVES = [
    ('jersey_five', 'Jersey / five-kick foundation', 512, 2),
    ('jersey_call', 'Jersey / call and turnaround', 512, 3),
    ('footwork_triplet', 'Footwork / triplet bass reply', 512, 3),
    ('footwork_sparse', 'Footwork / interrupted half-time', 512, 3),
    ('funky_toms', 'UK funky / tom-led skips', 512, 3),
    ('funky_syncopated', 'UK funky / broken response', 512, 3),
    ('broken_push', 'Broken beat / early-and-late answers', 512, 3),
    ('broken_shuffle', 'Broken beat / shuffled rim circuit', 512, 3),
    ('afro_bell', 'Afro house / bell and kick weave', 512, 3),
    ('afro_cross', 'Afro house / three-over-four percussion', 512, 3),
    ('gqom_space', 'Gqom / broken-kick space study', 512, 3),
    ('gqom_exchange', 'Gqom / staggered drum exchange', 512, 3),
    ('baile_toms', 'Baile funk / low-drum conversation', 512, 2),
    ('baile_response', 'Baile funk / syncopated answer', 512, 3),
    ('reggae_one_drop', 'Reggae / one-drop foundation', 512, 3),
    ('reggae_steppers', 'Dub / steppers foundation', 512, 3),
    ('reggae_rockers', 'Reggae / kick-on-one-and-three study', 512, 3),
    ('son_clave_32', 'Latin club / 3-2 son clave', 512, 3),
    ('son_clave_23', 'Latin club / 2-3 son clave', 512, 3),
    ('psy_rolling', 'Psy / straight rolling bass gaps', 512, 3),
    ('psy_offbeat', 'Trance / offbeat bass exchange', 512, 3),
    ('hard_reverse', 'Hard dance / delayed bass swell cues', 512, 3),
    ('italo_machine', 'Italo / machine rim conversation', 512, 3),
    ('electro_robot', 'Electro / asymmetric machine break', 512, 3),
    ('acid_percussion', 'Acid house / syncopated machine accents', 512, 3),
    ('techno_rumble', 'Techno / delayed low-end answer', 512, 3),
    ('ukg_rim_shuffle', 'Garage / rim-led skipping pocket', 512, 3),
    ('dnb_push', 'DnB / kick pickup and ghost reply', 512, 3),
    ('jungle_switchback', 'Jungle / two-bar switchback', 512, 3),
    ('amapiano_answer', 'Amapiano / log-like bass answer', 512, 3),
    ('dancehall_space', 'Dancehall / spacious offbeat replies', 512, 3),
    ('dembow_push', 'Reggaeton / dembow with pickup answer', 512, 3),
]

SPEED_GARAGE_OPENING = "Bass onsets are included as movement cues. "
AMEN_CLOSING = (
    " Four bars, not a generic 2-bar loop. Timing/velocity are approximations; no original recording or measured "
    "human microtiming."
)
DANCEFLOOR_GLIDE_LABEL = "Bass / phrase glide"
# The fixed sentences of the club motions on the dancefloor-only grooves.
CLUB_MOTION_SENTENCES = {
    "bounce": "Original Club 05 kick-led downstroke and side accents.",
    "step": "Original Club 05 alternating lateral kick and snare gestures.",
    "orbit": "Original Club 05 event-weighted orbital speed, radius and depth.",
    "glide": "Original Club 05 continuous phrase path with bass excursions.",
}
