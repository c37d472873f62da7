#pragma once
// Points the settings store at a fresh temporary folder for one test and restores the
// previous XDG_CONFIG_HOME afterwards.
#include <QTemporaryDir>
#include <cstdlib>
#include <optional>
#include <string>

namespace fk::test {

class TConfigHome {
public:
    TConfigHome()
    {
        if (const char* old = std::getenv("XDG_CONFIG_HOME"))
            saved_ = old;
        setenv("XDG_CONFIG_HOME", dir_.path().toStdString().c_str(), 1);
    }
    ~TConfigHome()
    {
        if (saved_)
            setenv("XDG_CONFIG_HOME", saved_->c_str(), 1);
        else
            unsetenv("XDG_CONFIG_HOME");
    }
    TConfigHome(const TConfigHome&) = delete;
    TConfigHome& operator=(const TConfigHome&) = delete;

    bool Valid() const { return dir_.isValid(); }
    QString Path() const { return dir_.path(); }

private:
    QTemporaryDir dir_;
    std::optional<std::string> saved_;
};

} // namespace fk::test
