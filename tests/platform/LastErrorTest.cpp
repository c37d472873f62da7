#include "platform/LastError.h"
#include "platform/SystemClock.h"

#include <cerrno>
#include <chrono>
#include <ctime>
#include <gtest/gtest.h>
#include <thread>

using namespace fk;

TEST(LastError, IsPerThread)
{
    SetLastError(ERROR_ACCESS_DENIED);
    DWORD seen = 12345;
    std::thread([&] {
        seen = GetLastError();
        SetLastError(ERROR_TIMEOUT);
    }).join();
    EXPECT_EQ(seen, ERROR_SUCCESS);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

TEST(LastError, ErrnoKeepsTheUsersMessageRight)
{
    EXPECT_EQ(ErrorFromErrno(0), ERROR_SUCCESS);
    EXPECT_EQ(ErrorFromErrno(ENOENT), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(ErrorFromErrno(EBUSY), ERROR_ACCESS_DENIED);
    EXPECT_EQ(ErrorFromErrno(EIO), ERROR_DEVICE_NOT_CONNECTED);
    // Permission denied is not "in use": it has its own code, outside the Windows range.
    EXPECT_EQ(ErrorFromErrno(EACCES), ERROR_PORT_PERMISSION);
    EXPECT_NE(ErrorFromErrno(EACCES), ERROR_ACCESS_DENIED);
    EXPECT_NE(ErrorText(ERROR_PORT_PERMISSION).find("dialout"), std::string::npos);
    EXPECT_EQ(SetLastErrorFromErrno(EINVAL), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(LastError, AnErrnoMeansWhatTheFailedCallWasDoing)
{
    EXPECT_EQ(ErrorFromErrno(EISDIR, TErrnoUse::Open), ERROR_BAD_FILE_TYPE);
    EXPECT_EQ(ErrorFromErrno(EADDRINUSE, TErrnoUse::Listen), ERROR_ACCESS_DENIED);
    EXPECT_EQ(ErrorFromErrno(EWOULDBLOCK, TErrnoUse::InstanceLock), ERROR_ALREADY_EXISTS);
    // Elsewhere they keep the general meaning, and every other value maps as in general.
    EXPECT_EQ(ErrorFromErrno(EISDIR), ERROR_GEN_FAILURE);
    EXPECT_EQ(ErrorFromErrno(EADDRINUSE, TErrnoUse::Open), ERROR_GEN_FAILURE);
    EXPECT_EQ(ErrorFromErrno(EWOULDBLOCK, TErrnoUse::Open), ERROR_ACCESS_DENIED);
    EXPECT_EQ(ErrorFromErrno(ENOENT, TErrnoUse::Open), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(ErrorFromErrno(EACCES, TErrnoUse::Listen), ERROR_PORT_PERMISSION);
    EXPECT_EQ(SetLastErrorFromErrno(EISDIR, TErrnoUse::Open), ERROR_BAD_FILE_TYPE);
    EXPECT_EQ(GetLastError(), ERROR_BAD_FILE_TYPE);
}

TEST(SystemClock, TickDifferencesSurviveTheWrap)
{
    EXPECT_EQ(TickDiff(5u, 0xFFFFFFFBu), 10u);
    EXPECT_EQ(TickDiff(100u, 40u), 60u);
    const auto t0 = GetTickCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    const auto d = TickDiff(GetTickCount(), t0);
    EXPECT_GE(d, 29u);
    EXPECT_LT(d, 5000u);
}

TEST(SystemClock, FileTimeCountsFrom1601)
{
    const std::uint64_t ft = GetSystemTimeAsFileTime();
    const std::uint64_t unixSeconds = static_cast<std::uint64_t>(std::time(nullptr));
    const std::uint64_t fromFt = (ft - FileTimeUnixEpoch) / 10000000u;
    EXPECT_LE(fromFt > unixSeconds ? fromFt - unixSeconds : unixSeconds - fromFt, 2u);
    // 2026 lies between these two instants expressed in 100-ns units since 1601.
    EXPECT_GT(ft, 130000000000000000ULL);
}
