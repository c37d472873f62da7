#pragma once
// The About box: product name and version and the legal notice from the program's version
// block, the build time, the maker's home page and support address as links, and the icon.
#include <QDateTime>
#include <QDialog>
#include <functional>

class QGridLayout;
class QLabel;
class QPushButton;

namespace fk {

class TFileVersionInfo;
class TVersionInfo;

class TFormProgInfo : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* HomePage = "https://nordvel.example/ferrovan-kest";
    static constexpr const char* SupportAddress = "support@nordvel.example";

    explicit TFormProgInfo(const TFileVersionInfo& version, QWidget* parent = nullptr);

    // Opens an address with the desktop's handler; tests replace it. False when no program
    // took it: the box then says so and names the address.
    std::function<bool(const QString& url)> OpenUrl;
    // The text of that message in the active language (empty: the built-in English text).
    QString NoProgramText;

    // The build time as the box shows it, in local time: "Mar 23 2018, 13:11:32". It is the
    // file date of the version block, which the build writes when it makes the program; a file
    // without one gives its modification time, and a file that cannot be read the running
    // program's.
    static QString BuildTime(const TVersionInfo& version);
    // The same in a language's own words (index 0 English, 1 Polish, 2 Russian).
    static QString BuildTime(const QDateTime& time, int language);
    // The legal notice "Copyright (C) YEAR HOLDER. ..." in a language: copyright is the
    // language's form with %1 the year and %2 the holder; empty, or a notice of another
    // form, leaves it as the version block has it.
    static QString LegalNotice(const QString& notice, const QString& copyright);
    // Puts the build time and legal notice in the language shown.
    void ShowLanguage(int language, const QString& copyright);
    static QDateTime BuildDateTime(const TVersionInfo& version);
    // The icon size for a height: its highest set bit and the bit below it (50 -> 48, 40 -> 32).
    static int IconSize(int height);

    void LinkLabel1Click(); // home page
    void LinkLabel2Click(); // support address

    QLabel* ProductLabel() const { return productLabel_; }
    QLabel* LegalLabel() const { return legalLabel_; }
    QLabel* BuildTimeLabel() const { return buildTimeLabel_; }
    QLabel* HomePageLabel() const { return homePageLink_; }
    QLabel* SupportLabel() const { return supportLink_; }
    QLabel* IconLabel() const { return iconLabel_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QLabel* MakeLink(const QString& text, const QString& hint);
    // The links in the link colour of the active skin.
    void ColorLinks();

    QLabel* iconLabel_;
    QLabel* productLabel_;
    QLabel* legalLabel_;
    QLabel* buildTimeCaption_;
    QLabel* buildTimeLabel_;
    QLabel* homePageCaption_;
    QLabel* homePageLink_ = nullptr;
    QLabel* supportCaption_;
    QLabel* supportLink_ = nullptr;
    QPushButton* okButton_;
    QDateTime built_;
    QString notice_; // the legal notice of the version block
};

} // namespace fk
