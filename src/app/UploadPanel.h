#pragma once
// TUploadPanel: the main window's Upload firmware and Reboot buttons, and the windows of an
// upload: the firmware file chooser and the box that tells an upload's failure.
//
// The panel tells what the user clicks through its signals; the window passes it on to the
// device session. The chooser and the box belong to the main window (their parent), as every
// other dialog of it does.
#include "platform/Types.h"

#include <QGroupBox>
#include <QString>

class QPushButton;

namespace fk {

class TMessageTable;

class TUploadPanel : public QGroupBox {
    Q_OBJECT
public:
    explicit TUploadPanel(QWidget* parent);

    void EnableReboot(bool enabled);
    // Asks for a firmware image file in folder (the file types named in the language shown);
    // false when none was chosen.
    bool ChooseFirmwareFile(const String& folder, const QString& imagesFilter, const QString& allFilter,
                            String& fileName);
    // Tells that an upload failed (cause: a message index of the table) and what is left on
    // the device, in a box that stays until the user closes it and holds up nothing.
    void ShowUploadFailed(const TMessageTable& messages, const QString& caption, int cause, bool erased);

signals:
    void UploadClicked();
    void RebootClicked();

private:
    QPushButton* uploadButton_ = nullptr;
    QPushButton* rebootButton_ = nullptr;
};

} // namespace fk
