// Filters: the "*"-patterns (leftmost matches, no backtracking), the
// message-id filter's modes, ids taken from the text and repeat
// suppression (boundaries, saturation), the level filter's thresholds, and
// a logger -> filter -> handler chain, also with threads changing the
// filter while others log through it.

#include "toolkit_test.h"

namespace {

using vrxtest::RecordingStore;

class KvlFilterTest : public vrxtest::OpenToolkitTest {
protected:
    KvlFilterTest() {
        vrxtest::addRecordingHandlerClass();
        RecordingStore::instance().clear();
    }
    KvlObject *filter(const char *className, const std::vector<vrxtest::Prop> &props) {
        KvlObject *made = object("f" + std::to_string(objectCount()), className);
        for (const auto &p : props)
            KvlSetObjProp(made, p.name, p.value.c_str());
        return made;
    }
    // The verdict for a text event at `level` and `time`.
    static int verdict(KvlObject *filter, const char *text, uint64_t time = 1000,
                       int32_t level = KVL_LEVEL_ERROR) {
        KvlEvent *event =
            vrxtest::stamped(vrxtest::makeEvent(level, nullptr, 0, 0, text, KVL_ARG_END), {}, time);
        const int result = KvlIsLoggableByFilter(filter, event);
        KvlFreeEvent(event);
        return result;
    }
};

TEST(KvlPatternMatch, LeftmostTokensWithoutBacktracking) {
    const struct {
        const char *pattern, *text;
        int matches;
    } cases[] = {
        // clang-format off
        {"KVL*", "KVLBC0020E", 1}, {"KVLBC0020E", "KVLBC0020E", 1}, {"KVLBC0020E", "KVLBC0020EX", 0},
        {"KVLBC0020E", "KVLBC0020", 0}, {"*0020E", "KVLBC0020E", 1}, {"*0020E", "KVLBC0020EX", 0},
        {"*W", "ABWXYZ0001W", 0},  // the first W is taken and is not at the end
        {"*W", "KVLFF0014W", 1}, {"*I", "KVLFF0015I", 1},
        {"", "anything", 1}, {"*", "anything", 1}, {"**", "", 1},
        {"A*B*C", "AxxBxxC", 1}, {"A*B*C", "AxxCxxB", 0}, {"A*B*C", "ABC", 1}, {"A*B*C", "ABCx", 0},
        {"A*", "A", 1}, {"A*", "B", 0}, {"A*", "Ay", 1},
        {"*A*", "xAy", 0},  // after a leading star the last token must end the text
        {"*A*", "xyA", 1}, {"KVLFF00*", "KVLFF0010E", 1}, {"KVLFF00*", "KVLBC0020E", 0},
        // clang-format on
    };
    for (const auto &c : cases)
        EXPECT_EQ(KvlPatternMatch(c.pattern, c.text), c.matches) << c.pattern << " / " << c.text;
    EXPECT_EQ(KvlPatternMatch(nullptr, "x"), 0);
    EXPECT_EQ(KvlPatternMatch("x", nullptr), 0);
}

TEST_F(KvlFilterTest, ListsSplitAtWhiteSpaceWithoutEmptyTokens) {
    KvlStringList *list = KvlMsgIdFilterGetStringList("  a\tb\n\nc\r d  ");
    std::vector<std::string> tokens;
    for (KvlStringListIter it = KvlStringListIterator(list); it != nullptr;
         it = KvlStringListIterNext(it))
        tokens.push_back(vrxtest::take(KvlStringListIterGet(it)));
    EXPECT_EQ(tokens, (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(KvlMsgIdFilterMatchMsgId(list, "c"), 1);
    EXPECT_EQ(KvlMsgIdFilterMatchMsgId(list, "e"), 0);
    KvlFreeStringList(list);
}

TEST_F(KvlFilterTest, MessageIdModesAndIds) {
    const struct {
        const char *what;
        std::vector<vrxtest::Prop> props;
        const char *text;
        int passes;
        // clang-format off
    } cases[] = {
        {"default: errors pass", {}, "KVLFF0010E Out of memory.", 1},
        {"default: warnings blocked", {}, "KVLFF0014W x", 0},
        {"default: information blocked", {}, "KVLFF0015I x", 0},
        {"default: the *W quirk lets this warning through", {}, "KVLWR0010W x", 1},
        {"no id in the text: the empty id matches nothing", {}, "plain text", 1},
        {"passthru lets matches through", {{"mode", "passthru"}, {"msgIds", "KVLFF00*"}}, "KVLFF0010E x", 1},
        {"passthru stops the rest", {{"mode", "PassThru"}, {"msgIds", "KVLFF00*"}}, "KVLBC0020E x", 0},
        {"passthru stops texts without id", {{"mode", "PASSTHRU"}, {"msgIds", "KVLFF00*"}}, "plain", 0},
        {"block in any case", {{"mode", "bLoCk"}, {"msgIds", "KVLBC*"}}, "KVLBC0020E x", 0},
        {"an unknown mode blocks", {{"mode", "passthru"}, {"mode", "sieve"}, {"msgIds", "A*"}}, "ABC0001E x", 0},
    };
    // clang-format on
    for (const auto &c : cases)
        EXPECT_EQ(verdict(filter("kvl_msgidfilter", c.props), c.text), c.passes) << c.what;
}

TEST_F(KvlFilterTest, UnknownModeWarnsWithTheFilterAndValue) {
    KvlObject *errors = object("kavel.errorLogger", nullptr);
    KvlAddListener(errors, object("errors.recorder", "test_recordinghandler"));
    KvlObject *made = object("idfilter", "kvl_msgidfilter");
    KvlSetObjProp(made, "mode", "sieve");
    const auto events = RecordingStore::instance().snapshot();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].level, KVL_LEVEL_WARN);
    EXPECT_EQ(events[0].boundText,
              "KVLFF0020W The property 'mode' for message ID filter idfilter was set to unknown "
              "value sieve. Expected values are 'BLOCK' or 'PASSTHRU'.");
}

TEST_F(KvlFilterTest, TheIdIsTakenFromTheTextOnce) {
    KvlObject *made = filter("kvl_msgidfilter", {});
    for (const auto &[text, id] : {std::pair{"KVLFF0010E Out of memory.", "KVLFF0010E"},
                                   std::pair{"no identifier here", ""}}) {
        KvlEvent *event = vrxtest::makeEvent(KVL_LEVEL_ERROR, nullptr, 0, 0, text, KVL_ARG_END);
        KvlIsLoggableByFilter(made, event);
        ASSERT_NE(event->messageId, nullptr) << text;
        EXPECT_STREQ(event->messageId, id);
        KvlFreeEvent(event);
    }
}

TEST_F(KvlFilterTest, RepeatsAreSuppressedWithinTheWindow) {
    const struct {
        const char *what;
        const char *repeat;
        std::vector<std::pair<const char *, uint64_t>> events;  // text, time
        std::vector<int> verdicts;
        // clang-format off
    } cases[] = {
        {"the window, a blocked repeat does not move it", "60000", {{"KVLAA0001E a", 1000}, {"KVLAA0001E a", 30000}, {"KVLAA0001E a", 61001}, {"KVLAA0001E a", 61002}}, {1, 0, 1, 0}},
        {"exactly last + repeat passes", "60000", {{"KVLAA0001E a", 1000}, {"KVLAA0001E a", 61000}}, {1, 1}},
        {"ids are tracked apart", "60000", {{"KVLAA0001E a", 1000}, {"KVLAA0002E a", 2000}, {"KVLAA0001E a", 3000}}, {1, 1, 0}},
        {"texts without id are never suppressed", "60000", {{"plain", 1000}, {"plain", 1001}}, {1, 1}},
        {"a huge window saturates instead of wrapping", "9223372036854775807", {{"KVLAA0001E a", 1000}, {"KVLAA0001E a", 1u << 31}}, {1, 0}},
        {"0 suppresses nothing", "0", {{"KVLAA0001E a", 1000}, {"KVLAA0001E a", 1000}}, {1, 1}},
        {"an unreadable time keeps the old one", "soon", {{"KVLAA0001E a", 1000}, {"KVLAA0001E a", 1000}}, {1, 1}},
    };
    // clang-format on
    for (const auto &c : cases) {
        KvlObject *made = filter("kvl_msgidfilter", {{"msgIdRepeatTime", c.repeat}});
        std::vector<int> verdicts;
        for (const auto &[text, time] : c.events)
            verdicts.push_back(verdict(made, text, time));
        EXPECT_EQ(verdicts, c.verdicts) << c.what;
    }
}

TEST_F(KvlFilterTest, LevelThresholds) {
    const struct {
        const char *level;          // null: no "level" property
        std::vector<int> verdicts;  // INFO, WARN, ERROR, FATAL, no level
    } cases[] = {
        {"WARN", {0, 1, 1, 1, 1}},  {"warn", {0, 1, 1, 1, 1}}, {"5000", {0, 1, 1, 1, 1}},
        {"OFF", {0, 0, 0, 0, 1}},   {"ALL", {1, 1, 1, 1, 1}},  {nullptr, {1, 1, 1, 1, 1}},
        {"bogus", {1, 1, 1, 1, 1}},
    };
    for (const auto &c : cases) {
        KvlObject *made = filter("kvl_levelfilter", {});
        if (c.level != nullptr) KvlSetObjProp(made, "level", c.level);
        std::vector<int> verdicts;
        for (int32_t level :
             {KVL_LEVEL_INFO, KVL_LEVEL_WARN, KVL_LEVEL_ERROR, KVL_LEVEL_FATAL, KVL_LEVEL_NONE})
            verdicts.push_back(verdict(made, "t", 1000, level));
        EXPECT_EQ(verdicts, c.verdicts) << (c.level != nullptr ? c.level : "(absent)");
    }
}

TEST_F(KvlFilterTest, AChainDeliversExactlyThePassedEvents) {
    KvlObject *logger = object("app", "kvl_basiclogger");
    KvlSetObjProp(logger, "level", "ALL");
    KvlObject *levels = object("app.levels", "kvl_levelfilter");
    KvlSetObjProp(levels, "level", "WARN");
    KvlAddListener(logger, levels);
    KvlAddListener(levels, object("app.recorder", "test_recordinghandler"));
    for (const char *text : {"one", "two", "three"}) {
        KvlLogInfo(logger, nullptr, 0, 0, text, KVL_ARG_END);
        KvlLogWarn(logger, nullptr, 0, 0, text, KVL_ARG_END);
    }
    KvlSetObjectEnabled(levels, 0);
    KvlLogError(logger, nullptr, 0, 0, "while disabled", KVL_ARG_END);
    std::vector<std::string> seen;
    for (const auto &event : RecordingStore::instance().snapshot())
        seen.push_back(event.boundText);
    EXPECT_EQ(seen, (std::vector<std::string>{"one", "two", "three"}));
}

// Loggers on four threads through one message-id filter with repeat
// suppression while a fifth changes its window and patterns.
TEST_F(KvlFilterTest, ThreadsLogWhileTheFilterChanges) {
    KvlObject *logger = object("mt", "kvl_basiclogger");
    KvlSetObjProp(logger, "level", "ALL");
    KvlObject *ids = object("mt.ids", "kvl_msgidfilter");
    KvlSetObjProp(ids, "msgIdRepeatTime", "5");
    KvlAddListener(logger, ids);
    KvlAddListener(ids, object("mt.recorder", "test_recordinghandler"));
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([logger, t] {
            for (int n = 0; n < 300; ++n) {
                const std::string text =
                    "KVLMT000" + std::to_string(n % 7) + "E from " + std::to_string(t);
                KvlLogError(logger, nullptr, 0, 0, text.c_str(), KVL_ARG_END);
            }
        });
    threads.emplace_back([ids] {
        for (int n = 0; n < 200; ++n) {
            KvlSetObjProp(ids, "msgIdRepeatTime", std::to_string(n % 3).c_str());
            KvlSetObjProp(ids, "msgIds", n % 2 == 0 ? "*W *I" : "KVLMT0003E");
        }
    });
    for (auto &thread : threads)
        thread.join();
    const auto events = RecordingStore::instance().snapshot();
    EXPECT_FALSE(events.empty());
    EXPECT_LE(events.size(), 1200u);
    for (const auto &event : events)
        EXPECT_EQ(event.boundText.rfind("KVLMT000", 0), 0u) << event.boundText;
}

}  // namespace
