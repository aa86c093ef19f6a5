// The runtime's plug points: registered notification answers, clean-up stages, lifecycle.
#include "runtime/registry.h"
#include <windows.h>
#include <vector>

namespace runtime {

namespace {

struct Registry {
  std::vector<std::span<const CodeAnswer>> answers;
  std::vector<void (*)()> cleanup[static_cast<int>(CleanupStage::kStageCount)];
  Lifecycle lifecycle;
};

Registry& registry() {
  static Registry r;  // constructed on first use: subsystems may register during start-up
  return r;
}

}  // namespace

void register_answers(std::span<const CodeAnswer> answers) {
  registry().answers.push_back(answers);
}

Answer find_answer(int32_t code) {
  auto& spans = registry().answers;
  for (size_t i = spans.size(); i-- > 0;)
    for (const CodeAnswer& a : spans[i])
      if (a.code == code) return a.answer;
  return nullptr;
}

void register_cleanup(CleanupStage stage, void (*routine)()) {
  registry().cleanup[static_cast<int>(stage)].push_back(routine);
}

void run_cleanup(CleanupStage stage) {
  std::vector<void (*)()> routines;
  routines.swap(registry().cleanup[static_cast<int>(stage)]);
  for (auto fn : routines) fn();
}

Lifecycle& lifecycle() { return registry().lifecycle; }

void ensure_loaded(uint32_t library) {
  if (auto fn = lifecycle().ensure_loaded) fn(library);
}

void exit_program(int code) {
  if (auto fn = lifecycle().exit_program) fn(code);
  ExitProcess(static_cast<UINT>(code));
}

}  // namespace runtime
