#pragma once
// What travels between this program and the magnetometer program, as pure
// functions over bytes: the copy-data payload and its three kinds, the step
// messages, the time-stamp text, and the frames that carry a payload over a
// local socket. Plain C++ without Qt, so that the Windows transport and the
// fuzz target build from it alone (docs/maglink.md has the byte layouts).

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zavo {

// The endpoint this program serves and the one it sends its time stamps to.
inline constexpr const char* kReceiveName = "ZAVO Receive Data";
inline constexpr const char* kSendName = "Tervok Receive Data";

// Type codes of a copy-data payload.
inline constexpr std::uint32_t kTypeDoubles = 1;
inline constexpr std::uint32_t kTypePropertyBag = 2;
inline constexpr std::uint32_t kTypeText = 3;
// A text payload is read through a buffer of this many bytes, zero included.
inline constexpr std::size_t kTextBuffer = 255;
// Larger payloads are refused before anything is allocated for them.
inline constexpr std::size_t kMaxPayload = 64 * 1024;

// One copy-data message: the sender's type code and its bytes (the byte
// count is bytes.size()).
struct CopyData {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> bytes;
};

// A payload as read: a list (types 1 and 2) with the result of its check
// pattern, a text (type 3), or nothing to do (any other type).
struct Payload {
    enum class Kind { Ignored, List, Text };
    Kind kind = Kind::Ignored;
    std::vector<std::string> items;
    bool mismatch = false;
    std::string text;
};
Payload CopyData_Read(const CopyData& data);

// A property bag (type 2) in the layout this program accepts; Bag_Encode
// builds one (tests and the companion tool). A bag that cannot be read
// reports ok = false.
struct PropertyBag {
    bool ok = false;
    std::vector<std::pair<std::string, std::string>> properties;
};
PropertyBag Bag_Decode(const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> Bag_Encode(const std::vector<std::pair<std::string, std::string>>& props);

// Cuts text into elements 1..100 (index 0 unused, always empty): leading and
// trailing blanks trimmed, runs of delimiters count as one, the first
// character always opens element 1. Text past element 100 is dropped.
inline constexpr int kMaxElements = 100;
std::vector<std::string> Text_Split(const std::string& text, char delimiter);
// The decimal digits of an element read in order, every other character
// ignored; 0 without digits. Saturates far above any 16-bit value, so a
// range check needs no overflow care.
long Digits_Value(const std::string& element);

// A step message read against its grammar. Values are present only when
// they are within their range; mode 0 means the text asks for nothing.
struct Step {
    int mode = 0;  // 1 DEMAGNETIZER, 2 ANHYSTERETIC, 3 PULSE
    bool hasACMax = false, hasACMin = false, hasDCField = false, hasTOVField = false;
    int ACMax = 0, ACMin = 0, DCField = 0, TOVField = 0;
    // The magnetizing position of "AAR" and "AIR".
    bool hasPosition = false;
    std::string positionText;
    int MMode = 0;  // 0: the element names no position mode; keep the one in force
    int MIndexMax = 0;
    bool hasMIndex = false;  // false when the index is beyond 16 bits
    int MIndex = 0;
};
Step Step_Read(const std::string& text);

// Seconds since midnight as a single-precision number in text: up to seven
// significant digits, "." as the decimal point, no exponent.
std::string TimeStamp_Text(double seconds);
// The type-3 payload of a text sent to the magnetometer program: its bytes
// and a zero byte, cut so that the whole fits the 255-byte buffer. Empty for
// an empty text.
CopyData Text_Payload(const std::string& text);

// Frames on a local socket (the stand-in for WM_COPYDATA): a 20-byte header
// (magic, type, byte count, sender) and the bytes; each frame is answered
// with an 8-byte reply.
inline constexpr std::size_t kFrameHeader = 20;
inline constexpr std::size_t kReplySize = 8;
std::vector<std::uint8_t> Frame_Encode(const CopyData& data, std::uint64_t sender);
struct FrameRead {
    enum class Status { Incomplete, Complete, Malformed };
    Status status = Status::Incomplete;
    CopyData data;
    std::uint64_t sender = 0;
    std::size_t used = 0;  // bytes of a complete frame
    std::string error;     // why a frame is malformed
};
FrameRead Frame_Decode(const std::uint8_t* p, std::size_t n);

enum class Delivery : std::uint32_t { Handled = 0, Rejected = 1 };
std::array<std::uint8_t, kReplySize> Reply_Encode(Delivery d);
// False when the bytes are no reply.
bool Reply_Decode(const std::uint8_t* p, std::size_t n, Delivery& d);

}  // namespace zavo
