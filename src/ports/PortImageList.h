#pragma once
// The icons of the port kinds, as the port list shows them: one image per kind, at 16 and
// 32 pixels, plus the overlay marks drawn over the icon of the connected port.
// The images come from the program's resources. They are kept as QImage, which needs no
// GUI application; Icon() makes a QIcon for widgets.
#include "ports/CommPortInfo.h"

#include <QIcon>
#include <QImage>
#include <vector>

namespace fk {

class TPortImageList {
public:
    // Image indices of the port kinds.
    enum : int {
        iiBuiltInPort = 0,
        iiUsbAdapter = 1,
        iiBluetooth = 2,
        iiModem = 3,
        iiNetwork = 4, // a wireless module
    };
    // Overlays: 0 is none; 1 marks a problem (no device answering), 2 a device that is
    // being identified.
    enum : int {
        ovNone = 0,
        ovProblem = 1,
        ovWaiting = 2,
    };

    // Empties the list (Count() becomes 0).
    void Clear() noexcept;
    // Clears the list and loads the class images and overlays from the resources.
    // False with ERROR_FILE_NOT_FOUND when one is missing (the list then stays empty).
    bool LoadClassImages();

    int Count() const noexcept { return static_cast<int>(small_.size()); }
    bool Valid() const noexcept { return !small_.empty(); }

    // The image of an index at 16 pixels (large: 32); a null image when out of range.
    const QImage& Image(int index, bool large = false) const noexcept;
    const QImage& OverlayImage(int overlay, bool large = false) const noexcept;
    // Both sizes as one icon; needs a GUI application. Empty when out of range.
    QIcon Icon(int index) const;

    // The image index for a device class, -1 when it has none or the list is empty.
    int ClassImageIndex(const TGuid& classGuid) const noexcept;

private:
    std::vector<QImage> small_;
    std::vector<QImage> large_;
    std::vector<QImage> overlaySmall_;
    std::vector<QImage> overlayLarge_;
};

} // namespace fk
