#pragma once
// The message shown when the desktop has no program set up to open a document or a web
// address (no PDF viewer, no browser): it says so and names the file or address, so that the
// user can open it by hand. The text (key msg_open-noprogram) carries the name as %1.
#include <QString>

class QWidget;

namespace fk {

class TNoProgramBox {
public:
    static constexpr const char* TextKey = "msg_open-noprogram";

    // The built-in English text.
    static QString DefaultText();
    // A modal warning owned by parent; format empty: the built-in text.
    static void Show(QWidget* parent, const QString& caption, const QString& what,
                     const QString& format = QString());
};

} // namespace fk
