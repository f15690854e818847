// The asynchronous handler's queue file: records come out whole and in
// order across the ring's end, a full ring refuses instead of overwriting,
// a queue is an orphan exactly when no process holds it, an orphan gives
// back every record not yet consumed (less what its consumer's last write
// put in the target), and a damaged one gives back the good records before
// the damage and says so, whatever its bytes.

#include "KvlQueueFile.h"
#include "test_support.h"

using namespace kvl::queue;

namespace {

std::string textOf(int n) {  // lengths 0 to 120, never a multiple of 8 alone
    return std::string(static_cast<size_t>(n * 37 % 121), static_cast<char>('a' + n % 26)) +
           std::to_string(n);
}

std::unique_ptr<QueueFile> makeQueue(const std::string &dir, const char *name = "app.async") {
    std::string error;
    auto queue = QueueFile::create(dir, name, "/var/log/app.log", kMinRingSize, error);
    EXPECT_NE(queue, nullptr) << error;
    return queue;
}

std::vector<std::string> drain(QueueFile &queue, size_t batch) {
    std::vector<std::string> out;
    while (!queue.empty()) {
        std::vector<std::string_view> texts;
        const uint64_t next = queue.peek(batch, texts);
        out.insert(out.end(), texts.begin(), texts.end());
        queue.consume(next);
    }
    return out;
}

}  // namespace

TEST(KvlQueueFileTest, RecordsComeOutWholeAndInOrderAcrossTheRingsEnd) {
    vrxtest::TempDir dir;
    auto queue = makeQueue(dir.path());
    ASSERT_NE(queue, nullptr);
    // Many times round the ring, consumed in batches of every size.
    std::vector<std::string> pushed, got;
    int n = 0;
    for (size_t batch : {1, 100, 4096, 65536}) {
        for (int round = 0; round < 300; ++round) {
            for (int i = 0; i < 40; ++i, ++n) {
                ASSERT_TRUE(queue->push(textOf(n)));
                pushed.push_back(textOf(n));
            }
            const auto out = drain(*queue, batch);
            got.insert(got.end(), out.begin(), out.end());
        }
    }
    EXPECT_EQ(got, pushed);
    EXPECT_GT(queue->header()->writePos, 10 * queue->ringSize());
}

TEST(KvlQueueFileTest, AFullRingRefusesUntilRoomIsGivenBack) {
    vrxtest::TempDir dir;
    auto queue = makeQueue(dir.path());
    ASSERT_NE(queue, nullptr);
    const std::string text(1000, 'x');
    int pushed = 0;
    while (queue->push(text))
        ++pushed;
    EXPECT_EQ(pushed, static_cast<int>(kMinRingSize / 1016));
    EXPECT_FALSE(queue->fits(kMinRingSize));
    EXPECT_TRUE(queue->fits(kMinRingSize - sizeof(RecordHead)));
    std::vector<std::string_view> texts;
    queue->consume(queue->peek(1, texts));  // one record's room
    EXPECT_TRUE(queue->push(text));
    EXPECT_FALSE(queue->push(text));
    EXPECT_EQ(drain(*queue, 1 << 20).size(), static_cast<size_t>(pushed));
}

// A queue whose descriptor is gone is an orphan, and gives back what was
// not consumed; a queue still held, or another handler's, is not touched.
TEST(KvlQueueFileTest, AnOrphanGivesBackWhatWasNotConsumed) {
    vrxtest::TempDir dir;
    auto live = makeQueue(dir.path(), "other/handler");
    pid_t child = vrxtest::startChild([&] {
        auto queue = makeQueue(dir.path());
        for (int n = 0; n < 500; ++n)
            if (!queue->push(textOf(n))) return 255;
        std::vector<std::string_view> texts;
        queue->consume(queue->peek(10 * 1000, texts));
        return static_cast<int>(texts.size() % 256);  // dies holding the rest
    });
    const int consumed = vrxtest::waitChild(child);
    EXPECT_TRUE(orphanQueues(dir.path(), "other/handler").empty());  // held
    auto orphans = orphanQueues(dir.path(), "app.async");
    ASSERT_EQ(orphans.size(), 1u);
    EXPECT_EQ(orphans[0].path(), dir.path() + "/" + queueFileName("app.async", child));
    EXPECT_TRUE(orphanQueues(dir.path(), "app.async").empty());  // locked while recovered
    const Recovery recovery = orphans[0].read();
    EXPECT_FALSE(recovery.damaged) << recovery.problem;
    EXPECT_EQ(recovery.objectName, "app.async");
    EXPECT_EQ(recovery.targetFile, "/var/log/app.log");
    ASSERT_FALSE(recovery.texts.empty());
    const int first = 500 - static_cast<int>(recovery.texts.size());
    EXPECT_EQ(first % 256, consumed);
    for (size_t i = 0; i < recovery.texts.size(); ++i)
        ASSERT_EQ(recovery.texts[i], textOf(first + static_cast<int>(i)));
    orphans[0].remove();
    EXPECT_TRUE(orphanQueues(dir.path(), "").size() == 0);
    live.reset();  // closed, not removed: now an orphan of its own handler
    EXPECT_EQ(orphanQueues(dir.path(), "").size(), 1u);
    EXPECT_EQ(queueFileName("a/b c%", 7), "a%2Fb%20c%25.7.kvlq");
    // The checksum is zip's CRC-32 of the sequence's bytes and the text.
    EXPECT_EQ(recordChecksum(5, "hello world, a record of some length"), 0xbd9664adu);
}

// Every field damaged in turn: the good records before the damage come
// back, the rest is reported, and nothing outside the bytes is read (the
// bytes are copied into a buffer of their own size, for ASan).
TEST(KvlQueueFileTest, ADamagedQueueGivesBackTheRecordsBeforeTheDamage) {
    vrxtest::TempDir dir;
    auto queue = makeQueue(dir.path());
    ASSERT_NE(queue, nullptr);
    for (int n = 0; n < 10; ++n)
        queue->push(textOf(n));
    std::vector<std::string_view> texts;
    queue->consume(queue->peek(1, texts));  // record 0 consumed
    const auto file = *vrxtest::readFile(queue->path());
    const size_t record3 =
        kHeaderSize + (queue->header()->readPos) + [&] {  // the offset of record 3 from record 1
            size_t at = 0;
            for (int n = 1; n < 3; ++n)
                at += sizeof(RecordHead) + (textOf(n).size() + 7) / 8 * 8;
            return at;
        }();
    const auto field = [](size_t offset, auto value) {
        return
            [=](std::string &bytes) { std::memcpy(bytes.data() + offset, &value, sizeof value); };
    };
    struct Row {
        const char *what;
        std::function<void(std::string &)> damage;
        int good;  // -1: the file is refused whole
    };
    const std::vector<Row> rows = {
        {"nothing", [](std::string &) {}, 9},
        {"magic", field(offsetof(Header, magic), 'X'), -1},
        {"version", field(offsetof(Header, version), uint32_t{2}), -1},
        {"header size", field(offsetof(Header, headerSize), uint32_t{512}), -1},
        {"ring too small", field(offsetof(Header, ringSize), uint64_t{4096}), -1},
        {"ring not of 8", field(offsetof(Header, ringSize), kMinRingSize + 4), -1},
        {"ring past the file", field(offsetof(Header, ringSize), kMinRingSize * 2), -1},
        {"read after write", field(offsetof(Header, readPos), uint64_t{1} << 40), -1},
        {"write past the ring", field(offsetof(Header, writePos), kMinRingSize * 3), -1},
        {"write unaligned", field(offsetof(Header, writePos), uint64_t{13}), -1},
        {"checksum", field(record3 + offsetof(RecordHead, checksum), uint32_t{0}), 2},
        {"text", field(record3 + sizeof(RecordHead), 'Z'), 2},
        {"length", field(record3 + offsetof(RecordHead, length), uint32_t{1} << 30), 2},
        {"wrap marker", field(record3, kWrapMarker), 2},
        {"sequence", field(record3 + offsetof(RecordHead, sequence), uint64_t{99}), 2},
        {"truncated", [](std::string &bytes) { bytes.resize(kHeaderSize + 100); }, -1},
        {"empty", [](std::string &bytes) { bytes.clear(); }, -1},
    };
    for (const Row &row : rows) {
        std::string bytes = file;
        row.damage(bytes);
        const std::vector<unsigned char> exact(bytes.begin(), bytes.end());
        const Recovery got = readQueueBytes(exact);
        EXPECT_EQ(got.damaged, row.good != 9) << row.what;
        EXPECT_EQ(static_cast<int>(got.texts.size()), std::max(row.good, 0)) << row.what;
        for (size_t i = 0; i < got.texts.size(); ++i)
            EXPECT_EQ(got.texts[i], textOf(static_cast<int>(i) + 1)) << row.what;
        if (row.good > 0 && row.good < 9) {
            EXPECT_GT(got.lostBytes, 0u) << row.what;
        }
    }
}

// The write a consumer died in: the records the target file (or, once the
// set rolled over, a backup) shows whole are not written again, a record
// cut at the file's end is finished there, one cut before other writers'
// records is written again whole, and a claim on another file (or none at
// all) changes nothing.
TEST(KvlQueueFileTest, AClaimedWriteIsNotWrittenTwice) {
    vrxtest::TempDir dir;
    const std::string target = dir.path() + "/target.log";
    std::string error;
    auto queue = QueueFile::create(dir.path(), "app.async", target, kMinRingSize, error);
    ASSERT_NE(queue, nullptr) << error;
    const std::vector<std::string> records = {"one\n", "two two\n", "three 3\n"};
    std::string claimed;
    for (const std::string &text : records) {
        queue->push(text);
        claimed += text;
    }
    const std::string before = "earlier records\n";
    struct Row {
        const char *what;
        std::string file;  // what the target holds after `before`
        bool claim;
        bool sameFile;
        std::vector<std::string> left;
        std::string backup;  // backup 1, when the set rolled over since
    };
    const std::vector<Row> rows = {
        {"nothing written", "", true, true, records},
        {"all written", claimed, true, true, {}},
        {"all, then others", claimed + "other\n", true, true, {}},
        {"one whole", "one\n", true, true, {"two two\n", "three 3\n"}},
        {"cut at the end", "one\ntwo", true, true, {" two\n", "three 3\n"}},
        {"cut, then others", "one\ntwoother\n", true, true, {"two two\n", "three 3\n"}},
        {"others only", "other\n", true, true, records},
        {"another file", claimed, true, false, records},
        {"no claim", claimed, false, true, records},
        {"rolled into backup 1", "x", true, true, {"three 3\n"}, before + "one\ntwo two\nthr"},
    };
    for (const Row &row : rows) {
        vrxtest::writeFile(target, before);  // the same file each time, rewritten
        struct stat info {};
        ASSERT_EQ(stat(target.c_str(), &info), 0);
        if (row.claim)
            queue->claim(info.st_dev, info.st_ino + (row.sameFile ? 0 : 1), before.size(),
                         claimed.size());
        else
            queue->unclaim();
        vrxtest::writeFile(target, before + row.file);
        std::filesystem::remove(dir.path() + "/target1.log");
        if (!row.backup.empty()) vrxtest::writeFile(dir.path() + "/target1.log", row.backup);
        const auto bytes = *vrxtest::readFile(queue->path());
        Claim claim;
        Recovery got =
            readQueueBytes(std::vector<unsigned char>(bytes.begin(), bytes.end()), &claim);
        EXPECT_EQ(claim.bytes != 0, row.claim) << row.what;
        skipWritten(got, claim);
        EXPECT_EQ(got.texts, row.left) << row.what;
    }
}

// A consumer that died holding a multi-process set's lock, its queue named
// on the set's claim board: the next holder finds it there and settles its
// claim on the file as the death left it (the records written whole
// consumed, a record cut at the end finished), so a later recovery writes
// only the rest; a live queue, or a claim on another file, is left alone.
TEST(KvlQueueFileTest, TheSetsNextHolderSettlesADeadConsumersClaim) {
    const std::vector<std::string> records = {"one\n", "two two\n", "three 3\n"};
    struct Row {
        const char *what;
        std::string written;  // by the consumer before it died
        bool sameFile;
        bool wroteBack;  // the next holder finished a record
        std::vector<std::string> left;
    };
    const std::vector<Row> rows = {
        {"nothing written", "", true, false, records},
        {"one whole", "one\n", true, false, {"two two\n", "three 3\n"}},
        {"cut at the end", "one\ntwo", true, true, {"three 3\n"}},
        {"all written", "one\ntwo two\nthree 3\n", true, false, {}},
        {"another file", "one\n", false, false, records},
    };
    for (const Row &row : rows) {
        vrxtest::TempDir dir;
        const std::string target = dir.path() + "/target.log";
        vrxtest::writeFile(target, "earlier\n");
        const pid_t child = vrxtest::startChild([&] {
            std::string error;
            auto queue = QueueFile::create(dir.path(), "app.async", target, kMinRingSize, error);
            const int fd = open(target.c_str(), O_WRONLY | O_APPEND);
            auto board = ClaimBoard::open(target, fd);
            if (queue == nullptr || board == nullptr) return 1;
            for (const std::string &text : records)
                queue->push(text);
            struct stat info {};
            fstat(fd, &info);
            queue->claim(info.st_dev, info.st_ino + (row.sameFile ? 0 : 1), 8, 20);
            board->post(getpid(), queue->path());
            return write(fd, row.written.data(), row.written.size()) ==
                           static_cast<ssize_t>(row.written.size())
                       ? 0
                       : 2;  // dies holding the claim
        });
        ASSERT_EQ(vrxtest::waitChild(child), 0) << row.what;
        const int fd = open(target.c_str(), O_WRONLY | O_APPEND);
        auto board = ClaimBoard::open(target, fd);
        ASSERT_NE(board, nullptr);
        const ClaimBoard::Entry left = board->left(getpid());
        EXPECT_EQ(left.pid, child);
        EXPECT_EQ(left.queuePath, dir.path() + "/" + queueFileName("app.async", child));
        EXPECT_EQ(board->left(child).pid, 0) << "a process's own entry is not news";
        EXPECT_EQ(settleClaim(left, fd), row.wroteBack) << row.what;
        board->clear();
        EXPECT_EQ(board->left(getpid()).pid, 0);
        close(fd);
        const std::string file = *vrxtest::readFile(target);
        EXPECT_EQ(file, "earlier\n" + row.written + (row.wroteBack ? " two\n" : "")) << row.what;
        auto orphans = orphanQueues(dir.path(), "app.async");
        ASSERT_EQ(orphans.size(), 1u);
        Claim claim;
        EXPECT_EQ(orphans[0].read(&claim).texts, row.left) << row.what;
        EXPECT_EQ(claim.bytes != 0, !row.sameFile) << "settled claims are dropped";
    }
    // A live consumer's queue is not touched, and a file that is no board
    // at the name is made one.
    vrxtest::TempDir dir;
    const std::string target = dir.path() + "/target.log";
    vrxtest::writeFile(target + kBoardSuffix, "not a board");
    vrxtest::writeFile(target, "");
    auto live = makeQueue(dir.path());
    const int fd = open(target.c_str(), O_WRONLY | O_APPEND);
    auto board = ClaimBoard::open(target, fd);
    ASSERT_NE(board, nullptr);
    EXPECT_EQ(board->left(1).pid, 0);
    EXPECT_FALSE(settleClaim({getpid(), live->path()}, fd));
    close(fd);
}
