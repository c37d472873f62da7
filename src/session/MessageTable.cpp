#include "session/MessageTable.h"

namespace fk {

namespace {

struct TMessageEntry {
    const char* key;
    const char* text;
};

constexpr TMessageEntry kMessages[TMessageTable::Count] = {
    {"msg_noconn", "Device not connected."},
    {"msg_upl-stop-ask", "Uploading already in progress. Stop uploading?"},
    {"msg_firm-notfitin", "The firmware file is too big to fit in the device."},
    {"msg_firm-notmatch", "The firmware does not match connected device."},
    {"msg_firm-invalid", "Invalid firmware file."},
    {"msg_kc-dsc-ask", "The operation will cause loss of current connection. Continue?"},
    {"sta_portopening", "Opening"},
    {"sta_connecting", "Connecting ..."},
    {"sta_uploading", "Uploading ..."},
    {"sta_connected", "Connected"},
    {"sta_disconnected", "Disconnected"},
    {"sta_conn-lost", "Connection lost"},
    {"sta_port-nosel", "No port selected"},
    {"sta_port-noavail", "No connection ports available"},
    {"sta_port-openfail", "Can not open the port"},
    {"sta_port-open-nf", "Port inactive"},
    {"sta_port-open-use", "Port already in use"},
    {"sta_port-open-tmo", "Target device inactive"},
    {"sta_dev-firm-bad", "Device firmware corrupted"},
    {"sta_dev-runfail", "Device boot up failed"},
    {"sta_dev-bootfail", "Can't return to bootloader"},
    {"sta_dev-nosupport", "Device not supported"},
    {"sta_upl-done", "Firmware uploaded"},
    {"sta_upl-failed", "Upload failed"},
    {"sta_upl-interrupted", "Upload interrupted"},
    {"msg_upl-firm-kept", "The device keeps its old firmware."},
    {"msg_upl-firm-none", "The device is left in its bootloader without firmware. Upload the firmware again."},
    {"sta_tmopen-outrange", "The device's open time lies outside its firmware's range"},
    {"sta_tmbreak-outrange", "The device's break time lies outside its firmware's range"},
    {"sta_upl-nostart", "The new firmware did not start"},
    {"msg_upl-nostart-todo", "The device stays in its bootloader. Upload the firmware again, or choose another image."},
    {"sta_upl-noblock", "The next firmware block could not be prepared"},
};

bool InRange(int index) noexcept { return index >= 0 && index < TMessageTable::Count; }

} // namespace

TMessageTable::TMessageTable()
{
    for (int i = 0; i < Count; ++i)
        texts_[static_cast<std::size_t>(i)] = kMessages[i].text;
}

const char* TMessageTable::MessageKey(int index) noexcept { return InRange(index) ? kMessages[index].key : ""; }

const char* TMessageTable::DefaultText(int index) noexcept { return InRange(index) ? kMessages[index].text : ""; }

const String& TMessageTable::MessageText(int index) const
{
    static const String empty;
    return InRange(index) ? texts_[static_cast<std::size_t>(index)] : empty;
}

void TMessageTable::Translate(const std::function<String(const String& key)>& lookup)
{
    for (int i = 0; i < Count; ++i) {
        String text = lookup ? lookup(kMessages[i].key) : String();
        texts_[static_cast<std::size_t>(i)] = text.empty() ? String(kMessages[i].text) : std::move(text);
    }
}

} // namespace fk
