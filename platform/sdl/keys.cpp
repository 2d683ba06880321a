#include "platform/sdl/keys.h"

namespace platform::sdl {

namespace {

constexpr int VK_BACK = 0x08;
constexpr int VK_TAB = 0x09;
constexpr int VK_RETURN = 0x0D;
constexpr int VK_SHIFT = 0x10;
constexpr int VK_CONTROL = 0x11;
constexpr int VK_MENU = 0x12;
constexpr int VK_PAUSE = 0x13;
constexpr int VK_CAPITAL = 0x14;
constexpr int VK_ESCAPE = 0x1B;
constexpr int VK_SPACE = 0x20;
constexpr int VK_PRIOR = 0x21;
constexpr int VK_NEXT = 0x22;
constexpr int VK_END = 0x23;
constexpr int VK_HOME = 0x24;
constexpr int VK_LEFT = 0x25;
constexpr int VK_UP = 0x26;
constexpr int VK_RIGHT = 0x27;
constexpr int VK_DOWN = 0x28;
constexpr int VK_INSERT = 0x2D;
constexpr int VK_DELETE = 0x2E;
constexpr int VK_LWIN = 0x5B;
constexpr int VK_RWIN = 0x5C;
constexpr int VK_F1 = 0x70;
constexpr int VK_F10 = 0x79;

struct KeyPair {
    SDL_Keycode sdl;
    int virtualKey;
};

constexpr KeyPair NamedKeys[] = {
    {SDLK_BACKSPACE, VK_BACK}, {SDLK_TAB, VK_TAB},         {SDLK_RETURN, VK_RETURN},
    {SDLK_KP_ENTER, VK_RETURN}, {SDLK_LSHIFT, VK_SHIFT},   {SDLK_RSHIFT, VK_SHIFT},
    {SDLK_LCTRL, VK_CONTROL},  {SDLK_RCTRL, VK_CONTROL},   {SDLK_LALT, VK_MENU},
    {SDLK_RALT, VK_MENU},      {SDLK_PAUSE, VK_PAUSE},     {SDLK_CAPSLOCK, VK_CAPITAL},
    {SDLK_ESCAPE, VK_ESCAPE},  {SDLK_SPACE, VK_SPACE},     {SDLK_PAGEUP, VK_PRIOR},
    {SDLK_PAGEDOWN, VK_NEXT},  {SDLK_END, VK_END},         {SDLK_HOME, VK_HOME},
    {SDLK_LEFT, VK_LEFT},      {SDLK_UP, VK_UP},           {SDLK_RIGHT, VK_RIGHT},
    {SDLK_DOWN, VK_DOWN},      {SDLK_INSERT, VK_INSERT},   {SDLK_DELETE, VK_DELETE},
    {SDLK_LGUI, VK_LWIN},      {SDLK_RGUI, VK_RWIN},
};

}  // namespace

int VirtualKey(SDL_Keycode key) {
    // Letters and digits are their upper-case ASCII codes.
    if (key >= SDLK_a && key <= SDLK_z) {
        return 'A' + (key - SDLK_a);
    }
    if (key >= SDLK_0 && key <= SDLK_9) {
        return '0' + (key - SDLK_0);
    }
    if (key >= SDLK_F1 && key <= SDLK_F12) {
        return VK_F1 + (key - SDLK_F1);
    }
    for (const KeyPair& pair : NamedKeys) {
        if (pair.sdl == key) {
            return pair.virtualKey;
        }
    }
    return 0;
}

InputEvent KeyEvent(const SDL_KeyboardEvent& key) {
    const int virtualKey = VirtualKey(key.keysym.sym);
    const bool system = (key.keysym.mod & KMOD_ALT) != 0 || virtualKey == VK_F10;
    const bool down = key.type == SDL_KEYDOWN;
    InputEvent event;
    if (down) {
        event.kind = system ? InputKind::SysKeyDown : InputKind::KeyDown;
    } else {
        event.kind = system ? InputKind::SysKeyUp : InputKind::KeyUp;
    }
    event.key = virtualKey;
    event.repeat = down && key.repeat != 0;
    return event;
}

}  // namespace platform::sdl
