// kvldrain: the queues of dead processes are appended whole and in order
// to their targets' files and removed; a living process's queue, and one
// whose target cannot be written, stay; a damaged queue gives its good
// records; --list changes nothing.

#include "KvlQueueFile.h"
#include "test_support.h"

using namespace kvl::queue;

namespace {

// A queue of handler `name` for `target`, holding the records, left by a
// process that died.
void orphan(const std::string &dir, const std::string &name, const std::string &target, int records,
            bool damage = false) {
    const pid_t child = vrxtest::startChild([&] {
        std::string error;
        auto queue = QueueFile::create(dir, name, target, kMinRingSize, error);
        if (queue == nullptr) return 1;
        for (int n = 0; n < records; ++n)
            queue->push(name + " " + std::to_string(n) + "\n");
        if (damage) queue->header()->writePos += 8;  // a record half written
        return 0;
    });
    ASSERT_EQ(vrxtest::waitChild(child), 0);
}

int drain(const std::string &arguments) {
    const std::string command = std::string(KVLDRAIN_PATH) + " " + arguments + " 2>/dev/null";
    return WEXITSTATUS(std::system(command.c_str()));
}

size_t queues(const std::string &dir) {
    size_t n = 0;
    for (const auto &entry : std::filesystem::directory_iterator(dir))
        n += entry.path().extension() == ".kvlq";
    return n;
}

}  // namespace

TEST(KvlDrainTest, DeadProcessesQueuesGoToTheirTargets) {
    vrxtest::TempDir dir;
    const std::string q = dir / "q";
    std::filesystem::create_directory(q);
    orphan(q, "a", dir / "a.log", 300);
    orphan(q, "b/c", dir / "b.log", 2, true);
    orphan(q, "d", dir / "no/such/dir/d.log", 1);
    std::string error;
    auto live = QueueFile::create(q, "a", dir / "a.log", kMinRingSize, error);
    ASSERT_NE(live, nullptr) << error;
    live->push("alive\n");

    EXPECT_EQ(drain("--list >/dev/null " + q), 0);
    EXPECT_EQ(queues(q), 4u);
    EXPECT_EQ(drain(q), 1);  // d's target cannot be written
    std::string a;
    for (int n = 0; n < 300; ++n)
        a += "a " + std::to_string(n) + "\n";
    EXPECT_EQ(vrxtest::readFile(dir / "a.log"), a);
    EXPECT_EQ(vrxtest::readFile(dir / "b.log"), "b/c 0\nb/c 1\n");
    EXPECT_EQ(queues(q), 2u);  // the living one and d's
    live.reset();              // its process gone now
    EXPECT_EQ(drain(q + " >/dev/null"), 1);
    EXPECT_EQ(*vrxtest::readFile(dir / "a.log"), a + "alive\n");
    EXPECT_EQ(queues(q), 1u);
    for (const char *wrong : {"", "--bogus", "a b"})
        EXPECT_EQ(drain(wrong), 2) << wrong;
}
