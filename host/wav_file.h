// Stereo 32-bit float WAV files: written through libsndfile natively, by a small writer of
// our own on Windows (Debian has no MinGW build of libsndfile). Reading is ours on both.
#pragma once

#include <string>
#include <vector>

namespace vellicor::host {

bool WriteWav(const std::string& path, const std::vector<float>& left,
              const std::vector<float>& right, int sample_rate, std::string* error);

// Reads a file written by WriteWav (float or 16-bit PCM, mono or stereo).
bool ReadWav(const std::string& path, std::vector<float>* left, std::vector<float>* right,
             int* sample_rate, std::string* error);

}  // namespace vellicor::host
