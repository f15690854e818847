// The agent's configuration: parsing, every key against its rules, check
// modes, rewrites that never lose the file, and the printed configuration.

#include "slm_conf.h"
#include "test_support.h"

namespace {

using namespace vrxtest;

// Collects what the configuration writes to a sink.
struct Collected {
    std::string text;
    slm_conf_sink sink{this, [](void *context, const char *t, size_t n, int) {
                           static_cast<Collected *>(context)->text.append(t, n);
                       }};
};

const char *const kComplete =
    "communication_type = 2\nagentid=0123\ndivision=Finance\norganization=NUV\ntrace_level=MIN\n"
    "trace_size=1048576\ntcpip_port=9510\nmsglog_size=1048576\nagent_base_dir=/opt/agent\n";

class SlmConfTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(slm_conf_init("/tmp/ovka"), 1);
        deleteConfigurationVariables();
        for (int key = 0; key < SLM_CONF_KEY_COUNT; ++key)
            callbacks_[key] = tagValues[key].callback;
    }
    void TearDown() override {
        deleteConfigurationVariables();
        for (int key = 0; key < SLM_CONF_KEY_COUNT; ++key)  // registerCallback changes them
            tagValues[key].callback = callbacks_[key];
    }

    std::string value(int key) {
        char buffer[256];
        return getConfigurationValue(key, buffer, sizeof buffer) == 1 ? buffer : "<absent>";
    }
    int load(const std::string &content, int mode = 0) {
        writeFile(file(), content);
        return loadConfFile(file().c_str(), 0, mode);
    }
    std::string file() const { return tmp_ / "vrxagent.ini"; }
    // The directory holds the configuration alone: no temporary left.
    void expectNoTemporary() const {
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tmp_.path()), {}), 1);
    }

    TempDir tmp_;
    slm_conf_callback callbacks_[SLM_CONF_KEY_COUNT] = {};
};

TEST_F(SlmConfTest, ParsesLines) {
    const struct {
        const char *line;
        int code;
        int key;
        const char *stored;
        const char *message;
        // clang-format off
    } cases[] = {
        {"agent_base_dir=/opt/agent", 1, agent_base_dir, "/opt/agent", "Parameter 'agent_base_dir' successfully set to requested value '/opt/agent'\n"},
        {"  agent_base_dir   =   /opt/x y  \r", 1, agent_base_dir, "/opt/x y", nullptr},
        {"userdata1=a=b", 1, userdata1, "a=b", nullptr},  // "=" inside a value
        {"# trace_level=MIN", -10, trace_level, "<absent>", nullptr},
        {"", -10, trace_level, "<absent>", nullptr},
        {"no separator here", -5, trace_level, "<absent>", "Missing separator in expression 'no separator here'\nMissing separator in expression 'no separator here'\n"},
        {"Trace_Level=MIN", -4, trace_level, "<absent>", "Cannot find valid configuration parameter in expression 'Trace_Level=MIN'\nCannot find valid configuration parameter in expression 'Trace_Level=MIN'\n"},
        {"trace_level=", -6, trace_level, "<absent>", "Missing value for parameter 'trace_level' in expression 'trace_level='\nMissing value for parameter '' in expression 'trace_level='\n"},
    };
    // clang-format on
    for (const auto &c : cases) {
        deleteConfigurationVariables();
        Collected out;
        EXPECT_EQ(parseBuffer(c.line, 0, &out.sink), c.code) << c.line;
        EXPECT_EQ(value(c.key), c.stored) << c.line;
        if (c.message != nullptr) {
            EXPECT_EQ(out.text, c.message) << c.line;
        }
    }
}

TEST_F(SlmConfTest, LoadingKeepsTheLastValueAndIgnoresEmptyOnes) {
    EXPECT_EQ(load(std::string(kComplete) + "agent_base_dir=/second\nagent_base_dir=\n"
                                            "bogus line\nunknown=1\n"),
              -12);
    EXPECT_EQ(value(agent_base_dir), "/second");
    EXPECT_EQ(value(security_level), "0") << "type 2 forces it";
    EXPECT_EQ(value(trace_files), "6") << "defaulted";
    EXPECT_EQ(value(agent_temp_dir), "/tmp/ovka");
    EXPECT_EQ(value(userdata2), "");
    EXPECT_EQ(loadConfFile((tmp_ / "missing").c_str(), 0, 0), -1);
}

TEST_F(SlmConfTest, CheckConfPerMode) {
    const struct {
        std::string content;
        int mode;
        int result;
    } cases[] = {
        {"agent_base_dir=/opt\n", 0, -14},
        {"communication_type=x\n", 0, -2},
        {"communication_type=3\n", 0, -2},
        {kComplete, 0, -12},                              // optional keys took defaults
        {std::string(kComplete) + "agentid=\n", 0, -12},  // empty: keeps 0123
        {std::string(kComplete) + "agentid=12a\n", 0, -2},
        {std::string(kComplete) + "trace_size=65535\n", 0, -2},
        {std::string(kComplete) + "trace_files=0\n", 0, -12},
        {std::string(kComplete) + "communication_type=1\n", 0, -2},  // server, port, ... missing
    };
    for (const auto &c : cases) {
        deleteConfigurationVariables();
        EXPECT_EQ(load(c.content, c.mode), c.result) << c.content;
    }
    deleteConfigurationVariables();
    load(std::string(kComplete) + "trace_files=0\n");
    EXPECT_EQ(value(trace_files), "6");

    // Every key present and valid: 1.
    const std::string full =
        std::string(kComplete) +
        "tag=t\nsecurity_level=0\nsecure_port=443\nproxy=none\nproxy_port=3128\n"
        "trace_files=3\ndriver_conf_file=d\nmsglog_files=2\nzemlor_common_dir=/z\n"
        "apx_agent_conf_file=a\nmax_cache_size=100\nunknown_files_enabled=n\n"
        "agent_temp_dir=/t\nusage_file_lines_threshold=500\napx_registry_users=u\n"
        "scan_exclude_dirs=/s\nassume_auto_fs=local\nuserdata1=1\nuserdata2=2\nuserdata3=3\n";
    deleteConfigurationVariables();
    EXPECT_EQ(load(full), 1);
}

// Every key against its row of the agent's key table, once: name, flags,
// type, default, a valid and an invalid value, and the reload rules.
TEST_F(SlmConfTest, EveryKeyFollowsItsRow) {
    constexpr bool C = true, o = false;  // critical or not; reload accepted or refused
    const struct {
        const char *name;
        bool critical;
        int type;
        const char *valid, *invalid;  // invalid null: every text is valid
        const char *defaultValue;     // null: none
        bool accepted, reloadable, reloadOptional;
    } rows[SLM_CONF_KEY_COUNT] = {
        {"communication_type", C, 0, "2", "3", nullptr, o, o, o},
        {"agentid", C, 0, "007", "12a", nullptr, o, o, o},
        {"division", C, 0, "any", nullptr, nullptr, o, o, o},
        {"tag", o, 0, "any", nullptr, nullptr, o, o, o},
        {"organization", C, 0, "any", nullptr, nullptr, o, o, o},
        {"server", C, 1, "any", nullptr, nullptr, o, o, o},
        {"port", C, 1, "65535", "0", nullptr, o, o, o},
        {"path", C, 1, "any", nullptr, nullptr, o, o, o},
        {"security_level", o, 1, "2", "3", "0", o, o, o},
        {"secure_port", o, 1, "1", "65536", "443", o, o, o},
        {"fips_enabled", C, 1, "Y", "yes", nullptr, o, o, o},
        {"use_proxy", C, 1, "n", "x", nullptr, o, o, o},
        {"proxy", o, 1, "any", nullptr, "none", o, o, o},
        {"proxy_port", o, 1, "3128", "70000", "3128", o, o, o},
        {"trace_level", C, 0, "MID", "max", nullptr, C, C, o},
        {"trace_size", C, 0, "65536", "65535", nullptr, C, C, o},
        {"trace_files", o, 0, "10", "0", "6", C, o, o},
        {"tcpip_port", C, 0, "9510", "-1", nullptr, o, o, o},
        {"driver_conf_file", o, 0, "any", nullptr, nullptr, o, o, o},
        {"msglog_size", C, 0, "16777216", "16777217", nullptr, C, C, o},
        {"msglog_files", o, 0, "1", "11", "6", C, o, o},
        {"agent_base_dir", C, 0, "any", nullptr, nullptr, o, o, o},
        {"zemlor_common_dir", o, 0, "any", nullptr, nullptr, o, o, o},
        {"apx_agent_conf_file", o, 1, "any", nullptr, nullptr, o, o, o},
        {"max_cache_size", o, 0, "50", "49", "2097152", o, o, o},
        {"unknown_files_enabled", o, 0, "N", "no", "y", C, C, C},
        {"agent_temp_dir", o, 0, "/t", "t", "/tmp/ovka", o, o, o},
        {"usage_file_lines_threshold", o, 2, "1048576", "99", "400", C, o, C},
        {"apx_registry_users", o, 0, "any", nullptr, "", C, o, C},
        {"scan_exclude_dirs", o, 0, "any", nullptr, "", C, C, C},
        {"assume_auto_fs", o, 0, "other", "nfs", "none", C, C, C},
        {"dsd_enabled", o, 0, "y", "1", "n", C, C, C},
        {"native_scan_enabled", o, 0, "Y", "true", "n", C, C, C},
        {"userdata1", o, 0, "any", nullptr, "", C, C, C},
        {"userdata2", o, 0, "any", nullptr, "", C, C, C},
        {"userdata3", o, 0, "any", nullptr, "", C, C, C},
    };
    for (int key = 0; key < SLM_CONF_KEY_COUNT; ++key) {
        const auto &row = rows[key];
        SCOPED_TRACE(row.name);
        EXPECT_STREQ(tagValues[key].name, row.name);
        EXPECT_EQ(keyFromString(row.name), key);
        EXPECT_EQ(isCriticalValue(key), row.critical ? 1 : 0);
        EXPECT_EQ(parameterType(key), row.type);
        EXPECT_EQ(reload_parm(key, 1, row.valid, nullptr), row.accepted ? 1 : -7);
        EXPECT_EQ(isKeyReloadable(key), row.reloadable ? 1 : 0);
        EXPECT_EQ(acceptReloadableVal(row.valid, key), row.reloadable ? 1 : 0);
        EXPECT_EQ(isReloadableAndOptional(key), row.reloadOptional ? 1 : 0);
        const slm_conf_callback callback = tagValues[key].callback;
        registerCallback(key, row.valid, callback);
        EXPECT_EQ(isValidValue(key, 0), 1) << row.valid;
        if (row.invalid != nullptr) {
            registerCallback(key, row.invalid, callback);
            EXPECT_EQ(isValidValue(key, 0), 0) << row.invalid;
            if (row.reloadable) {
                EXPECT_EQ(acceptReloadableVal(row.invalid, key), 0);
            }
        }
        deleteConfigurationVariables();
        setDefaultValue(key);
        EXPECT_EQ(value(key), row.defaultValue != nullptr ? row.defaultValue : "<absent>");
    }
}

TEST_F(SlmConfTest, KeyValidation) {
    const struct {
        int key;
        const char *value;  // null: absent
        int mode;
        int result;
        const char *after;
    } cases[] = {
        {agentid, "", 0, -2, ""},
        {agentid, "0", 0, 1, "0"},
        {agentid, "9223372036854775808", 0, 1, "9223372036854775808"},    // 2^63
        {agentid, "18446744073709551615", 0, 1, "18446744073709551615"},  // 2^64 - 1
        {agentid, "18446744073709551616", 0, -2, "18446744073709551616"},
        {port, "65535", 0, 1, "65535"},
        {port, "65536", 0, -2, "65536"},
        {trace_size, "99999999999999999999", 0, -2, "99999999999999999999"},
        {trace_size, "16777216", 0, 1, "16777216"},
        {max_cache_size, nullptr, 0, -12, "2097152"},
        {userdata2, nullptr, 0, 1, ""},  // 27 to 35: quietly defaulted
        {usage_file_lines_threshold, nullptr, 0, 1, "400"},
        {usage_file_lines_threshold, "99", 0, -12, "400"},
        {security_level, "2", 1, 1, "2"},
        {security_level, "4", 2, 1, "4"},
        {security_level, "3", 1, -12, "0"},
        {tag, nullptr, 0, -12, "<absent>"},  // optional, no default
        {agent_temp_dir, "relative", 0, -12, "/tmp/ovka"},
        {assume_auto_fs, "remote", 0, 1, "remote"},
    };
    for (const auto &c : cases) {
        deleteConfigurationVariables();
        if (c.value != nullptr) registerCallback(c.key, c.value, default_cb_func);
        EXPECT_EQ(absoluteCheckValue(c.key, c.mode), c.result)
            << c.key << " " << (c.value ? c.value : "-");
        EXPECT_EQ(value(c.key), c.after) << c.key;
    }
    // Types 1 and 2 apply only to their communication type (in mode 0).
    deleteConfigurationVariables();
    registerCallback(communication_type, "2", default_cb_func);
    registerCallback(port, "0", default_cb_func);
    EXPECT_EQ(checkValue(port, 0), -13);
    EXPECT_EQ(checkValue(port, 1), -2) << "other modes always check";
    registerCallback(communication_type, "1", default_cb_func);
    EXPECT_EQ(checkValue(port, 0), -2);
    EXPECT_EQ(checkValue(usage_file_lines_threshold, 0), -13);

    long number = -1;
    EXPECT_EQ(checkInteger("", &number), 1) << "an empty text is the integer 0";
    EXPECT_EQ(number, 0);
    EXPECT_EQ(checkInteger(" -5", &number), 1);
    EXPECT_EQ(checkInteger("5 ", &number), 0);
    EXPECT_EQ(checkInteger("99999999999999999999", &number), 1) << "the range check refuses it";
    EXPECT_EQ(number, LONG_MAX);
    uint64_t id = 0;
    EXPECT_EQ(checkID64("18446744073709551615", &id), 1);
    EXPECT_EQ(id, UINT64_MAX);
    EXPECT_EQ(keyFromString("nonsense"), 37);
    EXPECT_EQ(acceptReloadableVal("x", SLM_CONF_KEY_COUNT), 0);
    EXPECT_EQ(acceptReloadableVal(nullptr, trace_level), 0);
    EXPECT_EQ(discardAllButUnsupported("userdata9"), 2);
}

TEST_F(SlmConfTest, RewritesInPlaceWithoutLosingTheFile) {
    const struct {
        std::string before;
        int key;
        const char *value;
        int result;
        std::string after;
        // clang-format off
    } cases[] = {
        {"x=1\ntrace_size=1048576\ny=2\n", trace_size, "65536", 1, "x=1\ntrace_size= 65536 \ny=2\n"},
        {"x=1\ntrace_size=65536\ny=2\n", trace_size, "1048576", 1, "x=1\ntrace_size= 1048576\ny=2\n"},
        {"trace_size=1\r\nz=3\r\n", trace_size, "70000", 1, "trace_size= 70000\r\nz=3\r\n"},
        // The last line for the key is the one loading keeps.
        {"trace_size=1\ntrace_size=2\n", trace_size, "3", 1, "trace_size=1\ntrace_size= 3\n"},
        {"x=1\n", agentid, "42", 1, "x=1\n\n\n\n# Agent Identifier\nagentid = 42\n"},
        {"", tag, "T", 1, "\n\n\n# Node TAG\ntag = T\n"},
        {"x=1\n", trace_size, "1\nagent_base_dir=/evil", -8, "x=1\n"},
        {"x=1\n", trace_size, "1\ragent_base_dir=/evil", -8, "x=1\n"},
    };
    // clang-format on
    for (const auto &c : cases) {
        writeFile(file(), c.before, 0640);
        loadConfFile(file().c_str(), 0, 0);
        EXPECT_EQ(setConfigurationValue(c.key, c.value), c.result) << c.before;
        EXPECT_EQ(readFile(file()).value_or("<gone>"), c.after) << c.before;
        struct stat info {};
        stat(file().c_str(), &info);
        EXPECT_EQ(info.st_mode & 0777, 0640u) << "the original's mode";
        if (c.result == 1) {
            EXPECT_EQ(value(c.key), c.value);
        }
    }
    expectNoTemporary();

    // Through a symbolic link: the target is replaced, the link stays.
    writeFile(tmp_ / "real.ini", "trace_size=1\n");
    std::filesystem::create_symlink(tmp_ / "real.ini", tmp_ / "link.ini");
    loadConfFile((tmp_ / "link.ini").c_str(), 0, 0);
    EXPECT_EQ(setConfigurationValue(trace_size, "9"), 1);
    EXPECT_TRUE(std::filesystem::is_symlink(tmp_ / "link.ini"));
    EXPECT_EQ(readFile(tmp_ / "real.ini").value_or(""), "trace_size= 9\n");
}

TEST_F(SlmConfTest, LongMessagesReachTheSinkWhole) {
    const std::string value(5000, 'v');
    Collected out;
    EXPECT_EQ(parseBuffer(("userdata1=" + value).c_str(), 0, &out.sink), 1);
    EXPECT_EQ(out.text,
              "Parameter 'userdata1' successfully set to requested value '" + value + "'\n");
}

// A rewrite that cannot be completed (here the file-size limit stops it
// part way) leaves the file exactly as it was.
TEST_F(SlmConfTest, AFailedRewriteLeavesTheFileIntact) {
    const std::string original = "x=1\ntrace_size=1\n" + std::string(100, '#') + "\n";
    const struct {
        int key;
        std::string value;
    } cases[] = {
        {trace_size, std::string(200, '7')},  // longer: the rest of the file moves
        {userdata1, std::string(200, 'u')},   // appended
    };
    for (const auto &c : cases) {
        writeFile(file(), original, 0640);
        loadConfFile(file().c_str(), 0, 0);
        int result;
        {
            FileSizeLimit limit(original.size() + 50);
            result = setConfigurationValue(c.key, c.value.c_str());
        }
        EXPECT_EQ(result, -2) << c.key;
        EXPECT_EQ(readFile(file()).value_or("<gone>"), original) << c.key;
        EXPECT_EQ(value(c.key), c.key == trace_size ? "1" : "<absent>") << "the table unchanged";
    }
    expectNoTemporary();
}

TEST_F(SlmConfTest, PrintsTheConfiguration) {
    load(kComplete);
    Collected out;
    printConfig(&out.sink);
    EXPECT_EQ(out.text.rfind("# VRX Agent Configuration\n\ncommunication_type=2\n\n\n# Agent "
                             "Identifier\nagentid=0123\n",
                             0),
              0u)
        << out.text;
    EXPECT_NE(out.text.find("\ntag=<nil>\n"), std::string::npos);
    EXPECT_NE(out.text.find("# Enable specific node detection algorithm to support Sun DSD "
                            "machines\ndsd_enabled=<nil>\n"),
              std::string::npos);
}

TEST_F(SlmConfTest, TrimmingKeepsTheBytesBetween) {
    const struct {
        std::string in, out;
        // clang-format off
    } cases[] = {{"  a b  ", "a b"}, {"\t\r\n", ""}, {"x\xF0\x9F\x98\x80y ", "x\xF0\x9F\x98\x80y"}, {" \xFF\xFE ", "\xFF\xFE"}, {"", ""}};
    // clang-format on
    for (const auto &c : cases) {
        std::string text = c.in;
        trimString(text.data());
        EXPECT_EQ(std::string(text.c_str()), c.out);
    }
}

}  // namespace
