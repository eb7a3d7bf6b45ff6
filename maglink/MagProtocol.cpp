#include "maglink/MagProtocol.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace zavo {

namespace {

constexpr std::array<std::uint8_t, 4> kFrameMagic{'Z', 'C', 'D', 1};
constexpr std::array<std::uint8_t, 4> kReplyMagic{'Z', 'C', 'R', 1};
constexpr std::array<std::uint8_t, 4> kBagMagic{'Z', 'P', 'B', 1};
// Far above every 16-bit value; digits beyond it change nothing.
constexpr long kSaturated = 1'000'000'000L;
constexpr long kInt16Max = 32767;

std::uint32_t Le32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

std::uint64_t Le64(const std::uint8_t* p) {
    return std::uint64_t(Le32(p)) | std::uint64_t(Le32(p + 4)) << 32;
}

void PutLe(std::vector<std::uint8_t>& out, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(std::uint8_t(v >> (8 * i)));
}

// A number as the platform's default conversion writes a double.
std::string Double_Text(double v) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 15);
    return std::string(buf, r.ptr);
}

void List_Read(const CopyData& d, Payload& out) {
    const std::size_t n = d.bytes.size() / 8;
    out.items.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        double v;
        std::memcpy(&v, d.bytes.data() + 8 * i, 8);
        out.items.push_back(Double_Text(v));
        if (!(v == double(i))) out.mismatch = true;
    }
}

const std::string* Property(const PropertyBag& bag, const std::string& name) {
    for (const auto& [k, v] : bag.properties)
        if (k == name) return &v;
    return nullptr;
}

void Bag_Read(const CopyData& d, Payload& out) {
    const PropertyBag bag = Bag_Decode(d.bytes);
    // A bag that cannot be loaded did not arrive as it was sent.
    if (!bag.ok) {
        out.mismatch = true;
        return;
    }
    long N = 0;
    if (const std::string* num = Property(bag, "NumEls")) {
        const char* b = num->data();
        const char* e = b + num->size();
        if (b != e && *b == '+') ++b;
        const auto r = std::from_chars(b, e, N);
        if (r.ec != std::errc() || r.ptr != e) {
            out.mismatch = true;
            return;
        }
    }
    if (N < 0) return;
    // Strings beyond the bag's own properties are missing anyway: the list
    // stops there and the check fails.
    const long present = long(bag.properties.size());
    if (N >= present) out.mismatch = true;
    const long last = std::min(N, present);
    for (long i = 0; i <= last; ++i) {
        const std::string* s = Property(bag, std::to_string(i));
        out.items.push_back(s ? *s : std::string());
        if (out.items.back() != "Item #" + std::to_string(i)) out.mismatch = true;
    }
}

void Text_Read(const CopyData& d, Payload& out) {
    // At most the buffer's bytes; the text ends at the first zero byte.
    const std::size_t n = std::min(d.bytes.size(), kTextBuffer);
    const auto* b = d.bytes.data();
    const auto* z = std::find(b, b + n, std::uint8_t(0));
    out.text.assign(reinterpret_cast<const char*>(b), std::size_t(z - b));
}

void Position_Read(const std::string& element, Step& s) {
    struct Set {
        char letter;
        int mmode, count;
    };
    static constexpr Set kSets[] = {{'U', 7, 18},  {'A', 8, 12}, {'B', 9, 6},
                                    {'P', 10, 15}, {'C', 11, 6}, {'D', 12, 3}};
    s.hasPosition = true;
    s.positionText = element;
    for (const Set& set : kSets)
        if (!element.empty() && element[0] == set.letter) {
            s.MMode = set.mmode;
            s.MIndexMax = set.count;
        }
    const long index = Digits_Value(element);
    s.hasMIndex = index <= kInt16Max;
    if (s.hasMIndex) s.MIndex = int(index);
}

}  // namespace

PropertyBag Bag_Decode(const std::vector<std::uint8_t>& bytes) {
    PropertyBag bag;
    const std::uint8_t* p = bytes.data();
    const std::size_t n = bytes.size();
    if (n < 8 || !std::equal(kBagMagic.begin(), kBagMagic.end(), p)) return bag;
    const std::uint32_t count = Le32(p + 4);
    std::size_t at = 8;
    // Every property takes at least its two length fields.
    if (count > (n - at) / 6) return bag;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (n - at < 2) return bag;
        const std::size_t nameLen = std::size_t(p[at]) | std::size_t(p[at + 1]) << 8;
        at += 2;
        if (n - at < nameLen + 4) return bag;
        std::string name(reinterpret_cast<const char*>(p + at), nameLen);
        at += nameLen;
        const std::size_t valueLen = Le32(p + at);
        at += 4;
        if (n - at < valueLen) return bag;
        std::string value(reinterpret_cast<const char*>(p + at), valueLen);
        at += valueLen;
        bag.properties.emplace_back(std::move(name), std::move(value));
    }
    bag.ok = at == n;
    if (!bag.ok) bag.properties.clear();
    return bag;
}

std::vector<std::uint8_t> Bag_Encode(
    const std::vector<std::pair<std::string, std::string>>& props) {
    std::vector<std::uint8_t> out(kBagMagic.begin(), kBagMagic.end());
    PutLe(out, props.size(), 4);
    for (const auto& [name, value] : props) {
        PutLe(out, name.size(), 2);
        out.insert(out.end(), name.begin(), name.end());
        PutLe(out, value.size(), 4);
        out.insert(out.end(), value.begin(), value.end());
    }
    return out;
}

Payload CopyData_Read(const CopyData& data) {
    Payload out;
    switch (data.type) {
        case kTypeDoubles:
            out.kind = Payload::Kind::List;
            List_Read(data, out);
            break;
        case kTypePropertyBag:
            out.kind = Payload::Kind::List;
            Bag_Read(data, out);
            break;
        case kTypeText:
            out.kind = Payload::Kind::Text;
            Text_Read(data, out);
            break;
        default:
            break;
    }
    return out;
}

std::vector<std::string> Text_Split(const std::string& text, char delimiter) {
    std::vector<std::string> el(kMaxElements + 1);
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return el;
    const std::string t = text.substr(first, text.find_last_not_of(' ') - first + 1);
    if (t.size() < 2) return el;
    int k = 1;
    el[1] = t.substr(0, 1);
    for (std::size_t i = 1; i < t.size(); ++i) {
        if (t[i] == delimiter) {
            if (t[i - 1] == delimiter) continue;
            if (++k > kMaxElements) break;
        } else {
            el[k] += t[i];
        }
    }
    return el;
}

long Digits_Value(const std::string& element) {
    long v = 0;
    for (const char c : element)
        if (c >= '0' && c <= '9') v = std::min(kSaturated, v * 10 + (c - '0'));
    return v;
}

Step Step_Read(const std::string& text) {
    Step s;
    const std::string word = text.substr(0, 3);
    if (word == "AD-")
        s.mode = 1;
    else if (word == "ARM" || word == "AAR")
        s.mode = 2;
    else if (word == "IRM" || word == "AIR")
        s.mode = 3;
    else
        return s;
    const std::vector<std::string> el = Text_Split(text, '-');
    const long e2 = Digits_Value(el[2]);
    if (s.mode == 1 || s.mode == 2) {
        s.hasACMax = e2 <= 200;
        if (s.hasACMax) s.ACMax = int(e2);
    }
    if (s.mode == 2) {
        const long min = Digits_Value(el[3]);
        s.hasACMin = min <= e2 && min <= kInt16Max;
        if (s.hasACMin) s.ACMin = int(min);
        const long dc = Digits_Value(el[4]);
        s.hasDCField = dc <= 500;
        if (s.hasDCField) s.DCField = int(dc);
        if (word == "AAR") Position_Read(el[5], s);
    }
    if (s.mode == 3) {
        s.hasTOVField = e2 <= 20;
        if (s.hasTOVField) s.TOVField = int(e2);
        if (word == "AIR") Position_Read(el[3], s);
    }
    return s;
}

std::string TimeStamp_Text(double seconds) {
    const float f = float(seconds);
    if (!std::isfinite(f)) return std::string();
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, f, std::chars_format::general, 7);
    if (std::find(buf, r.ptr, 'e') == r.ptr) return std::string(buf, r.ptr);
    // Very small or very large: the same seven digits without an exponent.
    const int exponent = f == 0 ? 0 : int(std::floor(std::log10(std::fabs(f))));
    r = std::to_chars(buf, buf + sizeof buf, f, std::chars_format::fixed,
                      std::max(0, 6 - exponent));
    std::string t(buf, r.ptr);
    if (t.find('.') != std::string::npos) {
        t.erase(t.find_last_not_of('0') + 1);
        if (t.back() == '.') t.pop_back();
    }
    return t;
}

CopyData Text_Payload(const std::string& text) {
    CopyData d;
    d.type = kTypeText;
    if (text.empty()) return d;
    const std::size_t n = std::min(text.size(), kTextBuffer - 1);
    d.bytes.assign(text.begin(), text.begin() + std::ptrdiff_t(n));
    d.bytes.push_back(0);
    return d;
}

std::vector<std::uint8_t> Frame_Encode(const CopyData& data, std::uint64_t sender) {
    std::vector<std::uint8_t> out(kFrameMagic.begin(), kFrameMagic.end());
    out.reserve(kFrameHeader + data.bytes.size());
    PutLe(out, data.type, 4);
    PutLe(out, data.bytes.size(), 4);
    PutLe(out, sender, 8);
    out.insert(out.end(), data.bytes.begin(), data.bytes.end());
    return out;
}

FrameRead Frame_Decode(const std::uint8_t* p, std::size_t n) {
    FrameRead r;
    // A wrong start is refused at once, before the rest of a header arrives.
    if (!std::equal(p, p + std::min(n, kFrameMagic.size()), kFrameMagic.begin())) {
        r.status = FrameRead::Status::Malformed;
        r.error = "not a copy-data frame";
        return r;
    }
    if (n < kFrameHeader) return r;
    const std::uint32_t count = Le32(p + 8);
    if (count > kMaxPayload) {
        r.status = FrameRead::Status::Malformed;
        r.error = "payload of " + std::to_string(count) + " bytes is too large";
        return r;
    }
    if (n - kFrameHeader < count) return r;
    r.status = FrameRead::Status::Complete;
    r.data.type = Le32(p + 4);
    r.sender = Le64(p + 12);
    r.data.bytes.assign(p + kFrameHeader, p + kFrameHeader + count);
    r.used = kFrameHeader + count;
    return r;
}

std::array<std::uint8_t, kReplySize> Reply_Encode(Delivery d) {
    std::array<std::uint8_t, kReplySize> out{};
    std::copy(kReplyMagic.begin(), kReplyMagic.end(), out.begin());
    const auto v = std::uint32_t(d);
    for (int i = 0; i < 4; ++i) out[4 + i] = std::uint8_t(v >> (8 * i));
    return out;
}

bool Reply_Decode(const std::uint8_t* p, std::size_t n, Delivery& d) {
    if (n < kReplySize || !std::equal(kReplyMagic.begin(), kReplyMagic.end(), p)) return false;
    const std::uint32_t v = Le32(p + 4);
    if (v > std::uint32_t(Delivery::Rejected)) return false;
    d = Delivery(v);
    return true;
}

}  // namespace zavo
