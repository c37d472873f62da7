#pragma once
// Puts the texts of the active language on a window and its controls. Each translatable widget
// carries its text key in the dynamic property KeyProperty (the status label carries the
// message index + 1 in ContextProperty instead); the caption rules follow the kind of widget:
//   a window:         the main window's caption + " : " + text
//   a group box:      " " + text + " "
//   a label on the status bar: the text alone
//   a control in a panel marked with ColonProperty: text + " : "
//   any other control: the text
// A key whose text is empty leaves the caption as it was. A key + ":hint" text becomes the
// control's tooltip.
#include <QString>

class QWidget;

namespace fk {

class TLanguageTexts;

class TLanguageApplier {
public:
    static constexpr const char* KeyProperty = "fkTextKey";
    static constexpr const char* ContextProperty = "fkTextContext";
    static constexpr const char* ColonProperty = "fkCaptionColon";
    // A widget whose tool tip alone is translated carries the tool tip's key here.
    static constexpr const char* HintKeyProperty = "fkHintKey";

    // Marks a widget with its text key (and returns it, for chaining in window set-up).
    template <typename W>
    static W* Key(W* widget, const char* key)
    {
        SetKey(widget, key);
        return widget;
    }
    static void SetKey(QWidget* widget, const char* key);
    static void SetHintKey(QWidget* widget, const char* key);

    // Translates window (when it carries a key) and every widget inside it.
    static void Apply(QWidget* window, TLanguageTexts& texts, const QString& mainCaption);
    // Measures every layout of window again with the texts and fonts it shows now (a language
    // or skin switch), without waiting for the event loop.
    static void Remeasure(QWidget* window);

private:
    // Gives each push button of window the room its caption needs inside its border.
    static void PadButtons(QWidget* window);
    static void ApplyTo(QWidget* widget, bool isWindow, TLanguageTexts& texts, const QString& mainCaption);
};

} // namespace fk
