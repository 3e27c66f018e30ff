// The synthesised samples of "xmas.it" (module_samples.cpp): 44.1 kHz,
// 16-bit, every one normalised to the same peak. Tonal samples that sustain
// are exact loops, and each carries the C-5 speed that makes note 60 sound
// middle C, so the instruments can map several of them across the keyboard.
#pragma once

#include "writers/it_writer.h"

namespace gf::datagen::samples {

itw::Sample sleigh_bells();
// FM bells synthesised at `note` (60 = middle C).
itw::Sample bells(int note);
// A plucked, bright sawtooth bass whose period is `period` samples (a whole
// number, so the loop holds whole cycles).
itw::Sample bass(int period);
// Detuned sawtooth-and-square lead; `cycles` fundamental cycles in a half-second loop.
itw::Sample lead(int cycles);
// Five-voice string ensemble; `cycles` per half-second loop.
itw::Sample strings(int cycles);
// Vowel "aah" by fixed formants, so every pitch keeps the same vowel; `cycles` per half-second loop.
itw::Sample choir(int cycles);
// Band-limited square wave of `period` samples for the chip arpeggios.
itw::Sample square(int period);
itw::Sample kick();
itw::Sample snare();
itw::Sample hat();
itw::Sample crash();
itw::Sample clap();
itw::Sample shaker();
itw::Sample tom();
// Noise swelling over about two seconds, for the lead-ins to a new section.
itw::Sample riser();

}  // namespace gf::datagen::samples
