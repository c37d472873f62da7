#pragma once
// Helpers of the window's module tests: simulated modules (SimModules.h), module records made
// by hand, and answering a message box from inside the test.
#include "../module/SimModules.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>


namespace fk::test {

// Waits for the next message box of the application and presses answer; the text it showed
// ends up in Text. Polls from the event loop that the box's exec() runs, so no box is ever
// left waiting for a user.
class TMessageBoxAnswer : public QObject {
public:
    explicit TMessageBoxAnswer(QMessageBox::StandardButton answer)
        : answer_(answer)
    {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* box = qobject_cast<QMessageBox*>(w);
                if (!box || !box->isVisible())
                    continue;
                Text = box->text();
                Icon = box->icon();
                DefaultButton = box->defaultButton() ? box->standardButton(box->defaultButton()) : QMessageBox::NoButton;
                ++Shown;
                if (QAbstractButton* b = box->button(answer_))
                    b->click();
                else
                    box->reject();
            }
        });
        timer_.start();
    }

    int Shown = 0;
    QString Text;
    QMessageBox::Icon Icon = QMessageBox::NoIcon;
    QMessageBox::StandardButton DefaultButton = QMessageBox::NoButton;

private:
    QMessageBox::StandardButton answer_;
    QTimer timer_;
};

// A module record as the link keeps it.
inline TKestConnectStatus ModuleRecord(const String& ip, const String& name, const String& ssid, const String& apIP,
                                       bool joined, std::list<TWLANItem> networks = {})
{
    TKestConnectStatus s(ip, ip, Id_IPv4, 1);
    s.Config.Version = "2.1.0";
    s.Config.Name = name;
    s.Config.AccessPoint = TWLANKey(ssid, "pass");
    s.Config.AccessPoint.IP = apIP;
    s.Config.APConnected = joined;
    s.Networks = std::move(networks);
    return s;
}

} // namespace fk::test
