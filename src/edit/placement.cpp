#include "edit/placement.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "math/matrix3.h"

namespace {

constexpr const char* kNames[6] = {"X", "Y", "Z", "Yaw", "Pitch", "Roll"};
// Below this a double rounds to a finite float (half a step past the largest).
constexpr double kFloatLimit = static_cast<double>(std::numeric_limits<float>::max()) + 0x1p103;

float Angle(const Placement& p, std::size_t axis) {
    // yaw, pitch, roll: z, y, x of the stored rotation
    return axis == 3 ? p.rotation.z : axis == 4 ? p.rotation.y : p.rotation.x;
}

std::string Shortest(float value) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    return std::string(text, end);
}

float ToRadians(double degrees) { return static_cast<float>(degrees / kRadToDeg); }

// The fewest digits of the angle in degrees that come back to the same
// stored radians: plain decimals for the angles people type, exponents
// only for the odd huge or tiny one.
std::string DegreesText(float radians) {
    const double degrees = static_cast<double>(radians) * kRadToDeg;
    char text[64];
    const auto fits = [&](const char* end) {
        double back = 0;
        std::from_chars(text, end, back);
        return ToRadians(back) == radians;
    };
    if (std::abs(degrees) < 1e7)
        for (int decimals = 0; decimals <= 12; ++decimals) {
            const auto end = std::to_chars(text, text + sizeof text, degrees, std::chars_format::fixed, decimals).ptr;
            if (fits(end)) return std::string(text, end);
        }
    for (int digits = 1; digits <= 17; ++digits) {
        const auto end = std::to_chars(text, text + sizeof text, degrees, std::chars_format::general, digits).ptr;
        if (fits(end)) return std::string(text, end);
    }
    return Shortest(static_cast<float>(degrees));
}

std::string Trimmed(const std::string& s) {
    const std::size_t a = s.find_first_not_of(" \t\r\n");
    if (a == std::string::npos) return {};
    return s.substr(a, s.find_last_not_of(" \t\r\n") - a + 1);
}

// A typed number: the whole text, an optional sign, finite, within the
// float range the file stores.
bool ReadNumber(const std::string& typed, const char* name, double& out, std::string& why) {
    const std::string t = Trimmed(typed);
    const char* first = t.data();
    const char* last = t.data() + t.size();
    if (first != last && *first == '+') ++first;
    double value = 0;
    const auto [end, error] = std::from_chars(first, last, value);
    if (t.empty() || end != last || (error != std::errc() && error != std::errc::result_out_of_range)) {
        why = std::string(name) + ": \"" + t + "\" is not a number.";
        return false;
    }
    if (error == std::errc::result_out_of_range && std::abs(value) < 1) value = 0;  // underflow reads as zero
    if (std::isnan(value) || std::isinf(value) || error == std::errc::result_out_of_range || std::abs(value) >= kFloatLimit) {
        why = std::string(name) + ": " + t +
              " is not a finite number the level file can hold (from -3.4e38 to 3.4e38).";
        return false;
    }
    out = value;
    return true;
}

}  // namespace

PlacementTexts PlacementFields(const Placement& p) {
    return {Shortest(p.position.x), Shortest(p.position.y), Shortest(p.position.z),
            DegreesText(Angle(p, 3)), DegreesText(Angle(p, 4)), DegreesText(Angle(p, 5))};
}

std::string PlacementLine(const PlacementTexts& texts) {
    std::string line;
    for (const std::string& t : texts) {
        if (!line.empty()) line += ' ';
        line += Trimmed(t);
    }
    return line;
}

bool ReadPlacement(const PlacementTexts& texts, const Placement& current, Placement& out, std::string& why) {
    const PlacementTexts shown = PlacementFields(current);
    float value[6];
    for (std::size_t k = 0; k < 6; ++k) {
        if (Trimmed(texts[k]) == shown[k]) {
            value[k] = k < 3 ? (&current.position.x)[k] : Angle(current, k);
            continue;
        }
        double typed = 0;
        if (!ReadNumber(texts[k], kNames[k], typed, why)) return false;
        value[k] = k < 3 ? static_cast<float>(typed) : ToRadians(typed);
    }
    out.position = {value[0], value[1], value[2]};
    out.rotation = {value[5], value[4], value[3]};
    return true;
}

bool SplitPlacementLine(const std::string& line, PlacementTexts& out, std::string& why) {
    PlacementTexts found;
    std::size_t count = 0, at = 0;
    const char* gaps = " \t\r\n,";
    while ((at = line.find_first_not_of(gaps, at)) != std::string::npos) {
        const std::size_t end = std::min(line.find_first_of(gaps, at), line.size());
        if (count < 6) found[count] = line.substr(at, end - at);
        ++count;
        at = end;
    }
    why.clear();
    double number = 0;
    for (std::size_t k = 0; k < std::min<std::size_t>(count, 6) && why.empty(); ++k)
        ReadNumber(found[k], kNames[k], number, why);
    if (count != 6 || !why.empty()) {
        why = "The clipboard holds no placement: six numbers \"x y z yaw pitch roll\" were expected" +
              (why.empty() ? std::string(".") : ". " + why);
        return false;
    }
    out = found;
    return true;
}
