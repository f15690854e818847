// Writers killed in the middle of shared logging: eight processes write
// through the multi-process file handler into one small rolling set while
// one of them is SIGKILLed at a random moment (ten moments). Every
// acknowledged record must appear exactly once and whole across the
// archived backups and the set, each writer's records in order; the only
// foreign text allowed is one fragment of the killed writer's record in
// flight; the semaphore is free afterwards.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "mp_record.h"
#include "sem_holder.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace vrxtest;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kRounds = 3;
constexpr int kRecords = 3000;
#else
constexpr int kRounds = 10;
constexpr int kRecords = 10000;
#endif
constexpr int kWriters = 8;

pid_t spawnWriter(const std::string &dir, int32_t key, int writer) {
    const pid_t pid = fork();
    if (pid == 0) {
        execl(MP_WRITER_PATH, MP_WRITER_PATH, dir.c_str(), std::to_string(key).c_str(),
              std::to_string(writer).c_str(), std::to_string(kRecords).c_str(), nullptr);
        _exit(127);
    }
    return pid;
}

// The last acknowledged sequence number of a writer, or -1.
int lastAck(const std::string &dir, int writer) {
    std::ifstream in(dir + "/ack" + std::to_string(writer), std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() < sizeof(int)) return -1;
    int last = -1;
    std::memcpy(&last, bytes.data() + bytes.size() / sizeof(int) * sizeof(int) - sizeof(int),
                sizeof(int));
    return last;
}

// Every file of the set in writing order: the archive (oldest first), then
// backups 3, 2, 1 and the active file.
std::vector<fs::path> filesInOrder(const fs::path &dir) {
    std::vector<fs::path> archived;
    for (const auto &entry : fs::directory_iterator(dir / "archive"))
        archived.push_back(entry);
    std::sort(archived.begin(), archived.end());
    for (const char *name : {"x3.log", "x2.log", "x1.log", "x.log"})
        if (fs::exists(dir / name)) archived.push_back(dir / name);
    return archived;
}

TEST(KvlMpReliabilityTest, KilledWritersLoseAndDuplicateNothing) {
    std::mt19937 random(20261207);
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        TempDir tmp;
        const std::string dir = tmp.path();
        fs::create_directory(dir + "/archive");
        PrivateKey key(200 + round);
        std::vector<pid_t> writers;
        for (int w = 0; w < kWriters; ++w)
            writers.push_back(spawnWriter(dir, key.key(), w));
        const int victim = round % kWriters;
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % 400));
        kill(writers[victim], SIGKILL);
        for (int w = 0; w < kWriters; ++w) {
            int status = 0;
            waitpid(writers[w], &status, 0);
            if (w != victim) {
                EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << w;
            }
        }

        std::vector<int> next(kWriters, 0);
        int foreign = 0;
        for (const fs::path &file : filesInOrder(dir)) {
            EXPECT_LE(fs::file_size(file), 4096u + 80u) << "a file holds its limit and one record";
            std::ifstream in(file, std::ios::binary);
            for (std::string line; std::getline(in, line);) {
                const auto id = vrxtest::parseMpRecord(line);
                if (!id || id->writer < 0 || id->writer >= kWriters) {
                    ++foreign;
                    continue;
                }
                EXPECT_EQ(id->sequence, next[id->writer])
                    << "writer " << id->writer << " in " << file.filename();
                next[id->writer] = id->sequence + 1;
            }
        }
        EXPECT_LE(foreign, 1) << "only the killed writer's record in flight may be cut";
        for (int w = 0; w < kWriters; ++w) {
            const int acked = lastAck(dir, w);
            if (w == victim) {
                EXPECT_GE(next[w], acked + 1) << "an acknowledged record is missing";
                EXPECT_LE(next[w], acked + 2) << "more than the record in flight";
            } else {
                EXPECT_EQ(acked, kRecords - 1) << w;
                EXPECT_EQ(next[w], kRecords) << w;
            }
        }
        EXPECT_EQ(key.value(), 1) << "the lock is free afterwards";
    }
}

}  // namespace
