#include "link/TextUtil.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace zavo {

std::string CRLF_Strip(std::string s) {
    if (!s.empty() && s.back() == '\n') s.pop_back();
    if (!s.empty() && s.back() == '\r') s.pop_back();
    if (!s.empty() && s.front() == '\r') s.erase(0, 1);
    return s;
}

Int16 Digits_ToInt(const std::string& s) {
    long v = 0;
    bool any = false;
    for (char c : s) {
        if (c < '0' || c > '9') continue;
        any = true;
        // Stay within range however many digits came; clamp at the end.
        if (v < 1000000) v = v * 10 + (c - '0');
    }
    if (!any) return 0;
    return Int16(v > 32767 ? 32767 : v);
}

QString Text_PadLeft(const QString& v, int width) {
    const QString t = v.trimmed();
    if (t.size() < width) return QString(3 * (width - t.size()), ' ') + t;
    return t.right(width);
}

QString Number_Format(double v, const QString& fmt) {
    // Count the digits after the point in the pattern; keep anything after
    // the digit placeholders (such as a trailing blank) as a literal.
    int decimals = 0;
    int end = 0;
    const int point = fmt.indexOf('.');
    for (int i = 0; i < fmt.size(); ++i) {
        if (fmt[i] == '0' || fmt[i] == '#' || fmt[i] == '.') end = i + 1;
    }
    if (point >= 0) {
        for (int i = point + 1; i < end; ++i)
            if (fmt[i] == '0' || fmt[i] == '#') ++decimals;
    }
    // Round half away from zero, as the platform's Format does.
    const double scale = std::pow(10.0, decimals);
    double r = std::round(std::abs(v) * scale + 1e-9) / scale;
    if (v < 0 && r != 0) r = -r;
    QString s = QString::number(r, 'f', decimals);
    s += fmt.mid(end);
    return s.replace(',', '.');
}

std::vector<std::string> Words_Split(const std::string& text) {
    std::vector<std::string> w(701);
    size_t b = text.find_first_not_of(' ');
    size_t e = text.find_last_not_of(' ');
    if (b == std::string::npos) return w;
    const std::string t = text.substr(b, e - b + 1);
    if (t.size() < 2) return w;
    size_t n = 1;
    bool inBlank = false;
    for (char c : t) {
        if (c == ' ') {
            inBlank = true;
            continue;
        }
        if (inBlank) {
            inBlank = false;
            if (++n > 700) break;
        }
        w[n] += c;
    }
    return w;
}

float Num_Extract(const std::string& word) {
    std::string kept;
    for (char c : word)
        if ((c >= '0' && c <= '9') || c == '.') kept += c;
    if (kept.find_first_of("0123456789") == std::string::npos) return 0;
    // Read the longest leading number ("1.2.3" reads as 1.2) with "." as
    // the decimal point whatever the locale.
    float v = 0;
    std::from_chars(kept.data(), kept.data() + kept.size(), v);
    return v;
}

Int16 RoundToInt16(double v) {
    if (std::isnan(v)) return 0;
    double r = std::nearbyint(v);  // default rounding mode: ties to even
    if (r > 32767) r = 32767;
    if (r < -32768) r = -32768;
    return Int16(r);
}

}  // namespace zavo
