// Run-time OpenGL extension loading. The viewer targets OpenGL 1.1; every
// entry point beyond it is asked for by extension name, checked against
// the driver's extension strings and resolved through the platform's GL
// entry-point lookup into the function pointers below, which the rest of
// the program calls (glh::glActiveTextureARB, glh::glBlendColorEXT, ...).
// Main thread only, with a GL context current.
#pragma once

#include "glh/gl.h"

#include <functional>
#include <span>

#include "glh/glh_entry_points.h"

// Checks and loads every name of request (names separated by spaces, tabs
// or newlines; extra blanks allowed). True when all of them are listed by
// the driver and their entry points resolved. The first call reads the
// extension strings (see SupportedExtensions). Ends the process with exit
// code -1 when memory runs out.
bool InitExtensions(const char* request);

// The names that failed in the latest InitExtensions call, each followed by
// one space; empty when all succeeded. Valid until the next call.
const char* UnsupportedExtensions();

// GL_EXTENSIONS, one space, the window system's extension string, one space;
// read once, at the first InitExtensions. Empty before that.
const char* SupportedExtensions();

// The two halves of InitExtensions for one name.
bool IsExtensionListed(const char* name);
bool InitExtension(const char* name);

// Forgets the extension strings, so that the next call reads them again
// (for a new context; the viewer itself reads them once per run).
void ResetExtensions();

// Where GL_EXTENSIONS and GL_VERSION come from: glGetString unless replaced.
// A null answer counts as an empty string. An empty function restores
// glGetString.
using GlStringSource = std::function<const char*(GLenum name)>;
void SetGlStringSource(GlStringSource source);

// The loader's table: each known name with its entry points in resolution
// order, each entry point with the address of the pointer it fills.
struct ExtensionEntryPoint {
    const char* name;
    void* pointer;  // address of one of the glh:: function pointers
};
struct KnownExtension {
    const char* name;
    std::span<const ExtensionEntryPoint> entryPoints;
    // Answered by framebuffer objects rather than by the name itself.
    bool framebufferStandIn = false;
};
std::span<const KnownExtension> KnownExtensions();

namespace glh {
// The resolved entry points, null until loaded. A failed load leaves the
// pointers before the failing one resolved.
#define GLH_DECLARE_POINTER(type, name) extern type name;
GLH_ALL_ENTRY_POINTS(GLH_DECLARE_POINTER)
#undef GLH_DECLARE_POINTER
}  // namespace glh
