// The camera's view in GL: the drawing area, the perspective and the
// look-at. Shared by the frame, picking and the tools.
#pragma once

// Sizes the drawing area (a height of 0 counts as 1): the view's viewport
// and GL's.
void ResizeView(int width, int height);
// Perspective of 60 degrees at the view's aspect, near 0.1, far 1050; the
// modelview is selected and identity afterwards.
void SetProjection();
// The camera's look-at onto the current matrix, and the frusta refreshed
// from the camera unless they are frozen.
void SetupCamera();
