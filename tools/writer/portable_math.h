// The writer's transcendental functions, giving the same level bytes on
// every system: C libraries round float sin, exp and the rest differently
// in the last place, so they are computed in double and rounded once.
#pragma once

#include <cmath>

namespace wvwrite {

inline float Sin(float x) { return static_cast<float>(std::sin(static_cast<double>(x))); }
inline float Cos(float x) { return static_cast<float>(std::cos(static_cast<double>(x))); }
inline float Exp(float x) { return static_cast<float>(std::exp(static_cast<double>(x))); }
inline float Atan2(float y, float x) { return static_cast<float>(std::atan2(double(y), double(x))); }
inline float Hypot(float x, float y) { return static_cast<float>(std::hypot(double(x), double(y))); }

}  // namespace wvwrite
