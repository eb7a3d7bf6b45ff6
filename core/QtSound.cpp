#include "core/QtSound.h"

namespace zavo {

QtSound::QtSound(Clock& clock) : clock_(clock) {}
void QtSound::Play(const std::filesystem::path&, bool) {}
void QtSound::Beep(int, int) {}

}  // namespace zavo
