// The readers of everything the magnetometer link receives: a frame off the
// local socket, each payload type over the same bytes, the step grammar.

#include <cstddef>
#include <cstdint>
#include <string>

#include "maglink/MagProtocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace zavo;
    const FrameRead f = Frame_Decode(data, size);
    if (f.used > size) __builtin_trap();
    CopyData d{0, {data, data + size}};
    if (f.status == FrameRead::Status::Complete) d = f.data;
    for (std::uint32_t type : {kTypeDoubles, kTypePropertyBag, kTypeText, d.type}) {
        d.type = type;
        const Payload p = CopyData_Read(d);
        if (p.text.size() > kTextBuffer) __builtin_trap();
        if (p.kind == Payload::Kind::Text) {
            const Step s = Step_Read(p.text);
            if (s.ACMax > 200 || s.DCField > 500 || s.TOVField > 20 || s.MIndex > 32767)
                __builtin_trap();
        }
    }
    const Step raw = Step_Read(std::string(reinterpret_cast<const char*>(data), size));
    if (raw.mode < 0 || raw.mode > 3) __builtin_trap();
    return 0;
}
