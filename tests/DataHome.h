#pragma once
// Every test gets a fresh, empty XDG_DATA_HOME (removed after it), so that no test, and no
// program a test starts, writes the user's own service journal.
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace fk::test {

class TDataHomePerTest : public ::testing::EmptyTestEventListener {
public:
    void OnTestStart(const ::testing::TestInfo&) override
    {
        dir_ = std::make_unique<QTemporaryDir>();
        setenv("XDG_DATA_HOME", dir_->path().toLocal8Bit().constData(), 1);
    }
    void OnTestEnd(const ::testing::TestInfo&) override
    {
        setenv("XDG_DATA_HOME", "/nonexistent/ferrovan-kest-test-data-home", 1);
        dir_.reset();
    }

private:
    std::unique_ptr<QTemporaryDir> dir_;
};

// Call after InitGoogleTest.
inline void UseDataHomePerTest()
{
    setenv("XDG_DATA_HOME", "/nonexistent/ferrovan-kest-test-data-home", 1);
    ::testing::UnitTest::GetInstance()->listeners().Append(new TDataHomePerTest); // gtest owns it
}

} // namespace fk::test
