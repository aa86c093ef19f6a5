// Sound playback: what kind of data, which player, and the runtime's plug points.
#include "media/playback.h"
#include "abi/notify.h"
#include "media/addon.h"
#include "media/sequencer.h"
#include "media/smf.h"
#include "media/wave_data.h"
#include "media/wave_player.h"
#include "runtime/registry.h"

namespace media {

namespace {

// Code 2015: value 1 is the address of {data, length, repeat}; 1 when the data plays.
int64_t answer_play(uint32_t v1, uint32_t) {
  const auto* request = reinterpret_cast<const runtime::SoundRequest*>(v1);
  if (!request || !request->data) return 0;
  return play_sound(request->data, request->length, request->repeat != 0) ? 1 : 0;
}

// Code 2016: stops everything without waiting.
int64_t answer_stop(uint32_t, uint32_t) {
  stop_sounds(false);
  return 0;
}

constexpr runtime::CodeAnswer kAnswers[] = {
    {2015, &answer_play},
    {2016, &answer_stop},
};

void stop_at_shutdown() { stop_sounds(true); }

}  // namespace

bool play_sound(const uint8_t* data, size_t length, bool repeat) {
  try {
    if (is_wave(data, length)) return start_wave_player(data, length, repeat);
    if (is_midi(data, length)) return Sequencer::instance().play(data, length, repeat);
  } catch (...) {
    // No memory for the copy of a large sound: refused like any sound that cannot play.
  }
  return false;
}

void stop_sounds(bool wait) {
  remove_addon_player();
  Sequencer::instance().stop();
  signal_wave_players();
  if (wait) wait_wave_players(kShutdownWaitMs);
}

void install() {
  static bool installed = false;
  if (!installed) runtime::register_answers(kAnswers);
  installed = true;
  runtime::register_cleanup(runtime::CleanupStage::kBeforeWindows, &stop_at_shutdown);
}

}  // namespace media
