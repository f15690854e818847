// Hostile text through the XML records: a pd logger writes, through the XML
// formatter and a file handler, messages and traces whose every field
// (text, parameter, attribute key and value, correlation id, origin fields,
// source file and function) holds markup, CDATA ends, control bytes,
// ill-formed UTF-8 or a 1 MiB text. The file, wrapped in one root element,
// must be well-formed XML to a real parser (xmllint), and every text that
// XML can carry unchanged must come back from the parser byte for byte.

#include "KvlUtf8.h"
#include "toolkit_test.h"

namespace {

using vrxtest::TempDir;

bool haveXmllint() { return std::system("xmllint --version >/dev/null 2>&1") == 0; }

// The string value of an XPath expression over the wrapped file.
std::string xpath(const std::string &file, const std::string &expression) {
    bool ok = false;
    std::string value =
        vrxtest::commandOutput("xmllint --xpath 'string(" + expression + ")' " + file, &ok);
    EXPECT_TRUE(ok) << expression;
    if (!value.empty() && value.back() == '\n') value.pop_back();  // xmllint adds one
    return value;
}

// Whether XML carries the text unchanged: well-formed UTF-8, no C0 control
// but tab and LF (a parser turns CR into LF), no U+FFFE or U+FFFF.
bool survivesUnchanged(const std::string &text) {
    for (size_t i = 0, subpart = 0, length; i < text.size(); i += length) {
        length = kvl::utf8::wellFormedLength(text, i, subpart);
        const auto byte = static_cast<unsigned char>(text[i]);
        if (length == 0 || (byte < 0x20 && byte != '\t' && byte != '\n') ||
            text.compare(i, length, "\xEF\xBF\xBE") == 0 ||
            text.compare(i, length, "\xEF\xBF\xBF") == 0)
            return false;
    }
    return true;
}

std::string bigText() {
    std::string big;
    while (big.size() < (1u << 20))
        big += "a<b>&\"c']]>d]]]>\xC3\xA9 ";
    return big;
}

std::vector<std::string> hostileTexts() {
    std::string controls;
    for (int c = 1; c < 0x20; ++c)
        controls += static_cast<char>(c);
    return {
        "& < > \" '",
        "]]>",
        "]]]>",
        "]]>]]>",
        "<Message Id=\"FORGED\">\n</Message>",
        "tab\there, line\nfeed",
        controls,
        "carriage\rreturn",
        "DEL \x7f",
        "lone \x80 continuation",
        "overlong \xC0\xAF slash",
        "surrogate \xED\xA0\x80",
        "never lead \xF5\xF8\xFF",
        "noncharacter \xEF\xBF\xBF",
        "valid \xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80 %s %d %%",
        "cut at the end \xE2\x82",
    };
}

class KvlXmlHostileTest : public vrxtest::ToolkitTest {
protected:
    // Logs one message and one trace per text through a pd logger, the XML
    // formatter and a file handler, every field holding the text (`field`
    // instead in the origin fields, names and keys, when given); checks
    // that the file wrapped in <log> parses and returns the wrapped file.
    std::string writeLog(const std::vector<std::string> &texts, const char *field = nullptr) {
        const std::string log = tmp_.path() + "/hostile.log";
        KvlOpenToolkit(nullptr);
        KvlObject *logger = KvlGetObject("hostile", "kvl_pdlogger");
        KvlObject *formatter = KvlGetObject("hostile.xml", "kvl_xmlformatter");
        KvlObject *handler = KvlGetObject("hostile.file", "kvl_filehandler");
        KvlSetObjProp(logger, "level", "ALL");
        KvlSetObjProp(handler, "fileName", log.c_str());
        KvlSetObjProp(handler, "maxFileSize", "-1");
        KvlSetObjProp(handler, "formatterName", "hostile.xml");
        KvlAddListener(logger, handler);
        for (size_t i = 0; i < texts.size(); ++i) {
            const char *h = texts[i].c_str();
            const char *small = field != nullptr ? field : h;
            for (const char *origin : {"organization", "product", "component", "client", "server",
                                       "serverFormat", "productInstance"})
                KvlSetObjProp(logger, origin, small);
            KvlLogError(logger, "hostile.cat", 1, static_cast<int32_t>(i + 1), "%s",
                        KVL_PROP(small), KVL_STR(h), KVL_PROP("correlationId"), KVL_STR(small),
                        KVL_STR(h), KVL_ARG_END);
            KvlLogDebugMin(logger, small, small, 7, "%s", KVL_STR(h), KVL_ARG_END);
        }
        KvlReleaseObject(handler);
        KvlReleaseObject(formatter);
        KvlReleaseObject(logger);
        KvlCloseToolkit();

        const std::string wrapped = tmp_.path() + "/wrapped.xml";
        vrxtest::writeFile(wrapped, "<log>\n" + vrxtest::contentOf(log) + "</log>\n");
        bool ok = false;
        const std::string complaints =
            vrxtest::commandOutput("xmllint --noout " + wrapped + " 2>&1", &ok);
        EXPECT_TRUE(ok) << complaints.substr(0, 2000);
        EXPECT_EQ(xpath(wrapped, "count(/log/Message)"), std::to_string(texts.size()));
        EXPECT_EQ(xpath(wrapped, "count(/log/Trace)"), std::to_string(texts.size()));
        return wrapped;
    }

private:
    TempDir tmp_;
};

TEST_F(KvlXmlHostileTest, EveryFieldParsesAndCleanTextsComeBackWhole) {
    if (!haveXmllint()) GTEST_SKIP() << "xmllint is not installed (package libxml2-utils)";
    const std::vector<std::string> texts = hostileTexts();
    const std::string wrapped = writeLog(texts);
    for (size_t i = 0; i < texts.size(); ++i) {
        const std::string &h = texts[i];
        if (!survivesUnchanged(h)) continue;
        const std::string n = std::to_string(i + 1);
        const std::string message = "(/log/Message)[" + n + "]";
        const std::string trace = "(/log/Trace)[" + n + "]";
        SCOPED_TRACE("text " + n);
        for (const std::string &path :
             {message + "/LogText", message + "/TranslationInfo/Param",
              message + "/LogAttribs/Key[1]", message + "/LogAttribs/Value[1]",
              message + "/CorrelationId", message + "/Server/@Format", message + "/Principal",
              trace + "/LogText", trace + "/Source/@FileName", trace + "/Source/@Method"})
            EXPECT_EQ(xpath(wrapped, path), h) << path;
    }
}

TEST_F(KvlXmlHostileTest, AMebibyteOfMarkupComesBackWhole) {
    if (!haveXmllint()) GTEST_SKIP() << "xmllint is not installed (package libxml2-utils)";
    const std::string big = bigText();
    const std::string wrapped = writeLog({big}, "big");
    for (const char *path : {"/log/Message/LogText", "/log/Message/TranslationInfo/Param",
                             "/log/Message/LogAttribs/Value[1]", "/log/Trace/LogText"})
        EXPECT_TRUE(xpath(wrapped, path) == big) << path;  // no 1 MiB diff on failure
}

}  // namespace
