#include "math/trig_tables.h"

#include <cmath>

float SinTable[kTrigTableSize];
float CosTable[kTrigTableSize];

namespace {
// Filled during static initialisation, before anything can rotate.
struct TableFiller {
    TableFiller() {
        for (int i = 0; i < kTrigTableSize; ++i) {
            const double radians = (i / 64.0) * (3.14159265358979323846 / 180.0);
            SinTable[i] = static_cast<float>(std::sin(radians));
            CosTable[i] = static_cast<float>(std::cos(radians));
        }
    }
} tableFiller;
}  // namespace

int TrigTableIndex(float a) {
    if (!std::isfinite(a)) a = 0.0f;
    // Far from the table's range the stepwise loop below would take very long
    // (or, once 360 is below the float spacing, forever): reduce exactly first.
    if (a > 3600.0f || a < -3600.0f) a = std::fmod(a, 360.0f);
    while (a < 0.0f) a += 360.0f;
    while (a >= 360.0f) a -= 360.0f;
    int i = static_cast<int>(a * 64.0f);
    if (i < 0) i = 0;
    if (i >= kTrigTableSize) i = kTrigTableSize - 1;
    return i;
}

float TableSin(float degrees) { return SinTable[TrigTableIndex(degrees)]; }
float TableCos(float degrees) { return CosTable[TrigTableIndex(degrees)]; }
