/*
 * Text inside the XML records: every element, attribute and CDATA section
 * of a record goes through one of these, so a message, parameter or
 * property value can never break a record or forge one.
 *
 * - Element text escapes & < > " as &amp; &lt; &gt; &quot;.
 * - Attribute values escape the same and write tab, LF and CR as &#9;
 *   &#10; &#13; (a parser would otherwise turn them into blanks).
 * - CDATA text keeps markup characters and splits "]]>" as
 *   "]]]]><![CDATA[>".
 * - In all three, what XML 1.0 cannot carry at all (C0 controls other than
 *   tab, LF and CR; ill-formed UTF-8, encoded surrogates included; U+FFFE
 *   and U+FFFF) becomes U+FFFD, one per maximal ill-formed subpart.
 *
 * Text that needs none of this is copied unchanged in one piece. C++ only.
 */
#ifndef KVL_XML_TEXT_H
#define KVL_XML_TEXT_H

#include <string>
#include <string_view>

namespace kvl::xml {

void appendText(std::string &out, std::string_view text);
void appendAttribute(std::string &out, std::string_view text);
void appendCData(std::string &out, std::string_view text);

// Null-tolerant forms for C strings (null appends nothing).
inline void appendText(std::string &out, const char *text) {
    if (text != nullptr) appendText(out, std::string_view(text));
}
inline void appendAttribute(std::string &out, const char *text) {
    if (text != nullptr) appendAttribute(out, std::string_view(text));
}
inline void appendCData(std::string &out, const char *text) {
    if (text != nullptr) appendCData(out, std::string_view(text));
}

}  // namespace kvl::xml

#endif /* KVL_XML_TEXT_H */
