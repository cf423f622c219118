#include "TwinLanternApp/ui/frame/Markdown.h"
#include "TwinLanternApp/ui/frame/PlainText.h"

#include "core/base/Text.h"

#include <QLabel>
#include <QTextDocument>

#include <algorithm>
#include <vector>

namespace twinlantern::ui {
namespace {

constexpr std::string_view noBreakSpace = "\u00A0";

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// A line made of one repeated mark ("---", "* * *", "===") is a rule or a heading's
// underline.
bool isRuleLine(std::string_view line) {
    char mark = 0;
    for (const char c : line) {
        if (isBlank(c)) {
            continue;
        }
        if (c != '-' && c != '=' && c != '*' && c != '_') {
            return false;
        }
        if (mark != 0 && c != mark) {
            return false;
        }
        mark = c;
    }
    return mark != 0;
}

// The offset of the character to escape so the line starts no block, or npos.
std::size_t blockMarker(std::string_view line) {
    if (line.empty()) {
        return std::string_view::npos;
    }
    const char c = line[0];
    const bool endsMarker = line.size() == 1 || isBlank(line[1]);
    if (c == '#' || c == '>') {
        return 0;
    }
    if ((c == '-' || c == '+' || c == '*') && endsMarker) {
        return 0;
    }
    if (isRuleLine(line)) {
        return 0;
    }
    if (line.starts_with("```") || line.starts_with("~~~")) {
        return 0;
    }
    // "1. x" and "1) x": the mark after up to nine digits.
    std::size_t digits = 0;
    while (digits < line.size() && digits < 10 && line[digits] >= '0' && line[digits] <= '9') {
        ++digits;
    }
    if (digits > 0 && digits <= 9 && digits < line.size() &&
        (line[digits] == '.' || line[digits] == ')') &&
        (digits + 1 == line.size() || isBlank(line[digits + 1]))) {
        return digits;
    }
    // A link reference definition "[x]: url" would vanish from the text.
    if (c == '[') {
        const std::size_t close = line.find("]:");
        if (close != std::string_view::npos && line.find(']') == close) {
            return 0;
        }
    }
    return std::string_view::npos;
}

} // namespace

std::string inlineOnlyMarkdown(std::string_view source) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = source.find('\n', start);
        std::string_view line =
            source.substr(start, end == std::string_view::npos ? end : end - start);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        lines.push_back(line);
        if (end == std::string_view::npos) {
            break;
        }
        start = end + 1;
    }
    std::string out;
    out.reserve(source.size() + lines.size() * 4);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string_view line = lines[i];
        // Indentation would start a code block; no-break spaces look the same.
        std::size_t lead = 0;
        while (lead < line.size() && isBlank(line[lead])) {
            out += line[lead] == '\t' ? "\u00A0\u00A0\u00A0\u00A0" : noBreakSpace;
            ++lead;
        }
        line.remove_prefix(lead);
        const std::size_t marker = lead == 0 ? blockMarker(line) : std::string_view::npos;
        if (marker != std::string_view::npos) {
            out += line.substr(0, marker);
            out += '\\';
            out += line.substr(marker);
        } else {
            out += line;
        }
        if (i + 1 < lines.size()) {
            // An empty line would end the paragraph; a no-break space keeps it a line.
            if (line.empty() && lead == 0) {
                out += noBreakSpace;
            }
            // Two spaces make the break hard, even after a backslash.
            out += "  \n";
        }
    }
    return out;
}

std::unique_ptr<QTextDocument> markdownDocument(std::string_view source) {
    auto document = std::make_unique<QTextDocument>();
    if (!text::isValidUtf8(source)) {
        document->setPlainText(qs(source));
        return document;
    }
    document->setMarkdown(qs(inlineOnlyMarkdown(source)),
                          QTextDocument::MarkdownFeatures(QTextDocument::MarkdownDialectCommonMark |
                                                          QTextDocument::MarkdownNoHTML));
    return document;
}

void setMarkdown(QLabel* label, std::string_view source) {
    const auto document = markdownDocument(source);
    label->setTextFormat(Qt::RichText);
    label->setText(document->toHtml());
    label->setWordWrap(true);
    label->setOpenExternalLinks(true);
    label->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    // Screen readers get the words, not the markup.
    label->setAccessibleName(document->toPlainText());
}

} // namespace twinlantern::ui
