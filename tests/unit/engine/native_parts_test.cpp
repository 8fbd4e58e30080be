// The engine's native platform parts: the background thread and the private mapping of a file.
#include "engine/background_work.h"
#include "engine/native/posix_file_system.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <future>
#include <iterator>
#include <string>
#include <vector>

namespace hotfix::engine {
namespace {

TEST(BackgroundWork, RunsTasksInOrderAndWaitsForThem) {
    std::vector<int> ran;
    {
        const std::unique_ptr<BackgroundWork> work = StartBackgroundWork();
        std::uint64_t last = 0;
        for (int i = 0; i < 1000; ++i) last = work->Post([&ran, i] { ran.push_back(i); });
        EXPECT_EQ(last, 1000u);
        work->WaitFor(last);
        EXPECT_EQ(ran.size(), 1000u);
        for (int i = 0; i < 1000; ++i) ASSERT_EQ(ran[i], i);
        work->Post([&ran] { ran.push_back(-1); }); // not waited for: the destructor waits
    }
    EXPECT_EQ(ran.back(), -1);
}

// The new file's hashing goes ahead of the old file's on their shared thread, and neither waits
// for the other's numbers.
TEST(BackgroundWork, TheFirstQueueOfASharedThreadGoesFirst) {
    std::vector<std::string> ran;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    SharedBackgroundWork shared = StartSharedBackgroundWork();
    std::promise<void> started;
    shared.second->Post([&, released] {
        started.set_value();
        released.wait();
        ran.push_back("second 1");
    });
    started.get_future().wait(); // the thread is busy: what follows waits in the queues
    shared.second->Post([&] { ran.push_back("second 2"); });
    const std::uint64_t last = shared.second->Post([&] { ran.push_back("second 3"); });
    EXPECT_EQ(shared.first->Post([&] { ran.push_back("first 1"); }), 1u);
    release.set_value();
    shared.second->WaitFor(last);
    EXPECT_EQ(ran, (std::vector<std::string>{"second 1", "first 1", "second 2", "second 3"}));
}

// The match delta converts its source in place: a change to the mapping must never reach the file.
TEST(PosixFileSystem, APrivateMappingNeverWritesThrough) {
    const std::string dir = ::testing::TempDir();
    const std::string bytes(100000, 'x');
    std::ofstream(dir + "/hfx_mapped.bin", std::ios::binary) << bytes;
    PosixFileSystem fs(dir);
    std::unique_ptr<ReadableFile> file;
    ASSERT_TRUE(fs.OpenRead("hfx_mapped.bin", file).ok);
    std::uint8_t* mapped = file->MapPrivate();
    ASSERT_NE(mapped, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(mapped), bytes.size()), bytes);
    for (std::size_t i = 0; i < bytes.size(); i += 4096) mapped[i] = 'y';
    file.reset();
    std::ifstream in(dir + "/hfx_mapped.bin", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()), bytes);
    std::remove((dir + "/hfx_mapped.bin").c_str());
}

} // namespace
} // namespace hotfix::engine
