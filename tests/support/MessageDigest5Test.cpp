#include "support/MessageDigest5.h"
#include "support/MyMath.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

using namespace fk;

namespace {

std::string Hex(const u8* p, std::size_t n)
{
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (std::size_t i = 0; i < n; ++i) {
        s += digits[p[i] >> 4];
        s += digits[p[i] & 15];
    }
    return s;
}

std::string Digest(TMessageDigest5& md)
{
    u8 out[TMessageDigest5::HashSize];
    std::memset(out, 0xA5, sizeof out);
    md.FinalDigest(out);
    return Hex(out, sizeof out);
}

std::string DigestOf(const std::string& text)
{
    TMessageDigest5 md(text.data(), static_cast<unsigned>(text.size()));
    return Digest(md);
}

// The first 32 characters that `command` prints (md5sum's hexadecimal digest).
std::string RunMd5sum(const std::string& command)
{
    FILE* p = ::popen(command.c_str(), "r");
    if (!p)
        return "popen failed";
    char buf[64] = {};
    const std::size_t n = std::fread(buf, 1, 32, p);
    ::pclose(p);
    return std::string(buf, n);
}

class TempDir {
public:
    TempDir()
    {
        const char* base = std::getenv("TMPDIR");
        std::string templ = std::string(base && *base ? base : "/tmp") + "/fk-md5-XXXXXX";
        std::vector<char> buf(templ.begin(), templ.end());
        buf.push_back('\0');
        if (::mkdtemp(buf.data()))
            path_ = buf.data();
    }
    ~TempDir()
    {
        if (!path_.empty())
            std::system(("rm -rf '" + path_ + "'").c_str());
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

} // namespace

TEST(MessageDigest5, Constants)
{
    EXPECT_EQ(TMessageDigest5::BLOCKSIZE, 64u);
    EXPECT_EQ(TMessageDigest5::HashSize, 16u);
}

// RFC 1321, appendix A.5. The first vector, the empty message, is the one digest the
// design never produces: FinalDigest without data writes nothing.
TEST(MessageDigest5, Rfc1321TestSuite)
{
    {
        TMessageDigest5 md("", 0);
        EXPECT_EQ(Digest(md), "a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5") // the fill, untouched
            << "MD5 (\"\") is d41d8cd98f00b204e9800998ecf8427e, but no data means no digest";
    }
    EXPECT_EQ(DigestOf("a"), "0cc175b9c0f1b6a831c399e269772661");
    EXPECT_EQ(DigestOf("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(DigestOf("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(DigestOf("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
    EXPECT_EQ(DigestOf("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
              "d174ab98d277d9f5a5611c2c9f419d9f");
    EXPECT_EQ(DigestOf("1234567890123456789012345678901234567890123456789012345678901234567890"
                       "1234567890"),
              "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(MessageDigest5, FinalDigestWithoutDataWritesNothing)
{
    TMessageDigest5 md;
    u8 out[16];
    std::memset(out, 0x5A, sizeof out);
    md.FinalDigest(out);
    EXPECT_TRUE(MyMath::memeq(out, std::string(16, '\x5A').data(), 16));

    md.AddData("xyz", 0); // empty blocks add nothing
    md.AddData(nullptr, 0);
    md.FinalDigest(out);
    EXPECT_TRUE(MyMath::memeq(out, std::string(16, '\x5A').data(), 16));

    md.AddData("abc", 3);
    md.Reset(); // forgets the data
    md.FinalDigest(out);
    EXPECT_TRUE(MyMath::memeq(out, std::string(16, '\x5A').data(), 16));
}

TEST(MessageDigest5, ReusableAfterFinalDigest)
{
    TMessageDigest5 md("abc", 3);
    EXPECT_EQ(Digest(md), "900150983cd24fb0d6963f7d28e17f72");
    // Reset by FinalDigest: a second FinalDigest writes nothing ...
    u8 out[16];
    std::memset(out, 0, sizeof out);
    md.FinalDigest(out);
    EXPECT_TRUE(MyMath::memempty(out, 16));
    // ... and a new message starts from scratch.
    md.AddData("message ", 8);
    md.AddData("digest", 6);
    EXPECT_EQ(Digest(md), "f96b697d7cb7938d525a2f31aaf161d0");
    md.AddData("a", 1);
    EXPECT_EQ(Digest(md), "0cc175b9c0f1b6a831c399e269772661");
}

TEST(MessageDigest5, PaddingBoundaries)
{
    // Lengths around the point where the length no longer fits into the last block, fed
    // in one piece and byte by byte; against md5sum on the same bytes.
    TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    for (std::size_t n : {1u, 55u, 56u, 57u, 63u, 64u, 65u, 119u, 120u, 121u, 127u, 128u, 129u}) {
        std::string data(n, '\0');
        for (std::size_t i = 0; i < n; ++i)
            data[i] = static_cast<char>('A' + i % 26);
        const std::string file = dir.path() + "/pad";
        std::ofstream(file, std::ios::binary).write(data.data(), static_cast<std::streamsize>(n));
        const std::string expect = RunMd5sum("md5sum '" + file + "'");
        EXPECT_EQ(DigestOf(data), expect) << n;
        TMessageDigest5 md;
        for (char c : data)
            md.AddData(&c, 1);
        EXPECT_EQ(Digest(md), expect) << n;
    }
}

TEST(MessageDigest5, RandomFilesInRandomPiecesMatchMd5sum)
{
    TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE(testing::Message() << "seed " << seed);
    std::mt19937 rng(seed);
    for (int round = 0; round < 40; ++round) {
        std::size_t size;
        switch (round % 4) {
        case 0: size = 1 + rng() % 200; break;
        case 1: size = 1 + rng() % 5000; break;
        case 2: size = 1 + rng() % 300000; break;
        default: size = 1 + rng() % 3000000; break;
        }
        std::vector<u8> data(size);
        for (auto& b : data)
            b = static_cast<u8>(rng());
        const std::string file = dir.path() + "/r" + std::to_string(round);
        std::ofstream(file, std::ios::binary)
            .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(size));
        const std::string expect = RunMd5sum("md5sum '" + file + "'");
        ASSERT_EQ(expect.size(), 32u);

        TMessageDigest5 md;
        std::size_t at = 0;
        while (at < size) {
            std::size_t piece;
            switch (rng() % 4) {
            case 0: piece = rng() % 4; break;        // including empty pieces
            case 1: piece = rng() % 130; break;
            case 2: piece = rng() % 5000; break;
            default: piece = rng() % 200000; break;
            }
            piece = std::min(piece, size - at);
            md.AddData(data.data() + at, static_cast<unsigned>(piece));
            at += piece;
        }
        EXPECT_EQ(Digest(md), expect) << "round " << round << " size " << size;
        EXPECT_EQ(Digest(md), "a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5"); // reset: nothing more

        TMessageDigest5 whole(data.data(), static_cast<unsigned>(size));
        EXPECT_EQ(Digest(whole), expect) << "round " << round << " size " << size;
    }
}

// More than 2^29 bytes: the bit count's high word, both from one call (length >> 29) and
// from the carry of the low word over many calls. The zero pages of an anonymous mapping
// stand in for the data, so no memory is used.
TEST(MessageDigest5, BitCountBeyond32Bits)
{
    const std::size_t total = (std::size_t(1) << 29) + 100;
    void* map = ::mmap(nullptr, total, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(map, MAP_FAILED);
    const auto* zeros = static_cast<const u8*>(map);
    const std::string expect =
        RunMd5sum("head -c " + std::to_string(total) + " /dev/zero | md5sum");
    ASSERT_EQ(expect.size(), 32u);

    TMessageDigest5 one(zeros, static_cast<unsigned>(total));
    EXPECT_EQ(Digest(one), expect);

    TMessageDigest5 pieces;
    const std::size_t chunk = (std::size_t(1) << 26) + 7; // odd size: buffered path too
    std::size_t at = 0;
    while (at < total) {
        const std::size_t n = std::min(chunk, total - at);
        pieces.AddData(zeros + at, static_cast<unsigned>(n));
        at += n;
    }
    EXPECT_EQ(Digest(pieces), expect);
    ::munmap(map, total);
}
