// The service journal's file: whole lines from two processes at once, the bound that moves
// the oldest half to a numbered copy, and a journal that cannot be written.
#include "support/JournalFile.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <string>

namespace fk {
namespace {

class JournalFileTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    std::string Path(const char* name) const { return dir_.filePath(QString::fromLatin1(name)).toStdString(); }

    // Every line of every part, in order.
    static std::vector<std::string> Lines(const std::string& path)
    {
        std::vector<std::string> lines;
        for (const std::string& part : TJournalFile::Parts(path)) {
            std::ifstream in(part);
            for (std::string line; std::getline(in, line);)
                lines.push_back(line);
        }
        return lines;
    }

    QTemporaryDir dir_;
};

TEST_F(JournalFileTest, TwoProcessesAppendingAtOnceTearNoLine)
{
    // Two writers of 5,000 lines each, lines long enough that a torn write would show.
    const std::string path = Path("data/ferrovan-kest/journal.jsonl"); // folders made on demand
    constexpr int PerWriter = 5000;
    pid_t children[2];
    for (int w = 0; w < 2; ++w) {
        children[w] = ::fork();
        ASSERT_GE(children[w], 0);
        if (children[w] == 0) {
            TJournalFile file(path);
            const std::string body(200, char('a' + w));
            bool ok = true;
            for (int i = 0; i < PerWriter; ++i)
                ok = file.Append("{\"w\":" + std::to_string(w) + ",\"i\":" + std::to_string(i) + ",\"x\":\"" + body + "\"}") && ok;
            ::_exit(ok ? 0 : 1);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const std::vector<std::string> lines = Lines(path);
    ASSERT_EQ(lines.size(), 2u * PerWriter);
    std::map<int, int> next; // each writer's lines arrive whole and in its own order
    for (const std::string& line : lines) {
        const int w = line[5] - '0';
        ASSERT_TRUE(w == 0 || w == 1) << line;
        const std::string expected = "{\"w\":" + std::to_string(w) + ",\"i\":" + std::to_string(next[w]++)
            + ",\"x\":\"" + std::string(200, char('a' + w)) + "\"}";
        ASSERT_EQ(line, expected);
    }
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(JournalFileTest, BoundMovesTheOldestHalfToNumberedCopiesAndLosesNothing)
{
    const std::string path = Path("journal.jsonl");
    EXPECT_EQ(TJournalFile::CopyName(path, 2), Path("journal.2.jsonl"));
    TJournalFile file(path, 1000);
    constexpr int Count = 100;
    for (int i = 0; i < Count; ++i)
        ASSERT_TRUE(file.Append("{\"i\":" + std::to_string(1000 + i) + "}")); // 13 bytes a line
    const std::vector<std::string> parts = TJournalFile::Parts(path);
    ASSERT_GE(parts.size(), 2u);
    EXPECT_EQ(parts.front(), Path("journal.1.jsonl"));
    for (const std::string& part : parts) {
        struct stat st {};
        ASSERT_EQ(::stat(part.c_str(), &st), 0);
        EXPECT_LE(st.st_size, 1000);
        EXPECT_EQ(st.st_mode & 0777, 0600u) << part;
    }
    const std::vector<std::string> lines = Lines(path);
    ASSERT_EQ(lines.size(), std::size_t(Count));
    for (int i = 0; i < Count; ++i)
        EXPECT_EQ(lines[i], "{\"i\":" + std::to_string(1000 + i) + "}");
}

TEST_F(JournalFileTest, UnwritableJournalFailsEachAppendButReportsOnce)
{
    // A regular file where the folder should be: no user can create the journal there.
    std::ofstream(Path("blocker")) << "x";
    TJournalFile file(Path("blocker/ferrovan-kest/journal.jsonl"));
    std::vector<std::string> reports;
    file.OnFailure = [&](const std::string& text) { reports.push_back(text); };
    EXPECT_FALSE(file.Append("{}"));
    EXPECT_FALSE(file.Append("{}"));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("the service journal " + Path("blocker/ferrovan-kest/journal.jsonl")
                              + " cannot be written"),
              std::string::npos)
        << reports[0];
}

} // namespace
} // namespace fk
