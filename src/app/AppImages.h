#pragma once
// The main window's images, drawn for the screen's density: the menu and status images in
// lists of 16, 24 and 32 pixels, and the language flags in lists of 24 x 16, 32 x 24 and 48 x 32
// pixels. With s = (dpi x 16 + 48) / 96 the list used is the last whose image height is at most
// s (the smallest at least). The images are drawn, not scaled, so every size is crisp; on a
// high-density screen they carry its device pixel ratio and so take their design size there.
#include "session/MessageTable.h"

#include <QIcon>
#include <QPixmap>
#include <QSize>

#include <array>

class QWidget;

namespace fk {

// Images of the menu items that have one.
enum TMenuImage : int {
    miLanguage = 0, // Options > Language
    miSkin,         // Options > Skin
    miPreferences,  // Options > Preferences... (also the port list's Configure)
    miManual,       // Help > User Manual
    miWiring,       // Help > Wiring Diagram
    miAbout,        // Help > About...
    miCount
};

class TAppImages {
public:
    static constexpr int ListCount = 3;
    static constexpr std::array<int, ListCount> ImageSizes = {16, 24, 32};
    static constexpr std::array<QSize, ListCount> FlagSizes = {QSize(24, 16), QSize(32, 24), QSize(48, 32)};

    // The list for a density by the rule above, given the lists' image heights in order.
    static int ListForDpi(int dpi, const std::array<int, ListCount>& heights) noexcept;
    // A widget's density in device dots per inch: its screen's logical density times its
    // device pixel ratio.
    static int DpiOf(const QWidget* widget);

    // The images for a density; devicePixelRatio is the ratio of the screen they are shown on.
    explicit TAppImages(int dpi = 96, double devicePixelRatio = 1.0);
    static TAppImages ForWidget(const QWidget* widget);

    int Dpi() const noexcept { return dpi_; }
    int ImageList() const noexcept { return imageList_; } // 0..2: 16, 24 or 32 pixels
    int FlagList() const noexcept { return flagList_; }   // 0..2: 24 x 16, 32 x 24 or 48 x 32
    // Sizes in device pixels.
    int ImageSize() const noexcept { return ImageSizes[imageList_]; }
    QSize FlagSize() const noexcept { return FlagSizes[flagList_]; }

    // The status line's image of an icon class; a null pixmap for icNone and unknown classes.
    QPixmap StatusIcon(TIconClass iconClass) const;
    QPixmap MenuImage(TMenuImage image) const;
    // The flag of a language of the Language menu (0 English, 1 Polish, 2 Russian); null for
    // other indexes.
    QPixmap Flag(int language) const;

    // The program's own icon (a knob on a blue tile with a drop of lubricant), drawn at the
    // usual icon sizes; the windows and the About box show it.
    static QIcon ApplicationIcon();

private:
    int dpi_;
    double ratio_;
    int imageList_;
    int flagList_;
    std::array<QPixmap, 4> status_;
    std::array<QPixmap, miCount> menu_;
    std::array<QPixmap, 3> flags_; // one per language of the Language menu
};

} // namespace fk
