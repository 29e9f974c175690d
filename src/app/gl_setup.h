// The fixed GL state of the run and the driver's optional features.
#pragma once

// Hints, global ambient, the two lights' colours, normal rescaling, the
// capability flags with a log line each, the frusta and the overlay font.
bool InitGL();
