// validate's verdicts: the built library passes every step it can run here, a clean stand-in
// passes too, and each fault built into a stand-in (VST 2, or VST 3 for the reference step)
// fails the step that exists to catch it.
#include "host/validate.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace vellicor::host {
namespace {

struct Outcome {
  int exit;
  std::vector<StepResult> steps;
};

Outcome Validated(const std::string& path, const std::string& only = "") {
  Outcome run;
  std::FILE* sink = std::tmpfile();
  run.exit = Validate(path, sink ? sink : stdout, only, &run.steps);
  if (sink) std::fclose(sink);
  return run;
}

std::string Failures(const Outcome& run) {
  std::string text;
  for (const StepResult& s : run.steps) {
    if (s.verdict == Verdict::kFail) text += s.step + ": " + s.reason + "\n";
  }
  return text;
}

TEST(Validate, TheBuiltLibraryAndACleanStandInPass) {
  for (const char* path :
       {VELLICOR_LIBRARY, VELLICOR_FAKE_DIR "/fake_clean" VELLICOR_FAKE_SUFFIX}) {
    const Outcome run = Validated(path);
    EXPECT_EQ(run.exit, 0) << path << "\n" << Failures(run);
    EXPECT_GE(run.steps.size(), 20u) << path;
  }
}

TEST(Validate, EachFaultFailsTheStepMadeForIt) {
  const struct {
    const char* fault;
    const char* step;
  } cases[] = {
      {"nan", "process: notes"},
      {"range", "parameters: fuzz"},
      {"inputs", "process: inputs untouched"},
      {"noise", "process: reproducible"},
      {"block_start", "process: block sizes"},
      {"chunk", "state: damaged refused"},
  };
  for (const auto& c : cases) {
    const std::string path =
        std::string(VELLICOR_FAKE_DIR "/fake_") + c.fault + VELLICOR_FAKE_SUFFIX;
    const Outcome run = Validated(path, c.step);
    ASSERT_EQ(run.steps.size(), 1u) << c.fault;
    EXPECT_EQ(run.steps[0].verdict, Verdict::kFail) << c.fault << ": " << run.steps[0].reason;
    EXPECT_EQ(run.exit, 1) << c.fault;
  }
}

// A VST 3 stand-in that gives back every reference passes the reference step; one that keeps the
// host's context, hands out an interface without counting it, or lets the host's component
// handler go once more than it took it, fails it.
TEST(Validate, TheReferenceStepFailsEachWrongCount) {
  for (const char* fault : {"clean", "keeps_context", "uncounted", "over_release"}) {
    const std::string path = std::string(VELLICOR_FAKE_DIR "/fake_vst3_") + fault + ".vst3";
    const Outcome run = Validated(path, "references");
    ASSERT_EQ(run.steps.size(), 1u) << fault << ": " << Failures(run);
    const Verdict expected = std::string(fault) == "clean" ? Verdict::kPass : Verdict::kFail;
    EXPECT_EQ(run.steps[0].verdict, expected) << fault << ": " << run.steps[0].reason;
  }
}

// The test command's ThreadSanitizer run picks its steps this way.
TEST(Validate, OnlyTakesSeveralPartsOfNames) {
  const Outcome run =
      Validated(VELLICOR_FAKE_DIR "/fake_clean" VELLICOR_FAKE_SUFFIX, "scan: identity,threads:");
  ASSERT_EQ(run.steps.size(), 2u) << Failures(run);
  EXPECT_EQ(run.steps[0].step, "scan: identity");
  EXPECT_EQ(run.steps[1].step.rfind("threads:", 0), 0u);
}

TEST(Validate, AFileItCannotOpenFailsTheScan) {
  const Outcome run = Validated(VELLICOR_FAKE_DIR "/no_such_plugin" VELLICOR_FAKE_SUFFIX);
  ASSERT_EQ(run.steps.size(), 1u);
  EXPECT_EQ(run.steps[0].step, "scan: entry point");
  EXPECT_EQ(run.steps[0].verdict, Verdict::kFail);
  EXPECT_EQ(run.exit, 1);
}

}  // namespace
}  // namespace vellicor::host
