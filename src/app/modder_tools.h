// Tools for people who change levels: placing the selection by typing its
// numbers (and copying them between objects through the clipboard), and
// measuring between two points of the scene.
#pragma once

// Edit / Placement: the selection's position, angles and scale in a form;
// OK moves and turns it as typed, one edit. Says so when nothing is selected.
void PlacementDialog();
