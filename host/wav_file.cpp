#include "host/wav_file.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>

#if defined(VELLICOR_HAVE_SNDFILE)
#include <sndfile.h>
#endif

namespace vellicor::host {
namespace {

#if !defined(VELLICOR_HAVE_SNDFILE)
void Put32(std::vector<char>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
void Put16(std::vector<char>& out, uint16_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>(v >> 8));
}
#endif
uint32_t Get32(const std::vector<char>& in, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(in[at + i]);
  return v;
}
uint16_t Get16(const std::vector<char>& in, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(in[at]) |
                               (static_cast<uint8_t>(in[at + 1]) << 8));
}

}  // namespace

bool WriteWav(const std::string& path, const std::vector<float>& left,
              const std::vector<float>& right, int sample_rate, std::string* error) {
  const size_t frames = std::min(left.size(), right.size());
  std::vector<float> interleaved(frames * 2);
  for (size_t i = 0; i < frames; ++i) {
    interleaved[2 * i] = left[i];
    interleaved[2 * i + 1] = right[i];
  }
#if defined(VELLICOR_HAVE_SNDFILE)
  SF_INFO info{};
  info.samplerate = sample_rate;
  info.channels = 2;
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!file) {
    *error = std::string("cannot write ") + path + ": " + sf_strerror(nullptr);
    return false;
  }
  const sf_count_t written =
      sf_writef_float(file, interleaved.data(), static_cast<sf_count_t>(frames));
  sf_close(file);
  if (written != static_cast<sf_count_t>(frames)) {
    *error = "short write to " + path;
    return false;
  }
  return true;
#else
  std::vector<char> out;
  const uint32_t data_bytes = static_cast<uint32_t>(interleaved.size() * sizeof(float));
  out.insert(out.end(), {'R', 'I', 'F', 'F'});
  Put32(out, 36 + data_bytes);
  out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  Put32(out, 16);
  Put16(out, 3);  // IEEE float
  Put16(out, 2);
  Put32(out, static_cast<uint32_t>(sample_rate));
  Put32(out, static_cast<uint32_t>(sample_rate) * 8);
  Put16(out, 8);
  Put16(out, 32);
  out.insert(out.end(), {'d', 'a', 't', 'a'});
  Put32(out, data_bytes);
  const size_t header = out.size();
  out.resize(header + data_bytes);
  std::memcpy(out.data() + header, interleaved.data(), data_bytes);
  std::ofstream file(path, std::ios::binary);
  if (!file.write(out.data(), static_cast<std::streamsize>(out.size()))) {
    *error = "cannot write " + path;
    return false;
  }
  return true;
#endif
}

bool ReadWav(const std::string& path, std::vector<float>* left, std::vector<float>* right,
             int* sample_rate, std::string* error) {
  std::ifstream file(path, std::ios::binary);
  std::vector<char> in((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (in.size() < 12 || std::memcmp(in.data(), "RIFF", 4) != 0 ||
      std::memcmp(in.data() + 8, "WAVE", 4) != 0) {
    *error = "not a WAV file: " + path;
    return false;
  }
  int format = 0, channels = 0, bits = 0;
  size_t pos = 12;
  while (pos + 8 <= in.size()) {
    const uint32_t size = Get32(in, pos + 4);
    const size_t body = pos + 8;
    if (body + size > in.size()) break;
    if (std::memcmp(in.data() + pos, "fmt ", 4) == 0 && size >= 16) {
      format = Get16(in, body);
      channels = Get16(in, body + 2);
      *sample_rate = static_cast<int>(Get32(in, body + 4));
      bits = Get16(in, body + 14);
      if (format == 0xFFFE && size >= 26) format = Get16(in, body + 24);  // extensible
    } else if (std::memcmp(in.data() + pos, "data", 4) == 0 && channels > 0) {
      const int bytes = bits / 8;
      if (!((format == 3 && bits == 32) || (format == 1 && bits == 16))) break;
      const size_t frames = size / static_cast<size_t>(bytes * channels);
      left->resize(frames);
      right->resize(frames);
      for (size_t i = 0; i < frames; ++i) {
        for (int c = 0; c < 2; ++c) {
          const size_t at = body + (i * channels + std::min(c, channels - 1)) * bytes;
          float v;
          if (format == 3) {
            std::memcpy(&v, in.data() + at, 4);
          } else {
            v = static_cast<int16_t>(Get16(in, at)) / 32768.0f;
          }
          (c == 0 ? *left : *right)[i] = v;
        }
      }
      return true;
    }
    pos = body + size + (size & 1);
  }
  *error = "unsupported WAV layout in " + path;
  return false;
}

}  // namespace vellicor::host
