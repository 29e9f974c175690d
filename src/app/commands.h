// What the user asks for, from a key, a menu item, a list window or the
// mouse, and the one dispatcher that runs it all.
#pragma once

#include "platform/platform.h"

struct Command {
    enum class Kind {
        Action,      // id: a command id (resources/resources.h)
        Look,        // dx, dy: a pointer move while flying; shift: pan instead of turning
        Drag,        // dx, dy: a pointer move with the button held in selection mode; shift turns, control lifts
        Pick,        // x, y: the left button went down there
        Release,     // the left button came up
        ListChoice,  // list, row, action: a row of a list window was chosen
    };
    Kind kind = Kind::Action;
    int id = 0;
    int x = 0, y = 0;
    float dx = 0, dy = 0;
    bool shift = false, control = false;
    platform::ListKind list = platform::ListKind::Objects;
    int row = -1;
    int action = 0;
};

inline Command ActionCommand(int id) {
    Command c;
    c.id = id;
    return c;
}

// Runs one command; false for one that changed nothing.
bool RunCommand(const Command& command);
// The command a key press stands for, or 0.
int KeyCommand(int key, bool control);
// Every toggle's menu check as the toggle is now, whichever way it changed
// (a key, the menu, the help's auto-hide); only changed checks are sent.
void SyncMenuChecks();
