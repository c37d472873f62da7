#pragma once
// Running the Qt event loop from a test: for a while, or until a condition holds (bounded by a
// guard time that only a failing test reaches; never a timing assertion).
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <functional>

namespace fk::test {

// Runs the event loop for about ms milliseconds.
inline void RunEventLoopFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs the event loop in short steps until done() or the guard time; whether done() came true.
inline bool RunEventLoopUntil(const std::function<bool()>& done, int guardMs = 8000)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > guardMs)
            return false;
        RunEventLoopFor(2);
    }
    return true;
}

} // namespace fk::test
