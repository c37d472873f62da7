#include "session/FirmwareUpload.h"

#include "session/FirmwareImage.h"

#include <algorithm>

namespace fk {

u32 TFirmwareUpload::PayloadLength() const noexcept { return TFirmwareImage::PayloadLength(image_); }

bool TFirmwareUpload::NextBlock(u16 blockSize, const u8*& block, u32& length)
{
    const u32 payload = PayloadLength();
    if (payload == 0 || blockSize == 0)
        return false;
    if (payload <= blockEnd_) {
        blockStart_ = blockEnd_; // all acknowledged: the bar reaches its end
        return false;
    }
    blockStart_ = blockEnd_;
    // No wrap-around: blockEnd_ < payload < 4 GiB - 75 and blockSize < 64 Ki.
    blockEnd_ = static_cast<u32>(std::min<u64>(u64(blockEnd_) + blockSize, 0xFFFFFFFFu));
    const u32 end = std::min(payload, blockEnd_);
    if (end <= blockStart_)
        return false;
    block = TFirmwareImage::Payload(image_) + blockStart_;
    length = end - blockStart_;
    return true;
}

int TFirmwareUpload::Position(int min, int max) const noexcept
{
    const u32 payload = PayloadLength();
    if (payload == 0 || max <= min)
        return min;
    const u64 position = u64(max - min) * blockStart_ / payload + u64(min);
    return static_cast<int>(std::min<u64>(position, u64(max)));
}

bool TFirmwareUpload::Reset() noexcept
{
    blockStart_ = blockEnd_ = 0;
    if (image_.empty())
        return false;
    TByteString().swap(image_);
    return true;
}

} // namespace fk
