// Any header fields, structured-data parameters and message make an RFC
// 5424 record that a reader of the grammar reads back whole: each header
// field as sent or as the NILVALUE, every parameter value well-formed
// UTF-8 (and as sent when it was), the message to the byte.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "KvlSyslogRecord.h"
#include "KvlUtf8.h"
#include "syslog_parse.h"

using namespace kvl::net;

namespace {

bool wellFormed(std::string_view text) {
    for (size_t at = 0, subpart = 0; at < text.size();) {
        const size_t length = kvl::utf8::wellFormedLength(text, at, subpart);
        if (length == 0) return false;
        at += length;
    }
    return true;
}

}  // namespace

// The input is cut at each 0xFF byte: host, application, process id,
// message id, SD-ID, then name and value pairs; the last piece is the
// message.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::vector<std::string_view> pieces;
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    for (size_t at = 0;;) {
        const size_t cut = input.find('\xFF', at);
        pieces.push_back(input.substr(at, cut == std::string_view::npos ? cut : cut - at));
        if (cut == std::string_view::npos) break;
        at = cut + 1;
    }
    while (pieces.size() < 6)
        pieces.emplace_back();
    SyslogFields fields;
    fields.time = {1796736001, 0};
    fields.hostName = pieces[0];
    fields.appName = pieces[1];
    fields.procId = pieces[2];
    fields.msgId = pieces[3];
    fields.sdId = pieces[4];
    std::vector<SyslogParam> params;
    for (size_t i = 5; i + 2 < pieces.size(); i += 2)
        params.emplace_back(pieces[i], pieces[i + 1]);
    fields.params = params;
    fields.message = pieces.back();
    std::string record;
    appendRecord(SyslogFormat::kRfc5424, fields, record);
    const auto got = vrxtest::parse5424(record);
    if (!got || got->hostName != headerField(fields.hostName, kHostNameMax) ||
        got->appName != headerField(fields.appName, kAppNameMax) ||
        got->procId != headerField(fields.procId, kProcIdMax) ||
        got->msgId != headerField(fields.msgId, kMsgIdMax) || got->message != fields.message)
        __builtin_trap();
    if (!got->sdId.empty() && got->sdId != fields.sdId) __builtin_trap();
    for (const auto &[name, value] : got->params)
        if (!wellFormed(value)) __builtin_trap();
    if (got->params.size() > params.size()) __builtin_trap();
    if (got->params.size() == params.size())
        for (size_t i = 0; i < params.size(); ++i)
            if (wellFormed(params[i].second) && got->params[i].second != params[i].second)
                __builtin_trap();
    return 0;
}
