#pragma once
// The preferences dialog: interface language, skin, window opacity and five option flags, with
// OK, Cancel, Apply and a live Preview. It edits a copy of the main window's settings record
// (CurrentSettings) and keeps the copy taken at opening and at every Apply (SavedSettings); the
// owner hears of every change through OnApply and of the Preview box through OnPreview.
#include "app/AppSettings.h"

#include <QDialog>
#include <QStringList>
#include <functional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QSlider;

namespace fk {

class TFormSettings : public QDialog {
    Q_OBJECT
public:
    explicit TFormSettings(QWidget* parent = nullptr);

    // Called after every change; apply true: apply CurrentSettings now (Apply, or Preview on).
    std::function<void(TFormSettings* sender, bool apply)> OnApply;
    // Called when the Preview box changes.
    std::function<void(TFormSettings* sender, bool preview)> OnPreview;

    TAppSettings SavedSettings;
    TAppSettings CurrentSettings;
    bool PreviewOn = false;

    // The item lists of the two drop-down lists (the main window's Language and Skin menu items).
    void SetLanguages(const QStringList& items);
    void SetSkins(const QStringList& items);

    // Copies s into CurrentSettings and shows it.
    void SetSettings(const TAppSettings& s);
    // Shows s on the controls without telling the owner.
    void ShowSettings(const TAppSettings& s);
    // Tells the owner (OnApply with apply, or with PreviewOn).
    void NotifyApply(bool apply);

    // The opacity as the label shows it: position x 100 / 255 with one decimal, the locale's
    // decimal separator and "%" right after the digits ("37.6%", "50,2%").
    static QString OpacityText(int position);

    // The controls, for the window's language and for tests.
    QComboBox* LanguageBox() const { return languageBox_; }
    QComboBox* SkinBox() const { return skinBox_; }
    QSlider* OpacityBar() const { return opacityBar_; }
    QLabel* OpacityLabel() const { return opacityLabel_; }
    QCheckBox* RememberBox() const { return rememberBox_; }
    QCheckBox* MultiInstanceBox() const { return multiInstanceBox_; }
    QCheckBox* SnapBox() const { return snapBox_; }
    QCheckBox* PreviewBox() const { return previewBox_; }
    QCheckBox* ConnectAtStartupBox() const { return connectAtStartupBox_; }
    QPushButton* OkButton() const { return okButton_; }
    QPushButton* CancelButton() const { return cancelButton_; }
    QPushButton* ApplyButton() const { return applyButton_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OptionBoxClicked(TAppOption option, bool on);
    void ConnectAtStartupClicked(bool on);
    void PreviewClicked(bool on);
    void TrackBarChange(int position);
    void Button3Click();

    QGroupBox* generalGroup_;
    QGroupBox* appearanceGroup_;
    QCheckBox* rememberBox_;
    QCheckBox* multiInstanceBox_;
    QCheckBox* snapBox_;
    QCheckBox* previewBox_;
    QCheckBox* connectAtStartupBox_;
    QLabel* languageLabel_;
    QLabel* opacityCaption_;
    QLabel* skinLabel_;
    QLabel* opacityLabel_;
    QComboBox* languageBox_;
    QComboBox* skinBox_;
    QSlider* opacityBar_;
    QPushButton* okButton_;
    QPushButton* cancelButton_;
    QPushButton* applyButton_;
    // While the controls are set from a record, their changes update CurrentSettings only.
    bool detached_ = false;
};

} // namespace fk
