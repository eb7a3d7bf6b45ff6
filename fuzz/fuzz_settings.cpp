// The settings file: any bytes must read without harm, and whatever reads
// must write back to a file that reads to the same record (a record the
// program saves is never one it cannot load again).
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/State.h"
#include "panel/SettingsFile.h"

using namespace zavo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    Settings first;
    if (!Settings_Parse(bytes, first)) return 0;
    const std::string saved = Settings_Bytes(first);
    Settings again;
    if (!Settings_Parse(saved, again)) std::abort();
    if (!(again == first)) std::abort();
    return 0;
}
