// When the worker reads: at once, until a flood of messages makes it read in batches, and a
// wake always cuts a pause short.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "client/read_pacing.h"

namespace {

constexpr int64_t Gap = ReadPacing::BusyGapUs;

// Passes that each delivered a message `apart` microseconds after the previous one; answers
// the pause the last of them was given.
int64_t PassesApart(ReadPacing& pacing, int64_t& now, int passes, int64_t apart)
{
    int64_t pause = 0;
    for (int i = 0; i < passes; ++i) {
        now += apart;
        pause = pacing.PauseAfterPass(now);
    }
    return pause;
}

TEST(ReadPacingTest, OnlyASustainedFloodIsReadInBatches)
{
    ReadPacing pacing;
    int64_t now = 1000000;
    // Messages further apart than the gap, however many, are read the moment they come.
    EXPECT_EQ(PassesApart(pacing, now, 100, Gap), 0);
    // A short burst is read at once too.
    EXPECT_EQ(PassesApart(pacing, now, ReadPacing::FloodPasses - 1, Gap / 2), 0);
    // One more close message makes it a flood: the socket is left unread a while.
    EXPECT_EQ(PassesApart(pacing, now, 1, Gap / 2), ReadPacing::PauseUs);
    // After the pause the gathered messages are waiting: the flood goes on, read in batches.
    now += ReadPacing::PauseUs;
    pacing.Resumed(now);
    EXPECT_EQ(PassesApart(pacing, now, 1, 50), ReadPacing::PauseUs);
    // A lull ends the flood: the next message is read at once, and so is the next burst.
    now += ReadPacing::PauseUs;
    pacing.Resumed(now);
    EXPECT_EQ(PassesApart(pacing, now, 1, Gap), 0);
    EXPECT_EQ(PassesApart(pacing, now, ReadPacing::FloodPasses - 1, Gap / 2), 0);
    // A new session starts without the old one's flood.
    EXPECT_EQ(PassesApart(pacing, now, 1, Gap / 2), ReadPacing::PauseUs);
    pacing.Restart();
    EXPECT_EQ(PassesApart(pacing, now, 1, Gap / 2), 0);
}

// A pause of a minute would hang the test if a wake were lost; each one here ends at once.
TEST(ReadPacingTest, AWakeCutsThePauseShortWhetherItCameBeforeOrDuringIt)
{
    using Clock = std::chrono::steady_clock;
    constexpr int64_t Minute = 60 * 1000 * 1000;
    ReadPacing pacing;
    const Clock::time_point start = Clock::now();
    pacing.Wake();
    pacing.Pause(Minute);
    for (int round = 0; round < 50; ++round) {
        std::thread waker([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            pacing.Wake();
        });
        pacing.Pause(Minute);
        waker.join();
    }
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(30));
    // A wake is used up by the pause it cut short: the next one lasts its time.
    const Clock::time_point before = Clock::now();
    pacing.Pause(20000);
    EXPECT_GE(Clock::now() - before, std::chrono::milliseconds(20));
}

} // namespace
