// The one way in to the GL headers: OpenGL 1.1 and its extension
// constants, and GLU. Everything outside the platform's backends that draws
// includes this, never the system's headers themselves, so that what a
// system needs before them (or instead of them) is said once, here.
#pragma once

#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glu.h>
