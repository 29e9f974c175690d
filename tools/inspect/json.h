// Minimal JSON output helpers for the inspector.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace inspect {

// A JSON string literal of raw bytes: quotes, backslashes and control
// characters escaped, and every byte above 0x7F written as \u00XX, so that
// any byte string (not only UTF-8) comes out as valid, lossless JSON.
std::string JsonString(std::string_view bytes);

// The shortest decimal that reads back to the same 32-bit float; non-finite
// values, which JSON cannot hold, are written as null.
std::string JsonFloat(float value);

const char* JsonBool(bool value);

}  // namespace inspect
