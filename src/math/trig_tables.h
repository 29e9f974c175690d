// Sine and cosine in steps of 1/64 degree. Angles are brought into
// [0, 360) and truncated to the step, never rounded.
#pragma once

constexpr int kTrigTableSize = 23040;  // 360 * 64

extern float SinTable[kTrigTableSize];
extern float CosTable[kTrigTableSize];

// Index of an angle in degrees. A non-finite angle counts as 0.
int TrigTableIndex(float degrees);
float TableSin(float degrees);
float TableCos(float degrees);
