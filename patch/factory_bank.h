// The sixteen factory sounds, as data. The plug-in's constructor zeroes every program, then
// for each program p asks Fill for its values and Name for its name, and selects p in turn.
#pragma once

namespace vellicor::factory_bank {

constexpr int kProgramCount = 16;

// The factory name of program 0..15 ("" outside).
const char* Name(int program);

// Writes the program's non-zero values into a whole record (values[0..kPatchSize - 1]); entries the
// bank does not set are left as the caller passed them (the constructor passes zeros). Does nothing
// outside 0..15.
void Fill(int program, float* values);

}  // namespace vellicor::factory_bank
