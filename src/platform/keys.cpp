// Key roles over SDL's scancodes and keycodes.
#include "platform/keys.h"

#include <SDL.h>

namespace gf {

namespace {

// Keys that modify others, lock keys, the system keys (Menu, Print, Pause) and
// the hotkeys above the ordinary keyboard (media, volume, brightness, launchers).
bool is_never_input(SDL_Scancode code) {
    switch (code) {
        case SDL_SCANCODE_CAPSLOCK:
        case SDL_SCANCODE_NUMLOCKCLEAR:
        case SDL_SCANCODE_SCROLLLOCK:
        case SDL_SCANCODE_MUTE:
        case SDL_SCANCODE_VOLUMEUP:
        case SDL_SCANCODE_VOLUMEDOWN:
        case SDL_SCANCODE_MODE:         // AltGr on many layouts
        case SDL_SCANCODE_APPLICATION:  // Menu
        case SDL_SCANCODE_PRINTSCREEN:  // Print, SysRq with Alt
        case SDL_SCANCODE_SYSREQ:
        case SDL_SCANCODE_PAUSE:  // Pause, Break with Ctrl
        case SDL_SCANCODE_CANCEL:
        case SDL_SCANCODE_POWER:
            return true;
        default:
            break;
    }
    if (code >= SDL_SCANCODE_LCTRL && code <= SDL_SCANCODE_RGUI) {
        return true;  // Ctrl, Shift, Alt and Super, left and right
    }
    if (code >= SDL_SCANCODE_EXECUTE && code <= SDL_SCANCODE_FIND) {
        return true;  // Execute, Help, Menu, Select, Stop, Again, Undo, Cut, Copy, Paste, Find
    }
    return code >= SDL_SCANCODE_AUDIONEXT && code <= SDL_SCANCODE_AUDIOFASTFORWARD;
}

// A keycode that stands for a key without a character (SDLK_* made from a scancode).
bool keycode_is_never_input(int keycode) {
    constexpr int kScancodeMask = SDLK_SCANCODE_MASK;
    if ((keycode & kScancodeMask) == 0) {
        return false;
    }
    const int code = keycode & ~kScancodeMask;
    return code > SDL_SCANCODE_UNKNOWN && code < SDL_NUM_SCANCODES && is_never_input(static_cast<SDL_Scancode>(code));
}

bool is_fullscreen_toggle(int keycode, unsigned modifiers) {
    if (keycode == SDLK_F11) {
        return true;
    }
    const bool enter = keycode == SDLK_RETURN || keycode == SDLK_KP_ENTER;
    return enter && (modifiers & KMOD_ALT) != 0;
}

}  // namespace

KeyRole key_role(int scancode, int keycode, unsigned modifiers, bool interactive) {
    if (is_fullscreen_toggle(keycode, modifiers)) {
        return KeyRole::ToggleFullscreen;
    }
    // Either code may name the key as one that is never input: a remapped key
    // keeps its scancode but takes another keycode (Caps Lock working as Ctrl).
    // A vendor hotkey that SDL can name neither way arrives with both codes unknown.
    const bool in_range = scancode >= 0 && scancode < SDL_NUM_SCANCODES;
    const bool unnamed = scancode == SDL_SCANCODE_UNKNOWN && keycode == SDLK_UNKNOWN;
    if (unnamed || (in_range && is_never_input(static_cast<SDL_Scancode>(scancode))) ||
        keycode_is_never_input(keycode)) {
        return KeyRole::Ignore;
    }
    if (!interactive) {
        return KeyRole::EndShow;
    }
    switch (keycode) {
        case SDLK_SPACE:
            return KeyRole::Pause;
        case SDLK_LEFT:
            return KeyRole::PreviousOrder;
        case SDLK_RIGHT:
            return KeyRole::NextOrder;
        case SDLK_PERIOD:
            return KeyRole::NextFrame;
        case SDLK_COMMA:
            return KeyRole::PreviousFrame;
        case SDLK_HOME:
            return KeyRole::ToStart;
        case SDLK_ESCAPE:
        case SDLK_q:
            return KeyRole::EndShow;
        default:
            return KeyRole::Ignore;
    }
}

}  // namespace gf
