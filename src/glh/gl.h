// The one way in to the GL headers: OpenGL 1.1 and its extension
// constants, and GLU. Everything outside the platform's backends that draws
// includes this, never the system's headers themselves, so that what a
// system needs before them (or instead of them) is said once, here.
#pragma once

#if defined(_WIN32) && !defined(APIENTRY)
// What Windows' GL headers would otherwise take from <windows.h>.
#define WINGDIAPI __declspec(dllimport)
#define APIENTRY __stdcall
#define CALLBACK __stdcall
#endif
#include <GL/gl.h>
#ifdef GL_ARB_imaging
// Mesa's gl.h claims the imaging subset itself (Windows' does not), so
// glext.h then skips its pointer types.
#define GLH_GL_H_HAS_IMAGING 1
#endif
#include <GL/glext.h>
#include <GL/glu.h>
