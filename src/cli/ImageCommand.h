#pragma once
// The tool's image-file commands: `image-info` describes and checks an image file,
// `make-image` builds one around a payload (the head laid out as TFirmwareImage::Build does).
#include <ostream>
#include <string>
#include <vector>

namespace fk {

class TImageCommand {
public:
    TImageCommand(std::ostream& out, std::ostream& err)
        : out_(out)
        , err_(err)
    {
    }

    // args without the command word; both return the tool's exit status.
    int Info(const std::vector<std::string>& args);
    int Make(const std::vector<std::string>& args);

    // Why an image file failed to load (TFirmwareImage::Load's failure code): "Invalid firmware
    // file." and the reason in brackets.
    static std::string LoadFailureText(unsigned long code);

    // "0x00060001" or "393217": a u32. False for anything else.
    static bool ParseIdentifier(const std::string& text, unsigned long& value);

private:
    std::ostream& out_;
    std::ostream& err_;
};

} // namespace fk
