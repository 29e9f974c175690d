// The keyboard movement model of the main loop and its quit chord.
#pragma once

#include <array>

struct Camera;

// Movement from the held keys: W/S/X along the viewing direction, A/D
// sideways at 0.6 of the speed, Space/Q/Z along the camera's up; the frame
// time is capped at 0.1 s.
void ApplyKeyboardMovement(Camera& camera, const std::array<bool, 256>& keys, float moveSpeed, float frameTime);
// Keys 1 to 6 set the speed; of several held, the last in that order wins.
float ApplySpeedKeys(const std::array<bool, 256>& keys, float moveSpeed);
// F4 down now and Alt pressed since the last query.
bool QuitChordPressed();
