#include "ports/PortImageList.h"

#include "platform/LastError.h"

#include <QPixmap>

// The resources live in a static library: they are registered on first use.
static void InitPortResources()
{
    Q_INIT_RESOURCE(ports);
}

namespace fk {

namespace {

const char* const kKindFiles[] = { "builtin", "usb", "bluetooth", "modem", "network" };
const char* const kOverlayFiles[] = { "overlay-problem", "overlay-waiting" };

bool LoadPair(const char* base, QImage& small, QImage& large)
{
    small = QImage(QStringLiteral(":/ports/%1-16.png").arg(QLatin1String(base)));
    large = QImage(QStringLiteral(":/ports/%1-32.png").arg(QLatin1String(base)));
    return !small.isNull() && !large.isNull();
}

const QImage& NullImage()
{
    static const QImage null;
    return null;
}

} // namespace

void TPortImageList::Clear() noexcept
{
    small_.clear();
    large_.clear();
    overlaySmall_.clear();
    overlayLarge_.clear();
}

bool TPortImageList::LoadClassImages()
{
    Clear();
    InitPortResources();
    std::vector<QImage> small, large, overlaySmall, overlayLarge;
    for (const char* name : kKindFiles) {
        QImage s, l;
        if (!LoadPair(name, s, l)) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return false;
        }
        small.push_back(std::move(s));
        large.push_back(std::move(l));
    }
    for (const char* name : kOverlayFiles) {
        QImage s, l;
        if (!LoadPair(name, s, l)) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return false;
        }
        overlaySmall.push_back(std::move(s));
        overlayLarge.push_back(std::move(l));
    }
    small_ = std::move(small);
    large_ = std::move(large);
    overlaySmall_ = std::move(overlaySmall);
    overlayLarge_ = std::move(overlayLarge);
    SetLastError(ERROR_SUCCESS);
    return true;
}

const QImage& TPortImageList::Image(int index, bool large) const noexcept
{
    const auto& v = large ? large_ : small_;
    if (index < 0 || index >= static_cast<int>(v.size()))
        return NullImage();
    return v[static_cast<std::size_t>(index)];
}

const QImage& TPortImageList::OverlayImage(int overlay, bool large) const noexcept
{
    const auto& v = large ? overlayLarge_ : overlaySmall_;
    if (overlay < 1 || overlay > static_cast<int>(v.size()))
        return NullImage();
    return v[static_cast<std::size_t>(overlay - 1)];
}

QIcon TPortImageList::Icon(int index) const
{
    QIcon icon;
    if (index < 0 || index >= Count())
        return icon;
    icon.addPixmap(QPixmap::fromImage(Image(index, false)));
    icon.addPixmap(QPixmap::fromImage(Image(index, true)));
    return icon;
}

int TPortImageList::ClassImageIndex(const TGuid& classGuid) const noexcept
{
    if (!Valid())
        return -1;
    using namespace TCommEnumerator;
    if (classGuid == GUID_DEVCLASS_PORTS || classGuid == GUID_DEVCLASS_SYSTEM)
        return iiBuiltInPort;
    if (classGuid == GUID_DEVCLASS_USB)
        return iiUsbAdapter;
    if (classGuid == GUID_DEVCLASS_BLUETOOTH)
        return iiBluetooth;
    if (classGuid == GUID_DEVCLASS_MODEM)
        return iiModem;
    if (classGuid == GUID_DEVCLASS_NET)
        return iiNetwork;
    return -1;
}

} // namespace fk
