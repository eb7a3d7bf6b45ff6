#pragma once
// Text helpers of the link. Controller texts are byte strings (8-bit
// characters); nothing here goes through a UTF-8 conversion.

#include <QString>
#include <string>
#include <vector>

#include "core/State.h"

namespace zavo {

// Removes one trailing LF, then one trailing CR, then one leading CR.
std::string CRLF_Strip(std::string s);
// The digits of s as a 16-bit number ("-12.5" gives 125); 0 without digits.
Int16 Digits_ToInt(const std::string& s);
// Right-aligns digits in a proportional font: three blanks per missing
// character, or the rightmost width characters.
QString Text_PadLeft(const QString& v, int width);
// Formats with a pattern such as "0", "0 " or "0.0"; the decimal separator is
// always "." whatever the locale.
QString Number_Format(double v, const QString& fmt);
// Words at blanks, indices 1..700 (index 0 unused); fewer than two characters
// give only empty words.
std::vector<std::string> Words_Split(const std::string& text);
// Keeps the digits and points of a word and reads what remains; 0 if none.
float Num_Extract(const std::string& word);
// Nearest 16-bit integer, ties to even; clamps out-of-range values.
Int16 RoundToInt16(double v);

// Bytes to and from the text a widget shows (Latin-1, one char per byte).
inline QString FromBytes(const std::string& s) {
    return QString::fromLatin1(s.data(), qsizetype(s.size()));
}
inline std::string ToBytes(const QString& s) { return s.toLatin1().toStdString(); }

}  // namespace zavo
