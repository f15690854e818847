// The typed argument list is what the toolkit reads back with va_arg: a
// wrong marker or a missing terminator is undefined behaviour there, so the
// lists the helpers build are checked value by value.

#include "agent_trace.h"
#include "test_support.h"

namespace {

using kvl::detail::typedList;

TEST(TypedListTest, MarkersFollowTheArgumentTypes) {
    const std::string text = "owned";
    const char *cstr = "plain";
    char buffer[] = "mutable";
    auto list = typedList(cstr, buffer, text, "literal", 7, 8L, 9LL, 1.5, 2.5f, 'c', true);
    EXPECT_EQ(std::tuple_size_v<decltype(list)>, 23u);
    EXPECT_EQ(std::get<0>(list), KVL_ARG_STRING);
    EXPECT_STREQ(std::get<1>(list), "plain");
    EXPECT_EQ(std::get<2>(list), KVL_ARG_STRING);
    EXPECT_STREQ(std::get<3>(list), "mutable");
    EXPECT_EQ(std::get<4>(list), KVL_ARG_STRING);
    EXPECT_EQ(std::get<5>(list), text.c_str());  // no copy: the string outlives the call
    EXPECT_EQ(std::get<6>(list), KVL_ARG_STRING);
    EXPECT_STREQ(std::get<7>(list), "literal");
    EXPECT_EQ(std::get<8>(list), KVL_ARG_INT);
    EXPECT_EQ(std::get<9>(list), 7);
    EXPECT_EQ(std::get<10>(list), KVL_ARG_LONG);
    EXPECT_EQ(std::get<11>(list), 8L);
    EXPECT_EQ(std::get<12>(list), KVL_ARG_LONG);
    static_assert(std::is_same_v<std::tuple_element_t<13, decltype(list)>, long>);
    EXPECT_EQ(std::get<14>(list), KVL_ARG_DOUBLE);
    EXPECT_EQ(std::get<15>(list), 1.5);
    EXPECT_EQ(std::get<16>(list), KVL_ARG_FLOAT);
    static_assert(std::is_same_v<std::tuple_element_t<17, decltype(list)>, double>);
    EXPECT_EQ(std::get<18>(list), KVL_ARG_CHAR);
    static_assert(std::is_same_v<std::tuple_element_t<19, decltype(list)>, int>);
    EXPECT_EQ(std::get<19>(list), 'c');
    EXPECT_EQ(std::get<20>(list), KVL_ARG_BOOLEAN);
    EXPECT_EQ(std::get<21>(list), 1);
    EXPECT_EQ(std::get<22>(list), KVL_ARG_END);
}

TEST(TypedListTest, EmptyListIsJustTheTerminator) {
    const auto list = typedList();
    EXPECT_EQ(std::tuple_size_v<decltype(list)>, 1u);
    EXPECT_EQ(std::get<0>(list), KVL_ARG_END);
}

TEST(TypedListTest, TraceCallsWithoutToolkitDoNothing) {
    // No logger is set up: the calls must be safe no-ops.
    TRACE_MIN(TRACE_INSTALL, "Invoking command %s", "x");
    TRACE_MID(TRACE_SYSTEM, "errno: %d", 2);
    TRACE_MAX(TRACE_CORE, "no arguments");
}

}  // namespace
