#include "cli/ImageCommand.h"

#include "cli/CommandLine.h"
#include "cli/JsonWriter.h"
#include "cli/Tool.h"
#include "platform/LastError.h"
#include "session/FirmwareImage.h"
#include "session/MessageTable.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iomanip>
#include <iterator>

namespace fk {

bool TImageCommand::ParseIdentifier(const std::string& text, unsigned long& value)
{
    if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ')
        return false;
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    char* end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(text.c_str(), &end, hex ? 16 : 10);
    if (errno != 0 || *end != '\0' || end == text.c_str() || v > 0xFFFFFFFFull)
        return false;
    value = static_cast<unsigned long>(v);
    return true;
}

std::string TImageCommand::LoadFailureText(unsigned long code)
{
    std::string text = TMessageTable::DefaultText(msgFirmwareInvalid);
    switch (code) {
    case ErrorImageDigest:
        return text + " (the digest does not match)";
    case ErrorNotAnImage:
        return text + " (not an image: a regular file of at least " + std::to_string(TFirmwareImage::MinSize)
            + " bytes and below 4 GiB)";
    default:
        return text + " (" + ErrorText(static_cast<u32>(code)) + ")";
    }
}

int TImageCommand::Info(const std::vector<std::string>& args)
{
    TCommandLine cl;
    if (!cl.Parse(args, TTool::Options("image-info")) || cl.Positional().size() != 1 || cl.Positional().front().empty()) {
        err_ << "ferrovan image-info: "
             << (!cl.Error().empty() ? cl.Error() : cl.Positional().empty() ? "needs an IMAGE" : "takes one IMAGE")
             << "\n";
        return exitUsage;
    }
    const std::string& file = cl.Positional().front();
    // Looked at chunk by chunk: an image of any size is described without holding it.
    TImageFacts facts;
    const bool ok = TFirmwareImage::Inspect(file, facts, nullptr);
    const u32 code = GetLastError();
    if (!ok && code != ErrorImageDigest) {
        // Nothing to describe: not readable, or not of a possible size.
        err_ << "ferrovan image-info: " << file << ": " << LoadFailureText(code) << "\n";
        return exitFailed;
    }
    const u32 id = facts.Identifier;
    const u64 payloadBytes = facts.Size - TFirmwareImage::HeadSize - TFirmwareImage::DigestSize;
    const u8 model = static_cast<u8>(id >> 16 & 0xFF);
    if (cl.Has("json")) {
        out_ << TJsonWriter()
                    .BeginObject()
                    .Member("size", static_cast<std::int64_t>(facts.Size))
                    .Member("identifier", id)
                    .Member("model", model)
                    .Member("payload_bytes", static_cast<std::int64_t>(payloadBytes))
                    .Member("digest_ok", ok)
                    .EndObject()
                    .Text()
             << "\n";
    } else {
        char hexId[16];
        std::snprintf(hexId, sizeof hexId, "0x%08X", static_cast<unsigned>(id));
        auto line = [this](const char* label) -> std::ostream& { return out_ << std::left << std::setw(14) << label; };
        line("Size:") << facts.Size << " bytes\n";
        line("Identifier:") << hexId << "\n";
        line("Model:") << unsigned(model) << "\n";
        line("Payload:") << payloadBytes << " bytes\n";
        line("Digest:") << (ok ? "correct" : "wrong") << "\n";
    }
    if (!ok) {
        err_ << "ferrovan image-info: " << file << ": " << LoadFailureText(code) << "\n";
        return exitFailed;
    }
    return exitOk;
}

int TImageCommand::Make(const std::vector<std::string>& args)
{
    const std::string prefix = "ferrovan make-image: ";
    TCommandLine cl;
    if (!cl.Parse(args, TTool::Options("make-image"))) {
        err_ << prefix << cl.Error() << "\n";
        return exitUsage;
    }
    if (!cl.Positional().empty()) {
        err_ << prefix << "takes no arguments besides --id, --payload and --out\n";
        return exitUsage;
    }
    for (const char* name : {"id", "payload", "out"}) {
        if (!cl.Has(name) || cl.Value(name)->empty()) {
            err_ << prefix << "needs --" << name << "\n";
            return exitUsage;
        }
    }
    unsigned long id = 0;
    if (!ParseIdentifier(*cl.Value("id"), id)) {
        err_ << prefix << "--id must be a 32-bit number, decimal or 0x hexadecimal (got \"" << *cl.Value("id")
             << "\")\n";
        return exitUsage;
    }
    const std::string payloadFile = *cl.Value("payload");
    const std::string outFile = *cl.Value("out");

    if (struct stat st {}; ::stat(payloadFile.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        err_ << prefix << payloadFile << ": is a folder, not a payload file\n";
        return exitFailed;
    }
    std::ifstream in(payloadFile, std::ios::binary);
    if (!in) {
        err_ << prefix << payloadFile << ": cannot be read (" << std::strerror(errno) << ")\n";
        return exitFailed;
    }
    TByteString payload;
    try {
        payload.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } catch (const std::exception&) {
        err_ << prefix << payloadFile << ": too large to read\n";
        return exitFailed;
    }
    if (in.bad()) {
        err_ << prefix << payloadFile << ": cannot be read\n";
        return exitFailed;
    }
    if (payload.empty() || payload.size() > TFirmwareImage::MaxPayload) {
        err_ << prefix << payloadFile
             << (payload.empty() ? ": the payload is empty; an image carries at least one byte\n"
                                 : ": the payload is too large for an image (under 4 GiB)\n");
        return exitFailed;
    }
    TByteString image;
    if (!TFirmwareImage::Build(static_cast<u32>(id), payload.data(), payload.size(), image)) {
        err_ << prefix << ErrorText(GetLastError()) << "\n";
        return exitFailed;
    }
    std::ofstream out(outFile, std::ios::binary | std::ios::trunc);
    if (!out.is_open()) {
        err_ << prefix << outFile << ": cannot be written (" << std::strerror(errno) << ")\n";
        return exitFailed;
    }
    out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    out.close();
    if (!out) {
        err_ << prefix << outFile << ": cannot be written\n";
        // Only a file of our own making is removed, never a device node or a pipe.
        if (struct stat st {}; ::stat(outFile.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            std::remove(outFile.c_str());
        return exitFailed;
    }
    out_ << "Wrote " << outFile << ": " << image.size() << " bytes, payload " << payload.size() << " bytes.\n";
    return exitOk;
}

} // namespace fk
