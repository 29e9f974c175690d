// The fixed GL state of the run and the driver's optional features.
#pragma once

// Hints, global ambient, the two lights' colours, normal rescaling, the
// capability flags with a log line each, the frusta and the overlay font.
bool InitGL();
// What InitGL and the run made in the context, while it is still current:
// the pooled terrain and shadow textures, the off-screen buffer, the
// overlay font and the frusta.
void KillGL();
