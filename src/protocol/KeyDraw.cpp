#include "protocol/KeyDraw.h"

#include <chrono>
#include <functional>
#include <new>
#include <random>
#include <stdexcept>
#include <thread>

namespace fk {

namespace {

std::mt19937 SeededEngine() noexcept
{
    std::uint32_t words[8] = {};
    try {
        std::random_device device;
        for (auto& w : words)
            w = device();
    } catch (const std::runtime_error&) {
        // No entropy source: fall back to the clock, the thread and an address, which
        // still gives every thread and every run a different stream.
        const auto now = static_cast<std::uint64_t>(
            std::chrono::high_resolution_clock::now().time_since_epoch().count());
        const auto tid = std::hash<std::thread::id>{}(std::this_thread::get_id());
        const auto addr = reinterpret_cast<std::uintptr_t>(&words);
        words[0] = static_cast<std::uint32_t>(now);
        words[1] = static_cast<std::uint32_t>(now >> 32);
        words[2] = static_cast<std::uint32_t>(tid);
        words[3] = static_cast<std::uint32_t>(std::uint64_t(tid) >> 32);
        words[4] = static_cast<std::uint32_t>(addr);
        words[5] = static_cast<std::uint32_t>(std::uint64_t(addr) >> 32);
    }
    try {
        std::seed_seq seq(std::begin(words), std::end(words));
        return std::mt19937(seq);
    } catch (const std::bad_alloc&) {
        // No memory for the seed sequence: the first words alone.
        return std::mt19937(words[0] ^ words[2] ^ words[4]);
    }
}

} // namespace

u8 DrawKey(u8 lo, u8 hi) noexcept
{
    thread_local std::mt19937 engine = SeededEngine();
    return DrawUniform(engine, lo, hi);
}

} // namespace fk
