#include "ManifestXml.h"

#include <algorithm>
#include <map>
#include <string_view>
#include <vector>

#include "Unicode.h"

namespace tovex {
namespace {

constexpr std::string_view kManifestNamespace = "urn:schemas-microsoft-com:asm.v1";
constexpr std::string_view kRootName = "assembly";
constexpr std::string_view kXmlNamespace = "http://www.w3.org/XML/1998/namespace";

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool isNameStart(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' ||
           static_cast<unsigned char>(c) >= 0x80;
}
bool isNameChar(char c) { return isNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.'; }

// Characters XML allows: tab, line feed, carriage return and everything from U+0020 but the surrogates, U+FFFE, U+FFFF.
bool isXmlChar(char32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

// The text as UTF-8: a byte order mark of UTF-8 dropped, UTF-16 converted.
std::string manifestText(const Bytes& bytes) {
    std::string raw(bytes.begin(), bytes.end());
    if (raw.compare(0, 3, "\xEF\xBB\xBF") == 0) return raw.substr(3);
    if (raw.compare(0, 2, "\xFF\xFE") == 0) return utf16LeToUtf8(std::string_view(raw).substr(2));
    if (raw.compare(0, 2, "\xFE\xFF") == 0) {
        std::string swapped = raw.substr(2);
        for (std::size_t i = 0; i + 1 < swapped.size(); i += 2) std::swap(swapped[i], swapped[i + 1]);
        return utf16LeToUtf8(swapped);
    }
    return raw;
}

// The length of the well-formed UTF-8 sequence at `at` and its code point, or 0 when it is malformed.
std::size_t utf8Sequence(std::string_view text, std::size_t at, char32_t& c) {
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char lead = byte(at);
    if (lead < 0x80) {
        c = lead;
        return 1;
    }
    std::size_t length = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 && lead < 0xE0 ? 2 : 0;
    if (length == 0 || at + length > text.size()) return 0;
    c = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
        c = (c << 6) | (byte(at + i) & 0x3F);
    }
    // Overlong forms, surrogates and code points past U+10FFFF are malformed too.
    static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < kSmallest[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
    return length;
}

class ManifestChecker {
public:
    explicit ManifestChecker(std::string_view text) : text_(text) {}

    std::optional<ManifestProblem> check() {
        if (checkCharacters() && prolog() && rootElement() && epilog()) return std::nullopt;
        return problem_;
    }

private:
    struct OpenElement {
        std::string name;
        std::size_t at;
        std::map<std::string, std::string> namespaces;  // prefix ("" for the default) to name
    };

    bool fail(std::size_t at, std::string message) {
        int line = 1;
        std::size_t lineStart = 0;
        at = std::min(at, text_.size());
        for (std::size_t i = 0; i < at; ++i)
            if (text_[i] == '\n') ++line, lineStart = i + 1;
        int column = 1;
        for (std::size_t i = lineStart; i < at; ++i)
            if ((static_cast<unsigned char>(text_[i]) & 0xC0) != 0x80) ++column;
        problem_ = ManifestProblem{line, column, std::move(message)};
        return false;
    }

    bool startsWith(std::string_view prefix) const { return text_.substr(at_, prefix.size()) == prefix; }
    bool atEnd() const { return at_ >= text_.size(); }
    void skipBlanks() {
        while (!atEnd() && isBlank(text_[at_])) ++at_;
    }

    bool checkCharacters() {
        for (std::size_t at = 0; at < text_.size();) {
            char32_t c = 0;
            std::size_t length = utf8Sequence(text_, at, c);
            if (length == 0) return fail(at, "not UTF-8: a manifest is UTF-8 (or UTF-16 with a byte order mark)");
            if (!isXmlChar(c)) return fail(at, "character " + codePointLabel(c) + " is not allowed in XML");
            at += length;
        }
        return true;
    }

    // Up to the terminator, which must come; `what` names the construct for the message.
    bool skipPast(std::string_view terminator, std::size_t start, const std::string& what) {
        std::size_t end = text_.find(terminator, at_);
        if (end == std::string_view::npos)
            return fail(start, what + " is not closed with '" + std::string(terminator) + "'");
        at_ = end + terminator.size();
        return true;
    }

    bool name(std::string& out) {
        std::size_t start = at_;
        if (atEnd() || !isNameStart(text_[at_])) return false;
        while (!atEnd() && isNameChar(text_[at_])) ++at_;
        out = std::string(text_.substr(start, at_ - start));
        return true;
    }

    bool comment() {
        std::size_t start = at_;
        at_ += 4;
        std::size_t end = text_.find("--", at_);
        if (end == std::string_view::npos) return fail(start, "the comment is not closed with '-->'");
        if (text_.substr(end, 3) != "-->") return fail(end, "'--' inside a comment is not allowed in XML");
        at_ = end + 3;
        return true;
    }

    bool processingInstruction(bool first) {
        std::size_t start = at_;
        at_ += 2;
        std::string target;
        if (!name(target)) return fail(at_, "a processing instruction (<?) needs a name");
        std::string lower = target;
        std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
        if (lower == "xml" && !first)
            return fail(start, "the XML declaration <?xml ...?> may only stand at the very start of the file");
        return skipPast("?>", start, "<?" + target);
    }

    // Comments, processing instructions and blanks, which may stand around the root element.
    bool misc(bool& more) {
        skipBlanks();
        more = true;
        if (startsWith("<!--")) return comment();
        if (startsWith("<?")) return processingInstruction(false);
        if (startsWith("<!DOCTYPE"))
            return fail(at_,
                        "a document type declaration (<!DOCTYPE>) is not allowed: Windows reads manifests "
                        "without a DTD; remove it and any entities it declares");
        more = false;
        return true;
    }

    bool prolog() {
        if (startsWith("<?xml") && at_ + 5 < text_.size() && (isBlank(text_[at_ + 5]) || text_[at_ + 5] == '?')) {
            if (!processingInstruction(true)) return false;
        }
        for (bool more = true; more;)
            if (!misc(more)) return false;
        if (atEnd()) return fail(at_, "no root element: an application manifest is an <assembly> element");
        if (text_[at_] != '<') return fail(at_, "text before the root element");
        return true;
    }

    bool epilog() {
        for (bool more = true; more;)
            if (!misc(more)) return false;
        if (!atEnd())
            return fail(at_, startsWith("<") ? "a second root element: everything belongs inside <assembly>"
                                             : "text after the end of the root element");
        return true;
    }

    // &lt; &gt; &amp; &apos; &quot; &#N; &#xH; — without a DTD there are no others.
    bool reference() {
        std::size_t start = at_;
        std::size_t end = text_.find(';', at_);
        if (end == std::string_view::npos || end - at_ > 12)
            return fail(start, "'&' must start a reference such as &amp; (write a plain '&' as &amp;)");
        std::string_view body = text_.substr(at_ + 1, end - at_ - 1);
        at_ = end + 1;
        if (body == "lt" || body == "gt" || body == "amp" || body == "apos" || body == "quot") return true;
        if (body.size() >= 2 && body[0] == '#') {
            bool hex = body[1] == 'x';
            std::string_view digits = body.substr(hex ? 2 : 1);
            char32_t value = 0;
            bool valid = !digits.empty();
            for (char d : digits) {
                int digit = d >= '0' && d <= '9'          ? d - '0'
                            : hex && d >= 'a' && d <= 'f' ? d - 'a' + 10
                            : hex && d >= 'A' && d <= 'F' ? d - 'A' + 10
                                                          : -1;
                if (digit < 0 || value > 0x10FFFF) valid = false;
                if (digit >= 0) value = value * (hex ? 16 : 10) + static_cast<char32_t>(digit);
            }
            if (valid && isXmlChar(value)) return true;
            return fail(start, "&" + std::string(body) + "; is not a character XML allows");
        }
        return fail(start, "undefined entity &" + std::string(body) +
                               "; (XML knows &lt; &gt; &amp; &apos; &quot; and character references like &#169;)");
    }

    // A name as prefix:local, each part non-empty.
    bool qualifiedName(const std::string& qname, std::size_t at, std::string& prefix, std::string& local) {
        std::size_t colon = qname.find(':');
        if (colon == std::string::npos) {
            prefix.clear();
            local = qname;
            return true;
        }
        if (colon == 0 || colon + 1 == qname.size() || qname.find(':', colon + 1) != std::string::npos)
            return fail(at, "'" + qname + "' is not a name namespaces allow (one ':' between a prefix and a name)");
        prefix = qname.substr(0, colon);
        local = qname.substr(colon + 1);
        return true;
    }

    bool attributeValue(std::string& value) {
        if (atEnd() || (text_[at_] != '"' && text_[at_] != '\''))
            return fail(at_, "an attribute value must be in quotes");
        char quote = text_[at_++];
        std::size_t start = at_;
        while (!atEnd() && text_[at_] != quote) {
            if (text_[at_] == '<') return fail(at_, "'<' is not allowed in an attribute value (write &lt;)");
            if (text_[at_] == '&') {
                if (!reference()) return false;
            } else {
                ++at_;
            }
        }
        if (atEnd()) return fail(start - 1, "the attribute value is not closed");
        value = std::string(text_.substr(start, at_ - start));
        ++at_;
        return true;
    }

    // From '<' to '>' or '/>'; pushes the element unless it closes itself.
    bool startTag(bool root) {
        std::size_t start = at_++;
        OpenElement element{"", start,
                            open_.empty() ? std::map<std::string, std::string>{{"xml", std::string(kXmlNamespace)}}
                                          : open_.back().namespaces};
        if (!name(element.name)) return fail(at_, "'<' must start a tag (write a plain '<' as &lt;)");
        std::vector<std::pair<std::string, std::size_t>> attributes;
        for (;;) {
            bool blank = !atEnd() && isBlank(text_[at_]);
            skipBlanks();
            if (atEnd()) return fail(start, "the tag <" + element.name + " is not closed with '>'");
            if (startsWith("/>") || startsWith(">")) break;
            if (!blank) return fail(at_, "attributes must be separated by blanks");
            std::size_t attributeAt = at_;
            std::string attribute, value;
            if (!name(attribute)) return fail(at_, "an attribute needs a name");
            for (const auto& earlier : attributes)
                if (earlier.first == attribute)
                    return fail(attributeAt, "attribute " + attribute + " is given twice in <" + element.name + ">");
            skipBlanks();
            if (atEnd() || text_[at_] != '=') return fail(at_, "attribute " + attribute + " needs '=' and a value");
            ++at_;
            skipBlanks();
            if (!attributeValue(value)) return false;
            attributes.emplace_back(attribute, attributeAt);
            if (attribute == "xmlns") element.namespaces[""] = value;
            if (attribute.compare(0, 6, "xmlns:") == 0) {
                if (value.empty()) return fail(attributeAt, attribute + " cannot be empty");
                element.namespaces[attribute.substr(6)] = value;
            }
        }
        bool selfClosing = startsWith("/>");
        at_ += selfClosing ? 2 : 1;
        std::string prefix, local;
        if (!qualifiedName(element.name, start + 1, prefix, local)) return false;
        auto bound = element.namespaces.find(prefix);
        if (!prefix.empty() && bound == element.namespaces.end())
            return fail(start, "the prefix '" + prefix + "' of <" + element.name +
                                   "> is not declared (xmlns:" + prefix + "=\"...\")");
        for (const auto& [attribute, attributeAt] : attributes) {
            std::string attributePrefix, attributeLocal;
            if (!qualifiedName(attribute, attributeAt, attributePrefix, attributeLocal)) return false;
            if (!attributePrefix.empty() && attributePrefix != "xmlns" && !element.namespaces.count(attributePrefix))
                return fail(attributeAt, "the prefix '" + attributePrefix + "' of attribute " + attribute +
                                             " is not declared (xmlns:" + attributePrefix + "=\"...\")");
        }
        if (root) {
            std::string space = bound == element.namespaces.end() ? "" : bound->second;
            if (local != kRootName)
                return fail(start, "the root element is <" + element.name +
                                       ">; an application manifest is an <assembly xmlns=\"" +
                                       std::string(kManifestNamespace) + "\" manifestVersion=\"1.0\"> element");
            if (space != kManifestNamespace)
                return fail(start, "<" + element.name + "> is in " +
                                       (space.empty() ? "no namespace" : "the namespace '" + space + "'") +
                                       "; an application manifest's is " + std::string(kManifestNamespace) +
                                       ": add xmlns=\"" + std::string(kManifestNamespace) + "\"");
        }
        if (!selfClosing) open_.push_back(std::move(element));
        return true;
    }

    bool endTag() {
        std::size_t start = at_;
        at_ += 2;
        std::string closed;
        if (!name(closed)) return fail(at_, "'</' must start an end tag");
        skipBlanks();
        if (atEnd() || text_[at_] != '>') return fail(at_, "the end tag </" + closed + " is not closed with '>'");
        ++at_;
        const OpenElement& open = open_.back();
        if (closed != open.name)
            return fail(start, "</" + closed + "> does not match <" + open.name + "> (opened at line " +
                                   std::to_string(lineOf(open.at)) + ")");
        open_.pop_back();
        return true;
    }

    int lineOf(std::size_t at) const {
        return 1 + static_cast<int>(std::count(text_.begin(), text_.begin() + at, '\n'));
    }

    bool rootElement() {
        if (!startTag(true)) return false;
        while (!open_.empty()) {
            if (atEnd())
                return fail(at_, "the file ends inside <" + open_.back().name + "> (opened at line " +
                                     std::to_string(lineOf(open_.back().at)) + ")");
            if (startsWith("</")) {
                if (!endTag()) return false;
            } else if (startsWith("<!--")) {
                if (!comment()) return false;
            } else if (startsWith("<![CDATA[")) {
                std::size_t start = at_;
                if (!skipPast("]]>", start, "<![CDATA[")) return false;
            } else if (startsWith("<!")) {
                return fail(at_, "a declaration (<!...) is not allowed inside an element");
            } else if (startsWith("<?")) {
                if (!processingInstruction(false)) return false;
            } else if (startsWith("<")) {
                if (!startTag(false)) return false;
            } else if (startsWith("&")) {
                if (!reference()) return false;
            } else if (startsWith("]]>")) {
                return fail(at_, "']]>' is not allowed in text");
            } else {
                ++at_;
            }
        }
        return true;
    }

    std::string_view text_;
    std::size_t at_ = 0;
    std::vector<OpenElement> open_;
    std::optional<ManifestProblem> problem_;
};

}  // namespace

std::optional<ManifestProblem> manifestProblem(const Bytes& manifest) {
    if (manifest.size() > kMaxManifestBytes)
        return ManifestProblem{0, 0,
                               std::to_string(manifest.size()) +
                                   " bytes is too large for an application manifest (at most " +
                                   std::to_string(kMaxManifestBytes) + ")"};
    std::string text = manifestText(manifest);
    return ManifestChecker(text).check();
}

}  // namespace tovex
