// The projection and modelview matrices as identity while one of these
// lives, for a pass that sets its own; both are back as they were after it,
// with the modelview matrix current.
#pragma once

#include "glh/gl.h"

namespace glh {

class IdentityMatrices {
public:
    IdentityMatrices() {
        glMatrixMode(GL_PROJECTION);
        glPushMatrix();
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
        glLoadIdentity();
    }
    ~IdentityMatrices() {
        glMatrixMode(GL_MODELVIEW);
        glPopMatrix();
        glMatrixMode(GL_PROJECTION);
        glPopMatrix();
        glMatrixMode(GL_MODELVIEW);
    }
    IdentityMatrices(const IdentityMatrices&) = delete;
    IdentityMatrices& operator=(const IdentityMatrices&) = delete;
};

}  // namespace glh
