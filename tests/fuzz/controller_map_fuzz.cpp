// Controller-map files (*.mmp): whatever a file holds, every request made from it names a
// controller the map can hold.
#include "patch/controller_map.h"
#include "tests/fuzz/check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  using namespace vellicor;
  return fuzz::ReadText(bytes, size, controller_map::Parse,
                        [](const controller_map::FileValues& values) {
                          for (int i = 0; i < controller_map::kFileEntries; ++i) {
                            const int c = controller_map::ControllerOf(values[i]);
                            fuzz::Check(c >= 0 && c <= 255, "controller out of range", c);
                          }
                        });
}
