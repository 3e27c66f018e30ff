// What a key press does: end the show, toggle full screen, drive the viewer
// (pause, previous or next order), or nothing. Decided from SDL's scancode and
// keycode, passed as plain numbers so that callers need no SDL header.
#pragma once

namespace gf {

enum class KeyRole {
    Ignore,            // changes nothing
    EndShow,           // ends the show through the normal shutdown
    ToggleFullscreen,  // Alt+Enter or F11
    Pause,             // viewer: holds or releases the music, the clock and the picture
    PreviousOrder,     // viewer: goes to the previous order
    NextOrder,         // viewer: goes to the next order
    NextFrame,         // viewer: one frame forward, while paused
    PreviousFrame,     // viewer: one frame back, while paused
    ToStart,           // viewer: goes to the show's start
};

// The role of a key press with SDL scancode `scancode`, keycode `keycode` and
// modifier state `modifiers`. In the plain show every key ends it except the
// full-screen toggles and the keys that are never meant as input of their own:
// modifiers, lock keys, system keys (Menu, Print, Pause), and media, volume and
// other hotkeys. In the viewer (`interactive`), Space, Left, Right, '.', ',' and
// Home drive it, Esc or Q ends it, and every
// other key is ignored.
KeyRole key_role(int scancode, int keycode, unsigned modifiers, bool interactive);

}  // namespace gf
