#pragma once
// The configurator's window against the simulated controller on a pseudo-terminal: the
// simulator logs to a file the tests read, the window lists only the simulator's port, and
// modal boxes are answered from a timer so no test ever waits on one.
#include "ConfigHome.h"
#include "app/ConnectionPorts.h"
#include "app/MainForm.h"
#include "app/ObjectNames.h"
#include "app/PortListBox.h"
#include "app/StatusLine.h"
#include "connection/KestConnection.h"
#include "sim/SimController.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>

namespace fk::test {

// Runs the event loop for at most ms, sleeping until an event comes (a timer ends the wait).
inline void RunEventsFor(int ms)
{
    QTimer tick;
    tick.setSingleShot(true);
    tick.start(ms);
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

// Runs the event loop until done() or the guard time is up.
inline bool WaitFor(const std::function<bool()>& done, int guardMs = 8000)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < guardMs)
        RunEventsFor(20);
    return done();
}

// Lets the event loop run for a while (to see that something does NOT happen).
inline void Settle(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        RunEventsFor(static_cast<int>(std::max<qint64>(1, std::min<qint64>(10, ms - t.elapsed()))));
}

// Answers the next modal box (a QMessageBox, or a dialog a handler chooses) once it shows.
// Keeps looking for 10 s; the answer given is recorded in Text.
class TModalAnswer : public QObject {
public:
    explicit TModalAnswer(std::function<bool(QWidget*)> answer) : answer_(std::move(answer))
    {
        connect(&timer_, &QTimer::timeout, this, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal && modal != seen_ && answer_(modal)) {
                seen_ = modal;
                ++Answered;
                if (!repeat_)
                    timer_.stop();
            }
            if (clock_.elapsed() > 10000)
                timer_.stop();
        });
        clock_.start();
        timer_.start(20);
    }
    void Repeat() { repeat_ = true; }

    // A handler that clicks the message box's button and keeps its text.
    static std::function<bool(QWidget*)> Click(QMessageBox::StandardButton button, QString* text = nullptr)
    {
        return [button, text](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (!box)
                return false;
            if (text)
                *text = box->text();
            box->button(button)->click();
            return true;
        };
    }

    // A handler that picks path in a file dialog.
    static std::function<bool(QWidget*)> ChooseFile(const QString& path)
    {
        return [path](QWidget* w) {
            auto* dialog = qobject_cast<QFileDialog*>(w);
            if (!dialog)
                return false;
            // The full path typed into the name field does not depend on the folder view,
            // which fills in the background.
            auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            if (!edit)
                return false;
            edit->setText(path);
            QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection);
            return !dialog->isVisible();
        };
    }

    int Answered = 0;

private:
    std::function<bool(QWidget*)> answer_;
    QTimer timer_;
    QElapsedTimer clock_;
    QWidget* seen_ = nullptr;
    bool repeat_ = false;
};

// The window with its file chooser answered by the test when FirmwareFile is set.
class TTestForm : public TMainForm {
public:
    using TMainForm::TMainForm;
    bool ChooseFirmwareFile(const String& folder, String& fileName) override
    {
        if (FirmwareFile.empty())
            return TMainForm::ChooseFirmwareFile(folder, fileName);
        fileName = FirmwareFile;
        return true;
    }
    String FirmwareFile;
};

class MainFormTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        ASSERT_TRUE(config_.Valid());
        // A box that no test answers is a failure, never a hang.
        QObject::connect(&watchdog_, &QTimer::timeout, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal != stuck_) {
                stuck_ = modal;
                stuckClock_.start();
            } else if (modal && stuckClock_.elapsed() > 12000) {
                ADD_FAILURE() << "a modal window waited unanswered: " << modal->metaObject()->className();
                if (auto* dialog = qobject_cast<QDialog*>(modal))
                    dialog->reject();
                else
                    modal->close();
            }
        });
        watchdog_.start(250);
        logPath_ = dir_.filePath(QStringLiteral("sim.log")).toStdString();
    }

    void StartSim(const TSimOptions& options = {})
    {
        ASSERT_TRUE(log_.ToFile(logPath_));
        sim_ = std::make_unique<TSimController>(options, log_);
        ASSERT_TRUE(sim_->OpenPseudoTerminal());
        ASSERT_TRUE(sim_->Start());
    }

    // A window that lists the simulator's port only (no discovery, no hot-plug monitor).
    void MakeForm(TMainFormSetup setup = {})
    {
        if (sim_ && setup.ExtraPorts.empty())
            setup.ExtraPorts.push_back({sim_->PortPath(), "Simulated controller"});
        setup.DiscoverPorts = false;
        setup.WatchPorts = false;
        form_ = std::make_unique<TTestForm>(setup);
        form_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
    }

    template <typename T>
    T* Find(const char* name) const
    {
        T* w = form_->findChild<T*>(QLatin1String(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }

    QPushButton* Button(const char* name) const { return Find<QPushButton>(name); }

    // Clicks the list's row, as the user picks a port.
    void ClickRow(int row)
    {
        TPortListBox& box = form_->PortListBox();
        const QRect rect = box.visualItemRect(box.item(row));
        QTest::mouseClick(box.viewport(), Qt::LeftButton, {}, rect.center());
    }

    QString Status() const { return form_->StatusLine().StatusText(); }
    bool WaitStatus(const QString& text, int guardMs = 8000)
    {
        return WaitFor([&] { return Status() == text; }, guardMs);
    }

    // Connects through the window: the first row, then Connect.
    void ConnectThroughWindow()
    {
        ClickRow(0);
        QTest::mouseClick(Button(names::ConnectButton), Qt::LeftButton);
        ASSERT_TRUE(WaitStatus(QStringLiteral("Connected"))) << Status().toStdString();
    }

    // The simulator's log, for failure messages.
    std::string LogText() const
    {
        QFile file(QString::fromStdString(logPath_));
        return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
    }

    // How many log lines of the simulator contain text.
    int LogCount(const std::string& text) const
    {
        QFile file(QString::fromStdString(logPath_));
        if (!file.open(QIODevice::ReadOnly))
            return 0;
        int n = 0;
        for (const QByteArray& line : file.readAll().split('\n'))
            if (line.contains(text.c_str()))
                ++n;
        return n;
    }

    void TearDown() override
    {
        if (form_) {
            form_->StopOnSignal(); // closes without asking, whatever runs
            form_.reset();
        }
        sim_.reset();
    }

    TConfigHome config_;
    QTimer watchdog_;
    QWidget* stuck_ = nullptr;
    QElapsedTimer stuckClock_;
    QTemporaryDir dir_;
    std::string logPath_;
    TSimLog log_;
    std::unique_ptr<TSimController> sim_;
    std::unique_ptr<TTestForm> form_;
};

} // namespace fk::test
