// Writes the Turtle files of the LV2 bundle: the manifest, the plug-in with its ports and UI,
// and the sixteen factory programs as presets. Everything comes from the parameter table and
// the synth core itself (program values and names as program selection leaves them), so the
// bundle cannot drift from the other formats.
//
//   vellicor-lv2-ttl BUNDLE_DIR DSP_BINARY UI_BINARY
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "core/synth.h"
#include "lv2/parameter_ports.h"
#include "parameters/parameter_table.h"

namespace {

using namespace vellicor;

constexpr char kPrefixes[] =
    "@prefix atom:  <http://lv2plug.in/ns/ext/atom#> .\n"
    "@prefix doap:  <http://usefulinc.com/ns/doap#> .\n"
    "@prefix foaf:  <http://xmlns.com/foaf/0.1/> .\n"
    "@prefix lv2:   <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix midi:  <http://lv2plug.in/ns/ext/midi#> .\n"
    "@prefix opts:  <http://lv2plug.in/ns/ext/options#> .\n"
    "@prefix pset:  <http://lv2plug.in/ns/ext/presets#> .\n"
    "@prefix rdfs:  <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
    "@prefix time:  <http://lv2plug.in/ns/ext/time#> .\n"
    "@prefix ui:    <http://lv2plug.in/ns/extensions/ui#> .\n"
    "@prefix urid:  <http://lv2plug.in/ns/ext/urid#> .\n"
    "@prefix xsd:   <http://www.w3.org/2001/XMLSchema#> .\n\n";

// A Turtle number that reads back as exactly this float.
std::string Number(float value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
  std::string s = text;
  if (s.find_first_of(".en") == std::string::npos) s += ".0";
  return s;
}

// A Turtle string literal.
std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    if (c == '\n' || c == '\r') {
      out += ' ';
      continue;
    }
    out += c;
  }
  return out + "\"";
}

std::string PresetUri(int program) {
  char text[64];
  std::snprintf(text, sizeof text, "%s#preset%02d", lv2::kPluginUri, program);
  return text;
}

struct Preset {
  std::string name;
  std::vector<float> values;  // all 1,600
};

void WriteManifest(std::ostream& out, const std::string& dsp, const std::string& ui, int programs) {
  out << kPrefixes;
  out << "<" << lv2::kPluginUri << ">\n  a lv2:Plugin , lv2:InstrumentPlugin ;\n"
      << "  lv2:binary <" << dsp << "> ;\n  rdfs:seeAlso <vellicor.ttl> .\n\n";
  out << "<" << lv2::kUiUri << ">\n  a ui:X11UI ;\n  ui:binary <" << ui << "> ;\n"
      << "  rdfs:seeAlso <vellicor.ttl> .\n\n";
  for (int p = 0; p < programs; ++p) {
    out << "<" << PresetUri(p) << ">\n  a pset:Preset ;\n  lv2:appliesTo <" << lv2::kPluginUri
        << "> ;\n  rdfs:seeAlso <presets.ttl> .\n\n";
  }
}

void WritePlugin(std::ostream& out, const Preset& defaults) {
  out << kPrefixes;
  out << "<" << lv2::kPluginUri << ">\n"
      << "  a lv2:Plugin , lv2:InstrumentPlugin ;\n"
      << "  doap:name \"Vellicor\" ;\n"
      << "  doap:maintainer [ foaf:name " << Quoted(kVendorName) << " ] ;\n"
      << "  lv2:minorVersion 0 ;\n  lv2:microVersion 1 ;\n"
      << "  lv2:requiredFeature urid:map ;\n"
      << "  lv2:optionalFeature lv2:hardRTCapable ;\n"
      << "  lv2:extensionData state:interface ;\n"
      << "  ui:ui <" << lv2::kUiUri << "> ;\n";
  for (int i = 0; i < kNumHostParameters; ++i) {
    out << (i == 0 ? "  lv2:port [\n" : "  ] , [\n") << "    a lv2:InputPort , lv2:ControlPort ;\n"
        << "    lv2:index " << i << " ;\n"
        << "    lv2:symbol \"" << param::Symbol(i).view() << "\" ;\n"
        << "    lv2:name " << Quoted(std::string(param::Name(i).view())) << " ;\n"
        << "    lv2:default " << Number(defaults.values[static_cast<size_t>(i)]) << " ;\n"
        << "    lv2:minimum 0.0 ;\n    lv2:maximum 1.0 ;\n";
  }
  out << "  ] , [\n"
      << "    a lv2:InputPort , atom:AtomPort ;\n"
      << "    atom:bufferType atom:Sequence ;\n"
      << "    atom:supports midi:MidiEvent , time:Position ;\n"
      << "    lv2:designation lv2:control ;\n"
      << "    lv2:index " << lv2::kMidiInPort << " ;\n"
      << "    lv2:symbol \"midi_in\" ;\n    lv2:name \"MIDI in\" ;\n"
      << "  ] , [\n"
      << "    a lv2:OutputPort , lv2:AudioPort ;\n"
      << "    lv2:index " << lv2::kLeftOutPort << " ;\n"
      << "    lv2:symbol \"out_l\" ;\n    lv2:name \"Left\" ;\n"
      << "  ] , [\n"
      << "    a lv2:OutputPort , lv2:AudioPort ;\n"
      << "    lv2:index " << lv2::kRightOutPort << " ;\n"
      << "    lv2:symbol \"out_r\" ;\n    lv2:name \"Right\" ;\n"
      << "  ] , [\n"
      << "    a lv2:OutputPort , atom:AtomPort ;\n"
      << "    atom:bufferType atom:Sequence ;\n"
      << "    lv2:designation lv2:control ;\n"
      << "    lv2:index " << lv2::kNotifyPort << " ;\n"
      << "    lv2:symbol \"notify\" ;\n    lv2:name \"Notify\" ;\n"
      << "  ] .\n\n";
  out << "<" << lv2::kUiUri << ">\n"
      << "  a ui:X11UI ;\n"
      << "  lv2:requiredFeature urid:map , ui:parent ;\n"
      << "  lv2:optionalFeature ui:resize , ui:noUserResize , opts:options ;\n"
      << "  opts:supportedOption ui:scaleFactor ;\n"
      << "  lv2:extensionData ui:idleInterface ;\n"
      << "  ui:portNotification [\n    ui:plugin <" << lv2::kPluginUri << "> ;\n"
      << "    lv2:symbol \"notify\" ;\n    ui:notifyType atom:Vector\n  ] .\n";
}

void WritePresets(std::ostream& out, const std::vector<Preset>& programs) {
  out << kPrefixes;
  for (size_t p = 0; p < programs.size(); ++p) {
    const Preset& program = programs[p];
    out << "<" << PresetUri(static_cast<int>(p)) << ">\n  a pset:Preset ;\n"
        << "  lv2:appliesTo <" << lv2::kPluginUri << "> ;\n"
        << "  rdfs:label " << Quoted(program.name) << " ;\n";
    for (int i = 0; i < kNumHostParameters; ++i) {
      out << (i == 0 ? "  lv2:port [ " : " , [ ") << "lv2:symbol \"" << param::Symbol(i).view()
          << "\" ; pset:value " << Number(program.values[static_cast<size_t>(i)]) << " ]";
    }
    // The state selects the program and carries every value, 1599 included, so that loading
    // the preset is exactly a program change of the VST 2 plug-in.
    out << " ;\n  state:state [\n    <" << lv2::kProgramUri << "> \"" << p << "\"^^xsd:int ;\n"
        << "    <" << lv2::kValuesUri << "> \""
        << lv2::ValuesText(program.values.data(), kPatchSize) << "\"\n  ] .\n\n";
  }
}

bool WriteFile(const std::string& path, const std::string& text) {
  std::ofstream file(path, std::ios::binary);
  file << text;
  file.close();
  if (!file) {
    std::cerr << "vellicor-lv2-ttl: cannot write " << path << "\n";
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: vellicor-lv2-ttl BUNDLE_DIR DSP_BINARY UI_BINARY\n";
    return 2;
  }
  const std::string dir = argv[1];
  auto synth = std::make_unique<Synth>();
  auto snapshot = [&synth](int index) {
    Preset preset;
    preset.name = synth->program(index).name;
    for (int i = 0; i < kPatchSize; ++i) preset.values.push_back(synth->Value(i));
    return preset;
  };
  // Port defaults: the instance as it starts, program 0 selected.
  const Preset defaults = snapshot(synth->current_program());
  std::vector<Preset> presets_of;
  for (int p = 0; p < kNumPrograms; ++p) {
    synth->SelectProgram(p);
    presets_of.push_back(snapshot(p));
  }
  std::ostringstream manifest, description, presets;
  WriteManifest(manifest, argv[2], argv[3], kNumPrograms);
  WritePlugin(description, defaults);
  WritePresets(presets, presets_of);
  const bool ok = WriteFile(dir + "/manifest.ttl", manifest.str()) &&
                  WriteFile(dir + "/vellicor.ttl", description.str()) &&
                  WriteFile(dir + "/presets.ttl", presets.str());
  return ok ? 0 : 1;
}
