#pragma once
// The window's keyboard shortcuts, decided from key presses and releases: a key acts when it
// is released and was the key last pressed. Esc acts only as a pair: two releases without
// modifier keys, the second within the double-click interval of the first, and no other key
// released between them.
#include <cstdint>

namespace fk {

enum TKeyAction : int {
    kaNone,
    kaDisconnect,  // Esc twice
    kaAbout,       // A
    kaPreferences, // P
    kaWiring,      // S
    kaManual,      // F1
};

class TKeyTracker {
public:
    // Key codes are Qt::Key values; modifiers true when Shift, Ctrl, Alt or Meta is held.
    void KeyDown(int key) noexcept { pressed_ = key; }
    TKeyAction KeyUp(int key, bool modifiers, std::int64_t timeMs, int doubleClickMs) noexcept;
    // Forgets the keys seen (a dialog took the keyboard in between).
    void Forget() noexcept;

private:
    int pressed_ = 0;
    int released_ = 0;
    bool releasedPlain_ = false;
    std::int64_t releasedAt_ = 0;
};

} // namespace fk
