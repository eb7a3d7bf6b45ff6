#include "core/Context.h"

#include "core/Sound.h"

namespace zavo {

void Ctx::ClickSound() {
    if (settings.SOUNDMODE && sound) sound->Play(paths.Sound("start.wav"), true);
}

}  // namespace zavo
