// `cmake --install` (what `make install` runs) into a temporary DESTDIR with the prefix /usr:
// the tree holds what a Debian user and a packager expect, the desktop file and the AppStream
// metadata pass their validators (when installed), the installed programs run, and the
// installed window finds its help documents under share/doc.
#include "app/HelpDocuments.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace fk::test {
namespace {

const QString kAppId = QStringLiteral("example.nordvel.FerrovanKest");

struct TResult {
    int Code = -1;
    QString Output;
};

TResult RunProgram(const QString& program, const QStringList& args, const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    TResult r;
    if (p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit)
        r.Code = p.exitCode();
    r.Output = QString::fromUtf8(p.readAll());
    return r;
}

class InstallTree : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dest_ = new QTemporaryDir;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DESTDIR"), dest_->path());
        const TResult r = RunProgram(QStringLiteral(FK_CMAKE_COMMAND),
                              {QStringLiteral("--install"), QStringLiteral(FK_BUILD_DIR), QStringLiteral("--prefix"),
                               QStringLiteral("/usr")},
                              env);
        installed_ = r.Code == 0;
        log_ = r.Output.toStdString();
    }
    static void TearDownTestSuite()
    {
        delete dest_;
        dest_ = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(installed_) << log_; }
    static QString Usr(const QString& path) { return dest_->path() + QStringLiteral("/usr/") + path; }

    static QTemporaryDir* dest_;
    static bool installed_;
    static std::string log_;
};
QTemporaryDir* InstallTree::dest_ = nullptr;
bool InstallTree::installed_ = false;
std::string InstallTree::log_;

TEST_F(InstallTree, HoldsProgramsLauncherIconsMetadataManPagesCompletionAndDocuments)
{
    for (const char* program : {"ferrovan-kest", "ferrovan", "ferrovan-sim"})
        EXPECT_TRUE(QFileInfo(Usr(QStringLiteral("bin/") + program)).isExecutable()) << program;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        const QImage icon(Usr(QStringLiteral("share/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(kAppId)));
        EXPECT_EQ(icon.size(), QSize(size, size)) << size;
    }
    for (const char* page : {"ferrovan", "ferrovan-kest", "ferrovan-sim"})
        EXPECT_TRUE(QFileInfo::exists(Usr(QStringLiteral("share/man/man1/%1.1.gz").arg(QLatin1String(page))))) << page;
    EXPECT_TRUE(QFileInfo::exists(Usr(QStringLiteral("share/bash-completion/completions/ferrovan"))));
    EXPECT_TRUE(QFileInfo::exists(Usr(QStringLiteral("share/doc/ferrovan-kest/copyright"))));
    EXPECT_EQ(QDir(Usr(QStringLiteral("share/doc/ferrovan-kest"))).entryList({QStringLiteral("*.pdf")}).size(), 6);

    const QString desktop = Usr(QStringLiteral("share/applications/") + kAppId + QStringLiteral(".desktop"));
    const QString metainfo = Usr(QStringLiteral("share/metainfo/") + kAppId + QStringLiteral(".metainfo.xml"));
    ASSERT_TRUE(QFileInfo::exists(desktop));
    ASSERT_TRUE(QFileInfo::exists(metainfo));
    const QString desktopValidator = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (desktopValidator.isEmpty())
        std::cout << "[ NOTE ] desktop-file-validate is not installed: the desktop file is not validated\n";
    else {
        const TResult r = RunProgram(desktopValidator, {desktop});
        EXPECT_EQ(r.Code, 0) << r.Output.toStdString();
        EXPECT_TRUE(r.Output.trimmed().isEmpty()) << r.Output.toStdString();
    }
    const QString appstream = QStandardPaths::findExecutable(QStringLiteral("appstreamcli"));
    if (appstream.isEmpty())
        std::cout << "[ NOTE ] appstreamcli is not installed: the metadata is not validated\n";
    else {
        const TResult r = RunProgram(appstream, {QStringLiteral("validate"), QStringLiteral("--no-net"), metainfo});
        EXPECT_EQ(r.Code, 0) << r.Output.toStdString();
    }
}

TEST_F(InstallTree, InstalledProgramsRunAndTheWindowFindsItsDocuments)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    for (const char* program : {"ferrovan-kest", "ferrovan"}) {
        const TResult r = RunProgram(Usr(QStringLiteral("bin/") + program), {QStringLiteral("--version")}, env);
        EXPECT_EQ(r.Code, 0) << program << ": " << r.Output.toStdString();
        EXPECT_TRUE(r.Output.startsWith(QStringLiteral("Ferrovan-Kest "))) << r.Output.toStdString();
    }
    // The lookup the installed window makes from its own folder, bin/ (no Docs/ beside it).
    const THelpDocuments docs(Usr(QStringLiteral("bin")));
    const QStringList codes = {QStringLiteral("EN"), QStringLiteral("PL"), QStringLiteral("RU")};
    for (int language = 0; language < codes.size(); ++language)
        for (const QString& kind : {HelpManual, HelpWiring}) {
            const THelpLookup lookup = docs.Find(kind, language, codes);
            EXPECT_EQ(lookup.Path, Usr(QStringLiteral("share/doc/ferrovan-kest/Ferrovan-Kest (%1-%2).pdf")
                                           .arg(kind, codes[language])));
        }
}

} // namespace
} // namespace fk::test
