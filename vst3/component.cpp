// The audio side of the VST 3 plug-in: buses, the core's state, and processing with notes and
// parameter changes at their sample offsets.
#include <travesty/bstream.h>
#include <travesty/events.h>
#include <travesty/host.h>

#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "vst3/vst3_plugin.h"

namespace vellicor::vst3 {
namespace {

// The plug-in whose component is handling a MIDI message on this thread: values the synth moves
// meanwhile are the ones a learnt controller moved.
thread_local const void* g_tracking_moves_for = nullptr;

uint8_t MidiValue(double value) {
  const double v = std::isfinite(value) ? (value < 0.0 ? 0.0 : (value > 1.0 ? 1.0 : value)) : 0.0;
  return static_cast<uint8_t>(std::lround(v * 127.0));
}

bool Same(const v3_tuid a, const v3_tuid b) {
  return v3_tuid_match(a, b);
}

constexpr v3_speaker_arrangement kStereo = V3_SPEAKER_L | V3_SPEAKER_R;

}  // namespace

// --- Reading and writing a host's streams ------------------------------------------------------

// A stream's table as the host lays it out: the three calls of every interface, then its own.
struct v3_bstream_cpp : v3_funknown {
  v3_bstream stream;
};

bool ReadStream(void* stream, std::vector<uint8_t>* bytes, size_t limit) {
  if (!stream) return false;
  const auto& table = TableOf<v3_bstream_cpp>(stream);
  bytes->clear();
  uint8_t chunk[4096];
  while (bytes->size() <= limit) {
    int32_t read = 0;
    if (table.stream.read(stream, chunk, sizeof chunk, &read) != V3_OK || read <= 0) break;
    bytes->insert(bytes->end(), chunk, chunk + read);
  }
  return true;
}

bool WriteStream(void* stream, const std::vector<uint8_t>& bytes) {
  if (!stream) return false;
  const auto& table = TableOf<v3_bstream_cpp>(stream);
  size_t done = 0;
  while (done < bytes.size()) {
    int32_t written = 0;
    const auto left = static_cast<int32_t>(bytes.size() - done);
    if (table.stream.write(stream, const_cast<uint8_t*>(bytes.data() + done), left, &written) !=
            V3_OK ||
        written <= 0) {
      return false;
    }
    done += static_cast<size_t>(written);
  }
  return true;
}

// --- Messages between the two halves
// --------------------------------------------------------------

void* NewMessage(void* host_context, const char* id, const std::vector<uint8_t>* bytes) {
  void* application = Query(host_context, v3_host_application_iid);
  if (!application) return nullptr;
  v3_tuid cid, iid;
  std::memcpy(cid, v3_message_iid, sizeof cid);
  std::memcpy(iid, v3_message_iid, sizeof iid);
  void* message = nullptr;
  TableOf<v3_host_application_cpp>(application)
      .app.create_instance(application, cid, iid, &message);
  Release(application);
  if (!message) return nullptr;
  const auto& table = TableOf<v3_message_cpp>(message);
  table.msg.set_message_id(message, id);
  if (bytes) {
    v3_attribute_list** attributes = table.msg.get_attributes(message);
    if (attributes) {
      TableOf<v3_attribute_list_cpp>(attributes)
          .attrlist.set_binary(attributes, kStateAttribute, bytes->data(),
                               static_cast<uint32_t>(bytes->size()));
    }
  }
  return message;
}

std::string MessageId(void* message) {
  if (!message) return {};
  const char* id = TableOf<v3_message_cpp>(message).msg.get_message_id(message);
  return id ? id : "";
}

std::vector<uint8_t> MessageBytes(void* message, const char* key) {
  if (!message) return {};
  v3_attribute_list** attributes = TableOf<v3_message_cpp>(message).msg.get_attributes(message);
  const void* data = nullptr;
  uint32_t size = 0;
  if (!attributes ||
      TableOf<v3_attribute_list_cpp>(attributes)
              .attrlist.get_binary(attributes, key, &data, &size) != V3_OK ||
      !data) {
    return {};
  }
  const auto* begin = static_cast<const uint8_t*>(data);
  return {begin, begin + size};
}

void Notify(void* connection_point, void* message) {
  if (connection_point && message) {
    TableOf<v3_connection_point_cpp>(connection_point)
        .point.notify(connection_point, static_cast<v3_message**>(message));
  }
}

// --- The component -------------------------------------------------------------------------------

v3_result Component::Create(const v3_tuid iid, void** object) {
  Component* component = nullptr;
  try {
    component = new Component();
  } catch (...) {
    return V3_NOMEM;
  }
  const v3_result result = component->QueryInterface(iid, object);
  component->Unref();
  return result;
}

Component::Component() {
  static const v3_component_cpp component = {
      Unknown<Component>(),
      {[](void* self, v3_funknown** context) VST3_CALL -> v3_result {
         Component* c = OwnerOf<Component>(self);
         if (c->host_context_) return V3_FALSE;  // initialised once
         c->host_context_ = context;
         if (context) TableOf<v3_funknown>(context).ref(context);
         return V3_OK;
       },
       [](void* self) VST3_CALL -> v3_result {
         Component* c = OwnerOf<Component>(self);
         Release(c->host_context_);
         c->host_context_ = nullptr;
         return V3_OK;
       }},
      {[](void*, v3_tuid class_id) VST3_CALL -> v3_result {
         std::memcpy(class_id, kControllerId, sizeof(v3_tuid));
         return V3_OK;
       },
       [](void*, int32_t) VST3_CALL -> v3_result { return V3_OK; },
       [](void*, int32_t media, int32_t direction) VST3_CALL -> int32_t {
         return (media == V3_AUDIO && direction == V3_OUTPUT) ||
                        (media == V3_EVENT && direction == V3_INPUT)
                    ? 1
                    : 0;
       },
       [](void*, int32_t media, int32_t direction, int32_t index, v3_bus_info* info)
           VST3_CALL -> v3_result {
             if (!info || index != 0) return V3_INVALID_ARG;
             *info = {};
             info->media_type = media;
             info->direction = direction;
             info->bus_type = V3_MAIN;
             info->flags = V3_DEFAULT_ACTIVE;
             if (media == V3_AUDIO && direction == V3_OUTPUT) {
               info->channel_count = 2;
               CopyToUtf16(info->bus_name, "Output");
               return V3_OK;
             }
             if (media == V3_EVENT && direction == V3_INPUT) {
               info->channel_count = 16;
               CopyToUtf16(info->bus_name, "MIDI in");
               return V3_OK;
             }
             return V3_INVALID_ARG;
           },
       [](void*, v3_routing_info*, v3_routing_info*) VST3_CALL -> v3_result { return V3_FALSE; },
       [](void*, int32_t media, int32_t direction, int32_t index, v3_bool) VST3_CALL -> v3_result {
         const bool ours = index == 0 && ((media == V3_AUDIO && direction == V3_OUTPUT) ||
                                          (media == V3_EVENT && direction == V3_INPUT));
         return ours ? V3_OK : V3_INVALID_ARG;
       },
       [](void* self, v3_bool state)
           VST3_CALL -> v3_result { return OwnerOf<Component>(self)->SetActive(state != 0); },
       [](void* self, v3_bstream** stream)
           VST3_CALL -> v3_result { return OwnerOf<Component>(self)->SetState(stream); },
       [](void* self, v3_bstream** stream)
           VST3_CALL -> v3_result { return OwnerOf<Component>(self)->GetState(stream); }}};
  static const v3_audio_processor_cpp processor = {
      Unknown<Component>(),
      {[](void*, v3_speaker_arrangement*, int32_t inputs, v3_speaker_arrangement* outputs,
          int32_t output_count) VST3_CALL -> v3_result {
         // One stereo output and no inputs, as the buses are.
         return inputs == 0 && output_count == 1 && outputs && outputs[0] == kStereo ? V3_OK
                                                                                     : V3_FALSE;
       },
       [](void*, int32_t direction, int32_t index, v3_speaker_arrangement* arrangement)
           VST3_CALL -> v3_result {
             if (!arrangement || direction != V3_OUTPUT || index != 0) return V3_INVALID_ARG;
             *arrangement = kStereo;
             return V3_OK;
           },
       [](void*, int32_t size)
           VST3_CALL -> v3_result { return size == V3_SAMPLE_32 ? V3_OK : V3_FALSE; },
       [](void*) VST3_CALL -> uint32_t { return 0; },
       [](void* self, v3_process_setup* setup)
           VST3_CALL -> v3_result { return OwnerOf<Component>(self)->SetupProcessing(setup); },
       [](void*, v3_bool) VST3_CALL -> v3_result { return V3_OK; },
       [](void* self, v3_process_data* data)
           VST3_CALL -> v3_result { return OwnerOf<Component>(self)->Process(data); },
       [](void*) VST3_CALL -> uint32_t { return 0; }}};
  static const v3_process_context_requirements_cpp requirements = {
      Unknown<Component>(),
      {[](void*) VST3_CALL -> uint32_t { return V3_PROCESS_CTX_NEED_TEMPO; }}};
  static const v3_connection_point_cpp connection = {
      Unknown<Component>(),
      {[](void*, v3_connection_point** other)
           VST3_CALL -> v3_result { return other ? V3_OK : V3_INVALID_ARG; },
       [](void*, v3_connection_point**) VST3_CALL -> v3_result { return V3_OK; },
       [](void*, v3_message**) VST3_CALL -> v3_result { return V3_OK; }}};
  component_ = {&component, this};
  processor_ = {&processor, this};
  requirements_ = {&requirements, this};
  connection_ = {&connection, this};
  synth_.SetListener(this);
}

Component::~Component() {
  synth_.SetListener(nullptr);
  Release(peer_);
  Release(host_context_);
}

v3_result Component::QueryInterface(const v3_tuid iid, void** object) {
  if (!object) return V3_INVALID_ARG;
  // Our own controller asking whether this is our own component (see ComponentOf).
  if (Same(iid, kComponentId)) {
    *object = this;
    Ref();
    return V3_OK;
  }
  void* face = nullptr;
  if (Same(iid, v3_funknown_iid) || Same(iid, v3_plugin_base_iid) || Same(iid, v3_component_iid)) {
    face = &component_;
  } else if (Same(iid, v3_audio_processor_iid)) {
    face = &processor_;
  } else if (Same(iid, v3_process_context_requirements_iid)) {
    face = &requirements_;
  } else if (Same(iid, v3_connection_point_iid)) {
    face = &connection_;
  }
  *object = face;
  if (!face) return V3_NO_INTERFACE;
  Ref();
  return V3_OK;
}

Component* ComponentOf(void* other) {
  // Only our own component answers its class id as an interface, with itself.
  return static_cast<Component*>(Query(other, kComponentId));
}

v3_result Component::SetupProcessing(const v3_process_setup* setup) {
  if (!setup || setup->symbolic_sample_size != V3_SAMPLE_32) return V3_FALSE;
  if (!(setup->sample_rate >= 1000.0 && setup->sample_rate <= 1000000.0)) return V3_FALSE;
  sample_rate_ = setup->sample_rate;
  return V3_OK;
}

v3_result Component::SetActive(bool active) {
  if (!active) {
    synth_.Suspend();
    return V3_OK;
  }
  // The host's rate, with every setting derived again at it; the sound stays as it is.
  return synth_.Restart(sample_rate_) ? V3_OK : V3_FALSE;
}

v3_result Component::SetState(void* stream) {
  std::vector<uint8_t> bytes;
  if (!ReadStream(stream, &bytes, state::kSize)) return V3_INVALID_ARG;
  // A malformed state is refused whole: nothing changes.
  return synth_.LoadState(bytes) ? V3_OK : V3_FALSE;
}

v3_result Component::GetState(void* stream) {
  return WriteStream(stream, synth_.SaveState()) ? V3_OK : V3_FALSE;
}

// --- Processing
// ------------------------------------------------------------------------------------

void Component::Gather(v3_process_data* data) {
  change_count_ = 0;
  auto add = [this](const Change& change) {
    if (change_count_ == kMaxChanges) return;  // far beyond any block a host sends
    // In offset order, parameters before notes at one offset (a program before its notes); the
    // lists arrive sorted, so this walks back a step or two at most.
    int at = change_count_++;
    while (at > 0) {
      const Change& before = changes_[at - 1];
      if (before.offset < change.offset) break;
      if (before.offset == change.offset && (!before.note || change.note)) break;
      changes_[at] = before;
      --at;
    }
    changes_[at] = change;
  };
  if (data->input_params) {
    v3_param_changes** params = data->input_params;
    const auto& table = TableOf<v3_param_changes_cpp>(params);
    const int32_t count = table.changes.get_param_count(params);
    for (int32_t q = 0; q < count; ++q) {
      v3_param_value_queue** queue = table.changes.get_param_data(params, q);
      if (!queue) continue;
      const auto& points = TableOf<v3_param_value_queue_cpp>(queue);
      const v3_param_id id = points.queue.get_param_id(queue);
      const int32_t n = points.queue.get_point_count(queue);
      for (int32_t p = 0; p < n; ++p) {
        int32_t offset = 0;
        double value = 0.0;
        if (points.queue.get_point(queue, p, &offset, &value) != V3_OK) continue;
        add({offset, false, {0, 0, 0}, id, value});
      }
    }
  }
  if (data->input_events) {
    v3_event_list** events = data->input_events;
    const auto& table = TableOf<v3_event_list_cpp>(events);
    const uint32_t count = table.list.get_event_count(events);
    for (uint32_t e = 0; e < count; ++e) {
      v3_event event{};
      if (table.list.get_event(events, static_cast<int32_t>(e), &event) != V3_OK) continue;
      if (event.type == V3_EVENT_NOTE_ON) {
        const auto& on = event.note_on;
        if (on.pitch < 0 || on.pitch > 127) continue;
        // A velocity of 0 is a quiet note, not a release: at least 1.
        const uint8_t velocity = MidiValue(on.velocity);
        add({event.sample_offset,
             true,
             {static_cast<uint8_t>(0x90 | (on.channel & 15)), static_cast<uint8_t>(on.pitch),
              static_cast<uint8_t>(velocity < 1 ? 1 : velocity)},
             0,
             0.0});
      } else if (event.type == V3_EVENT_NOTE_OFF) {
        const auto& off = event.note_off;
        if (off.pitch < 0 || off.pitch > 127) continue;
        add({event.sample_offset,
             true,
             {static_cast<uint8_t>(0x80 | (off.channel & 15)), static_cast<uint8_t>(off.pitch), 0},
             0,
             0.0});
      }
    }
  }
}

void Component::Apply(const Change& change) {
  if (change.note) {
    synth_.Midi(change.bytes, 3);
    return;
  }
  const v3_param_id id = change.id;
  if (id < static_cast<v3_param_id>(kNumHostParameters)) {
    synth_.SetParameter(static_cast<int>(id), static_cast<float>(change.value));
    return;
  }
  uint8_t bytes[3] = {0, 0, 0};
  if (id >= kControllerParameter && id < kControllerParameter + kControllerParameters) {
    bytes[0] = 0xB0;
    bytes[1] = static_cast<uint8_t>(id - kControllerParameter);
    bytes[2] = MidiValue(change.value);
  } else if (id == kPitchBendParameter) {
    const double v = std::isfinite(change.value) ? change.value : 0.5;
    const long bend = std::lround((v < 0.0 ? 0.0 : (v > 1.0 ? 1.0 : v)) * 16383.0);
    bytes[0] = 0xE0;
    bytes[1] = static_cast<uint8_t>(bend & 127);
    bytes[2] = static_cast<uint8_t>(bend >> 7);
  } else if (id == kProgramParameter) {
    const double v = std::isfinite(change.value) ? change.value : 0.0;
    const long program = std::lround((v < 0.0 ? 0.0 : (v > 1.0 ? 1.0 : v)) * (kNumPrograms - 1));
    synth_.SelectProgram(static_cast<int>(program));
    return;
  } else {
    return;
  }
  g_tracking_moves_for = this;
  synth_.Midi(bytes, 3);
  g_tracking_moves_for = nullptr;
}

void Component::ValueChanged(int index) {
  if (g_tracking_moves_for == this && index >= 0 && index < kNumHostParameters &&
      !moved_.test(index)) {
    moved_.set(index);
    ++moved_count_;
  }
}

void Component::SendMoved(v3_param_changes** out, int32_t offset) {
  if (out) {
    const auto& table = TableOf<v3_param_changes_cpp>(out);
    for (int i = 0; i < kNumHostParameters && moved_count_ > 0; ++i) {
      if (!moved_.test(i)) continue;
      v3_param_id id = static_cast<v3_param_id>(i);
      int32_t index = 0;
      v3_param_value_queue** queue = table.changes.add_param_data(out, &id, &index);
      if (!queue) continue;
      int32_t point = 0;
      TableOf<v3_param_value_queue_cpp>(queue).queue.add_point(queue, offset, synth_.Value(i),
                                                               &point);
    }
  }
  moved_.reset();
  moved_count_ = 0;
}

v3_result Component::Process(v3_process_data* data) {
  if (!data) return V3_INVALID_ARG;
  if (data->ctx && (data->ctx->state & V3_PROCESS_CTX_TEMPO_VALID)) {
    synth_.SetHostTempo(data->ctx->bpm);
  }
  const int32_t frames = data->nframes > 0 ? data->nframes : 0;
  float* left = nullptr;
  float* right = nullptr;
  if (data->num_output_buses > 0 && data->outputs && data->outputs[0].num_channels >= 2 &&
      data->outputs[0].channel_buffers_32) {
    left = data->outputs[0].channel_buffers_32[0];
    right = data->outputs[0].channel_buffers_32[1];
    data->outputs[0].channel_silence_bitset = 0;
  }
  Gather(data);
  // Up to the next change, then the change.
  int32_t done = 0;
  for (int c = 0; c < change_count_; ++c) {
    const Change& change = changes_[c];
    const int32_t at =
        change.offset < done ? done : (change.offset > frames ? frames : change.offset);
    if (at > done && left && right) synth_.Render(left + done, right + done, at - done, false);
    done = at;
    Apply(change);
    if (moved_count_ > 0) SendMoved(data->output_params, at < frames ? at : 0);
  }
  if (frames > done && left && right) {
    synth_.Render(left + done, right + done, frames - done, false);
  } else if (frames == 0) {
    synth_.Render(nullptr, nullptr, 0, false);  // a block without audio still runs
  }
  return V3_OK;
}

}  // namespace vellicor::vst3
