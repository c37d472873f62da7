#include "app/UploadPanel.h"

#include "app/LanguageApplier.h"
#include "app/ObjectNames.h"
#include "app/PanelButton.h"
#include "app/TracedMessageBox.h"
#include "session/MessageTable.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QMessageBox>
#include <QPushButton>

namespace fk {

TUploadPanel::TUploadPanel(QWidget* parent)
    : QGroupBox(parent)
{
    setObjectName(QLatin1String(names::FirmwareGroup));
    auto* buttons = new QGridLayout(this);
    uploadButton_ = TLanguageApplier::Key(
        NewPanelButton(QStringLiteral("Upload firmware"), names::UploadButton, this), "btn_upload");
    rebootButton_ = TLanguageApplier::Key(NewPanelButton(QStringLiteral("Reboot"), names::RebootButton, this),
                                          "btn_dev-reboot");
    rebootButton_->setEnabled(false);
    buttons->addWidget(uploadButton_, 0, 0);
    buttons->addWidget(rebootButton_, 0, 1);
    buttons->setColumnStretch(0, 1);
    buttons->setColumnStretch(1, 1);
    connect(uploadButton_, &QPushButton::clicked, this, [this] { emit UploadClicked(); });
    connect(rebootButton_, &QPushButton::clicked, this, [this] { emit RebootClicked(); });
}

void TUploadPanel::EnableReboot(bool enabled) { rebootButton_->setEnabled(enabled); }

bool TUploadPanel::ChooseFirmwareFile(const String& folder, const QString& imagesFilter, const QString& allFilter,
                                      String& fileName)
{
    QFileDialog dialog(window(), QString(), QString::fromStdString(folder),
                       imagesFilter + QStringLiteral(" (*.img);;") + allFilter + QStringLiteral(" (*)"));
    dialog.setObjectName(QLatin1String(names::FirmwareFileDialog));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    const bool chosen = dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
    if (!chosen)
        return false;
    fileName = dialog.selectedFiles().constFirst().toStdString();
    return true;
}

void TUploadPanel::ShowUploadFailed(const TMessageTable& m, const QString& caption, int cause, bool erased)
{
    const bool noStart = cause == staNewFirmwareNoStart; // transferred, but the device stays in its bootloader
    const QString text = QString::fromStdString(m.MessageText(erased && !noStart ? staUploadInterrupted : staUploadFailed))
        + QStringLiteral(": ") + QString::fromStdString(m.MessageText(cause)) + QStringLiteral("\n")
        + QString::fromStdString(m.MessageText(noStart ? msgNewFirmwareNoStartTodo
                                               : erased ? msgNoFirmwareLeft : msgOldFirmwareKept));
    auto* box = new QMessageBox(QMessageBox::Warning, caption, text, QMessageBox::Ok, window());
    box->setObjectName(QLatin1String(names::UploadFailedBox));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    TTracedMessageBox::Show(box);
}

} // namespace fk
