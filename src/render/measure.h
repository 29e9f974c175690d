// Measuring between two points of the scene. A measuring click finds the
// point under the pointer, on the face of the object picked there or else
// on the ground; two of them make a measure, drawn as a line with its
// figures over the view until the next measure or Escape.
#pragma once

#include <optional>
#include <string>

#include "math/vector3.h"

class Instance;
struct Camera;
struct Viewport;

// Owned here: written by the measuring clicks and Escape (the commands),
// read by the frame that draws it; the level reset clears it.
struct MeasureState {
    int points = 0;  // 0: nothing shown; 1: the first point placed; 2: a measure shown
    Vector3 a, b;
    bool pressHeld = false;  // the button of a measuring click is still down: no drag
};
MeasureState& TheMeasure();

struct Measurement {
    float distance = 0, horizontal = 0, vertical = 0;
    float angle = 0;  // degrees above the level from the first point to the second
};
Measurement MeasureBetween(const Vector3& a, const Vector3& b);
// "Distance 12.35 (horizontal 10.00, vertical 7.23, angle 35.9 degrees)"
std::string MeasureText(const Measurement& m);

// The direction from the camera through the middle of client pixel (x, y),
// y down, in the view's perspective; unit length.
Vector3 PixelRay(const Camera& camera, const Viewport& viewport, int x, int y);
// Where the ray meets the plane of face `face` of the instance as it is
// drawn; none when it runs along it or meets it behind the origin.
std::optional<Vector3> RayHitsFace(const Instance& inst, std::size_t face, const Vector3& origin,
                                   const Vector3& direction, const Vector3& cameraPosition);
// Where the ray first goes below the terrain's heights within `range`.
std::optional<Vector3> RayHitsGround(const Vector3& origin, const Vector3& direction, float range);

// The point of the scene under client pixel (x, y) of the view (the picked
// object's face, or the ground); none for the sky.
std::optional<Vector3> PointUnder(int x, int y);

// A measuring click at (x, y): the first point, or the second (the measure
// is then logged), or the first of a new measure. False on the sky.
bool MeasureClick(int x, int y);
// Escape: false when nothing was shown.
bool ClearMeasure();

// The line and its ends, with the camera's matrices current; the figures,
// with the overlay's. Nothing when no measure is shown.
void DrawMeasureLine();
void DrawMeasureLabel();
